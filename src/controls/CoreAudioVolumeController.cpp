// SPDX-License-Identifier: MIT
#include "controls/CoreAudioVolumeController.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "runtime/Format.h"
#include "runtime/Percent.h"
#include "runtime/Spawn.h"

namespace orvane::controls {

using namespace orvane::platform;

namespace {
std::string trimmed(const std::string& s) {
    auto space = [](unsigned char c) { return std::isspace(c) != 0; };
    auto b = std::find_if_not(s.begin(), s.end(), space);
    auto e = std::find_if_not(s.rbegin(), s.rend(), space).base();
    return b < e ? std::string(b, e) : std::string();
}
}  // namespace

CoreAudioVolumeController::CoreAudioVolumeController(AudioSinkID audioDeviceID, DisplayID displayID,
                                                     std::string deviceName, AudioSinks& audio,
                                                     runtime::Executor& main, runtime::Logger& log)
    : audioDeviceID_(audioDeviceID),
      displayID_(displayID),
      deviceName_(std::move(deviceName)),
      audio_(audio),
      main_(main),
      log_(log) {}

CoreAudioVolumeController::~CoreAudioVolumeController() {
    stopListening();
}

runtime::Task<void> CoreAudioVolumeController::setVolume(double value) {
    auto self = shared_from_this();
    const auto scalar = static_cast<float>(!(value > 0) ? 0.0 : std::min(value, 100.0) / 100.0);
    if (auto failure = audio_.setVolume(audioDeviceID_, scalar)) {
        log_.line("[CoreAudioVolume] " + failure->step + " write failed for '" + deviceName_ +
                  "': " + failure->error.text);
    }
    co_return;
}

runtime::Task<std::optional<double>> CoreAudioVolumeController::getVolume() {
    auto self = shared_from_this();
    const auto v = audio_.volume(audioDeviceID_);
    if (!v) co_return std::nullopt;
    co_return runtime::percentFromUnit(*v);
}

void CoreAudioVolumeController::setMute(bool muted) {
    if (auto failure = audio_.setMute(audioDeviceID_, muted)) {
        log_.line("[CoreAudioVolume] " + failure->step + " write failed for '" + deviceName_ +
                  "': " + failure->error.text);
    }
}

void CoreAudioVolumeController::startListening() {
    if (isListening_) return;
    std::weak_ptr<CoreAudioVolumeController> weak = weak_from_this();
    runtime::Executor& main = main_;
    auto watch = audio_.watchVolume(audioDeviceID_, main_, [weak, &main] {
        auto self = weak.lock();
        if (!self) return;
        runtime::spawn(main,
                       [](std::shared_ptr<CoreAudioVolumeController> c) -> runtime::Task<void> {
                           const auto volume = co_await c->getVolume();
                           if (volume && c->onExternalVolumeChange)
                               c->onExternalVolumeChange(*volume);
                       }(std::move(self)));
    });
    if (auto* error = std::get_if<PlatformError>(&watch)) {
        log_.line("[CoreAudioVolume] Failed to register volume listener for '" + deviceName_ +
                  "': " + error->text);
        return;
    }
    listener_ = std::move(std::get<Subscription>(watch));
    isListening_ = true;
}

void CoreAudioVolumeController::stopListening() {
    if (!isListening_) return;
    listener_.reset();
    isListening_ = false;
}

std::optional<AudioDeviceMatch> CoreAudioVolumeController::matchDisplayAudioDevice(
    AudioSinks& audio, std::string_view displayName) {
    const std::string target = runtime::lowercased(trimmed(std::string(displayName)));
    if (target.empty()) return std::nullopt;
    for (const AudioSink& sink : audio.sinks()) {
        if (sink.transport != AudioTransport::hdmi && sink.transport != AudioTransport::displayPort)
            continue;
        if (runtime::lowercased(trimmed(sink.name)) == target)
            return AudioDeviceMatch{sink.id, sink.name};
    }
    return std::nullopt;
}

std::optional<AudioDeviceMatch> CoreAudioVolumeController::matchAudioDevice(
    AudioSinks& audio, runtime::Logger& log, std::string_view displayName) {
    std::vector<AudioDeviceMatch> candidates;
    for (const AudioSink& sink : audio.sinks()) {
        if (sink.transport == AudioTransport::airPlay && sink.outputStreams > 0)
            candidates.push_back({sink.id, sink.name});
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
