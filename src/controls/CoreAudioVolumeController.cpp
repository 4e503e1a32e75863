// SPDX-License-Identifier: MIT
#include "controls/CoreAudioVolumeController.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "runtime/Format.h"
#include "runtime/Percent.h"
#include "runtime/Spawn.h"

namespace orvane::controls {

using namespace orvane::platform;

namespace {
constexpr AudioObjectPropertyAddress output(std::uint32_t selector, std::uint32_t element = 0) {
    return {selector, kAudioDevicePropertyScopeOutput, element};
}
constexpr AudioObjectPropertyAddress global(std::uint32_t selector) {
    return {selector, kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMain};
}
constexpr auto kVirtualMainVolume = output(kAudioHardwareServiceDeviceProperty_VirtualMainVolume);
constexpr auto kVolumeScalar = output(kAudioDevicePropertyVolumeScalar);
constexpr auto kMute = output(kAudioDevicePropertyMute);

std::string trimmed(const std::string& s) {
    auto space = [](unsigned char c) { return std::isspace(c) != 0; };
    auto b = std::find_if_not(s.begin(), s.end(), space);
    auto e = std::find_if_not(s.rbegin(), s.rend(), space).base();
    return b < e ? std::string(b, e) : std::string();
}

std::optional<std::vector<std::uint8_t>> readBytes(AudioHardware& audio, AudioObjectID object,
                                                   const AudioObjectPropertyAddress& address) {
    std::uint32_t size = 0;
    if (audio.getPropertyDataSize(object, address, size) != kAudioHardwareNoError)
        return std::nullopt;
    std::vector<std::uint8_t> bytes(size);
    if (audio.getPropertyData(object, address, size, bytes.data()) != kAudioHardwareNoError)
        return std::nullopt;
    bytes.resize(size);
    return bytes;
}

std::optional<std::uint32_t> readU32(AudioHardware& audio, AudioObjectID object,
                                     const AudioObjectPropertyAddress& address) {
    std::uint32_t value = 0, size = sizeof value;
    if (audio.getPropertyData(object, address, size, &value) != kAudioHardwareNoError ||
        size != sizeof value) {
        return std::nullopt;
    }
    return value;
}
}  // namespace

CoreAudioVolumeController::CoreAudioVolumeController(AudioObjectID audioDeviceID,
                                                     DisplayID displayID, std::string deviceName,
                                                     AudioHardware& audio, runtime::Executor& main,
                                                     runtime::Logger& log)
    : audioDeviceID_(audioDeviceID),
      displayID_(displayID),
      deviceName_(std::move(deviceName)),
      audio_(audio),
      main_(main),
      log_(log) {}

CoreAudioVolumeController::~CoreAudioVolumeController() {
    stopListening();
}

bool CoreAudioVolumeController::has(const AudioObjectPropertyAddress& address) {
    return audio_.hasProperty(audioDeviceID_, address);
}

std::optional<float> CoreAudioVolumeController::readFloat(
    const AudioObjectPropertyAddress& address) {
    if (!has(address)) return std::nullopt;
    float value = 0;
    std::uint32_t size = sizeof value;
    if (audio_.getPropertyData(audioDeviceID_, address, size, &value) != kAudioHardwareNoError ||
        size != sizeof value) {
        return std::nullopt;
    }
    return value;
}

OSStatus CoreAudioVolumeController::writeFloat(const AudioObjectPropertyAddress& address,
                                               float value) {
    return audio_.setPropertyData(audioDeviceID_, address, sizeof value, &value);
}

runtime::Task<void> CoreAudioVolumeController::setVolume(double value) {
    auto self = shared_from_this();
    const auto scalar = static_cast<float>(!(value > 0) ? 0.0 : std::min(value, 100.0) / 100.0);
    if (has(kVirtualMainVolume)) {
        const OSStatus status = writeFloat(kVirtualMainVolume, scalar);
        if (status == kAudioHardwareNoError) co_return;
        log_.line("[CoreAudioVolume] VirtualMainVolume write failed (" + std::to_string(status) +
                  "), trying VolumeScalar fallback");
    }
    if (has(kVolumeScalar)) {
        const OSStatus status = writeFloat(kVolumeScalar, scalar);
        if (status != kAudioHardwareNoError) {
            log_.line("[CoreAudioVolume] VolumeScalar write failed for '" + deviceName_ +
                      "': OSStatus " + std::to_string(status));
        }
        co_return;
    }
    for (std::uint32_t channel : {1u, 2u}) {
        const auto address = output(kAudioDevicePropertyVolumeScalar, channel);
        if (has(address)) writeFloat(address, scalar);
    }
}

runtime::Task<std::optional<double>> CoreAudioVolumeController::getVolume() {
    auto self = shared_from_this();
    auto v = readFloat(kVirtualMainVolume);
    if (!v) v = readFloat(kVolumeScalar);
    if (!v) v = readFloat(output(kAudioDevicePropertyVolumeScalar, 1));
    if (!v) co_return std::nullopt;
    co_return runtime::percentFromUnit(*v);
}

void CoreAudioVolumeController::setMute(bool muted) {
    if (!has(kMute)) return;
    const std::uint32_t value = muted ? 1 : 0;
    const OSStatus status = audio_.setPropertyData(audioDeviceID_, kMute, sizeof value, &value);
    if (status != kAudioHardwareNoError) {
        log_.line("[CoreAudioVolume] Mute write failed for '" + deviceName_ + "': OSStatus " +
                  std::to_string(status));
    }
}

void CoreAudioVolumeController::startListening() {
    if (isListening_) return;
    std::weak_ptr<CoreAudioVolumeController> weak = weak_from_this();
    runtime::Executor& main = main_;
    auto block = std::make_shared<const std::function<void(const AudioObjectPropertyAddress&)>>(
        [weak, &main](const AudioObjectPropertyAddress&) {
            auto self = weak.lock();
            if (!self) return;
            runtime::spawn(main,
                           [](std::shared_ptr<CoreAudioVolumeController> c) -> runtime::Task<void> {
                               const auto volume = co_await c->getVolume();
                               if (volume && c->onExternalVolumeChange)
                                   c->onExternalVolumeChange(*volume);
                           }(std::move(self)));
        });
    const OSStatus status =
        audio_.addPropertyListenerBlock(audioDeviceID_, kVolumeScalar, main_, block);
    if (status == kAudioHardwareNoError) {
        listener_ = std::move(block);
        isListening_ = true;
    } else {
        log_.line("[CoreAudioVolume] Failed to register volume listener for '" + deviceName_ +
                  "': OSStatus " + std::to_string(status));
    }
}

void CoreAudioVolumeController::stopListening() {
    if (!isListening_) return;
    audio_.removePropertyListenerBlock(audioDeviceID_, kVolumeScalar, main_, listener_);
    listener_.reset();
    isListening_ = false;
}

namespace {
/// The system's audio devices; none when the list cannot be read.
std::vector<AudioObjectID> deviceList(AudioHardware& audio) {
    const auto list =
        readBytes(audio, kAudioObjectSystemObject, global(kAudioHardwarePropertyDevices));
    if (!list || list->empty()) return {};
    std::vector<AudioObjectID> devices(list->size() / sizeof(AudioObjectID));
    std::memcpy(devices.data(), list->data(), devices.size() * sizeof(AudioObjectID));
    return devices;
}
}  // namespace

std::optional<AudioDeviceMatch> CoreAudioVolumeController::matchDisplayAudioDevice(
    AudioHardware& audio, std::string_view displayName) {
    const std::string target = runtime::lowercased(trimmed(std::string(displayName)));
    if (target.empty()) return std::nullopt;
    for (AudioObjectID device : deviceList(audio)) {
        const auto transport = readU32(audio, device, global(kAudioDevicePropertyTransportType));
        if (transport != kAudioDeviceTransportTypeHDMI &&
            transport != kAudioDeviceTransportTypeDisplayPort)
            continue;
        const auto name = readBytes(audio, device, global(kAudioObjectPropertyName));
        if (!name) continue;
        std::string text(name->begin(), name->end());
        if (runtime::lowercased(trimmed(text)) == target) return AudioDeviceMatch{device, text};
    }
    return std::nullopt;
}

std::optional<AudioDeviceMatch> CoreAudioVolumeController::matchAudioDevice(
    AudioHardware& audio, runtime::Logger& log, std::string_view displayName) {
    std::vector<AudioDeviceMatch> candidates;
    for (AudioObjectID device : deviceList(audio)) {
        if (readU32(audio, device, global(kAudioDevicePropertyTransportType)) !=
            kAudioDeviceTransportTypeAirPlay) {
            continue;
        }
        const auto streams =
            readBytes(audio, device, output(kAudioDevicePropertyStreamConfiguration));
        std::uint32_t buffers = 0;
        if (!streams || streams->size() < sizeof buffers) continue;
        std::memcpy(&buffers, streams->data(), sizeof buffers);
        if (buffers == 0) continue;
        const auto name = readBytes(audio, device, global(kAudioObjectPropertyName));
        if (!name) continue;
        candidates.push_back({device, std::string(name->begin(), name->end())});
    }
    if (candidates.empty()) return std::nullopt;

    // An empty name is in every name: it tells nothing and matches nothing.
    const std::string target = runtime::lowercased(trimmed(std::string(displayName)));
    for (const auto& c : candidates) {
        if (!target.empty() && runtime::lowercased(trimmed(c.name)) == target) return c;
    }
    for (const auto& c : candidates) {
        const std::string name = runtime::lowercased(c.name);
        if (target.empty() || trimmed(c.name).empty()) continue;
        if (name.find(target) != std::string::npos || target.find(name) != std::string::npos)
            return c;
    }
    if (candidates.size() == 1) {
        log.line("[CoreAudioVolume] Single AirPlay audio device '" + candidates.front().name +
                 "' - matching to display '" + std::string(displayName) + "' by elimination");
        return candidates.front();
    }
    std::string names;
    for (const auto& c : candidates)
        names += (names.empty() ? "\"" : ", \"") + c.name + "\"";
    log.line("[CoreAudioVolume] No audio device match found for AirPlay display '" +
             std::string(displayName) + "'. Candidates: [" + names + "]");
    return std::nullopt;
}

}  // namespace orvane::controls
