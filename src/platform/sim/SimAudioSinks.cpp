// SPDX-License-Identifier: MIT
#include "platform/sim/SimAudioSinks.h"

#include <cstring>
#include <memory>
#include <string>

#include "platform/sim/SimStatus.h"

namespace orvane::platform::sim {

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

PlatformError osStatusError(OSStatus status) {
    return statusError(status, "OSStatus " + std::to_string(status));
}

std::optional<std::vector<std::uint8_t>> readBytes(SimAudioHardware& audio, AudioObjectID object,
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

std::optional<std::uint32_t> readU32(SimAudioHardware& audio, AudioObjectID object,
                                     const AudioObjectPropertyAddress& address) {
    std::uint32_t value = 0, size = sizeof value;
    if (audio.getPropertyData(object, address, size, &value) != kAudioHardwareNoError ||
        size != sizeof value) {
        return std::nullopt;
    }
    return value;
}

AudioTransport transportOf(std::optional<std::uint32_t> code) {
    if (!code) return AudioTransport::other;
    switch (*code) {
        case kAudioDeviceTransportTypeAirPlay:
            return AudioTransport::airPlay;
        case kAudioDeviceTransportTypeHDMI:
            return AudioTransport::hdmi;
        case kAudioDeviceTransportTypeDisplayPort:
            return AudioTransport::displayPort;
        case kAudioDeviceTransportTypeBuiltIn:
            return AudioTransport::builtIn;
        default:
            return AudioTransport::other;
    }
}
}  // namespace

std::vector<AudioSink> SimAudioSinks::sinks() {
    const auto list =
        readBytes(audio_, kAudioObjectSystemObject, global(kAudioHardwarePropertyDevices));
    if (!list) return {};
    std::vector<AudioObjectID> ids(list->size() / sizeof(AudioObjectID));
    if (!ids.empty()) std::memcpy(ids.data(), list->data(), ids.size() * sizeof(AudioObjectID));
    std::vector<AudioSink> result;
    for (AudioObjectID id : ids) {
        // A device whose name cannot be read cannot be matched to anything.
        const auto name = readBytes(audio_, id, global(kAudioObjectPropertyName));
        if (!name) continue;
        AudioSink sink{id, std::string(name->begin(), name->end()),
                       transportOf(readU32(audio_, id, global(kAudioDevicePropertyTransportType))),
                       0};
        const auto streams = readBytes(audio_, id, output(kAudioDevicePropertyStreamConfiguration));
        std::uint32_t buffers = 0;
        if (streams && streams->size() >= sizeof buffers)
            std::memcpy(&buffers, streams->data(), sizeof buffers);
        sink.outputStreams = buffers;
        result.push_back(std::move(sink));
    }
    return result;
}

std::optional<float> SimAudioSinks::readFloat(AudioObjectID object,
                                              const AudioObjectPropertyAddress& a) {
    if (!audio_.hasProperty(object, a)) return std::nullopt;
    float value = 0;
    std::uint32_t size = sizeof value;
    if (audio_.getPropertyData(object, a, size, &value) != kAudioHardwareNoError ||
        size != sizeof value)
        return std::nullopt;
    return value;
}

OSStatus SimAudioSinks::writeFloat(AudioObjectID object, const AudioObjectPropertyAddress& a,
                                   float value) {
    return audio_.setPropertyData(object, a, sizeof value, &value);
}

std::optional<float> SimAudioSinks::volume(AudioSinkID sink) {
    auto v = readFloat(sink, kVirtualMainVolume);
    if (!v) v = readFloat(sink, kVolumeScalar);
    if (!v) v = readFloat(sink, output(kAudioDevicePropertyVolumeScalar, 1));
    return v;
}

std::optional<PlatformFailure> SimAudioSinks::setVolume(AudioSinkID sink, float volume) {
    if (audio_.hasProperty(sink, kVirtualMainVolume)) {
        const OSStatus status = writeFloat(sink, kVirtualMainVolume, volume);
        if (status == kAudioHardwareNoError) return std::nullopt;
        if (log_) {
            log_->line("[CoreAudioVolume] VirtualMainVolume write failed (" +
                       std::to_string(status) + "), trying VolumeScalar fallback");
        }
    }
    if (audio_.hasProperty(sink, kVolumeScalar)) {
        const OSStatus status = writeFloat(sink, kVolumeScalar, volume);
        if (status == kAudioHardwareNoError) return std::nullopt;
        return PlatformFailure{"VolumeScalar", statusError(status)};
    }
    // Per-channel volumes only: a channel that refuses keeps its level unsaid,
    // as the original platform's clients do.
    for (std::uint32_t channel : {1u, 2u}) {
        const auto address = output(kAudioDevicePropertyVolumeScalar, channel);
        if (audio_.hasProperty(sink, address)) writeFloat(sink, address, volume);
    }
    return std::nullopt;
}

std::optional<PlatformFailure> SimAudioSinks::setMute(AudioSinkID sink, bool muted) {
    if (!audio_.hasProperty(sink, kMute)) return std::nullopt;
    const std::uint32_t value = muted ? 1 : 0;
    const OSStatus status = audio_.setPropertyData(sink, kMute, sizeof value, &value);
    if (status == kAudioHardwareNoError) return std::nullopt;
    return PlatformFailure{"Mute", statusError(status)};
}

std::variant<Subscription, PlatformError> SimAudioSinks::watchVolume(
    AudioSinkID sink, runtime::Executor& queue, std::function<void()> changed) {
    auto block = std::make_shared<const std::function<void(const AudioObjectPropertyAddress&)>>(
        [changed = std::move(changed)](const AudioObjectPropertyAddress&) { changed(); });
    const OSStatus status = audio_.addPropertyListenerBlock(sink, kVolumeScalar, queue, block);
    if (status != kAudioHardwareNoError) return osStatusError(status);
    return Subscription([audio = &audio_, sink, queue = &queue, block] {
        audio->removePropertyListenerBlock(sink, kVolumeScalar, *queue, block);
    });
}

}  // namespace orvane::platform::sim
