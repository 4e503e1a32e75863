// SPDX-License-Identifier: MIT
#pragma once

#include "platform/AudioSinks.h"
#include "platform/sim/SimAudioHardware.h"
#include "runtime/Logger.h"

namespace orvane::platform::sim {

/// The simulated audio devices as the core sees them: a device is a sink; its
/// volume is the virtual main volume, else the element-0 scalar, else the
/// channels, tried in that order as the original platform's clients do; its
/// failures are named by property and rendered "OSStatus N".
class SimAudioSinks final : public AudioSinks {
  public:
    explicit SimAudioSinks(SimAudioHardware& audio) : audio_(audio) {}
    /// Where the fallback from the virtual main volume is said; unset, it is not.
    void setLog(runtime::Logger* log) { log_ = log; }

    std::vector<AudioSink> sinks() override;
    std::optional<float> volume(AudioSinkID sink) override;
    std::optional<PlatformFailure> setVolume(AudioSinkID sink, float volume) override;
    std::optional<PlatformFailure> setMute(AudioSinkID sink, bool muted) override;
    std::variant<Subscription, PlatformError> watchVolume(AudioSinkID sink,
                                                          runtime::Executor& queue,
                                                          std::function<void()> changed) override;

  private:
    std::optional<float> readFloat(AudioObjectID object, const AudioObjectPropertyAddress& a);
    OSStatus writeFloat(AudioObjectID object, const AudioObjectPropertyAddress& a, float value);

    SimAudioHardware& audio_;
    runtime::Logger* log_ = nullptr;
};

}  // namespace orvane::platform::sim
