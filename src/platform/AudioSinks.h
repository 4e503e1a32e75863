// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/PlatformError.h"
#include "platform/Subscription.h"
#include "runtime/Executor.h"

namespace orvane::platform {

using AudioSinkID = std::uint32_t;

/// How a sink's sound leaves the machine.
enum class AudioTransport {
    other,
    builtIn,
    /// A display's own speakers, over the HDMI or DisplayPort link of the
    /// card that drives that display.
    hdmi,
    displayPort,
    /// A network display's (AirPlay, RAOP) sound.
    airPlay,
};

struct AudioSink {
    AudioSinkID id = 0;
    std::string name;
    AudioTransport transport = AudioTransport::other;
    /// Output streams the sink plays; 0 for one that plays nothing.
    unsigned outputStreams = 0;
};

/// The machine's audio outputs. Main thread for every call.
/// Linux: the PulseAudio (or PipeWire-Pulse) sinks.
class AudioSinks {
  public:
    virtual ~AudioSinks() = default;
    /// Every sink, in the platform's order; empty when there are none or they
    /// cannot be listed.
    virtual std::vector<AudioSink> sinks() = 0;
    /// The sink's volume, 0...1; none when it is gone or has none.
    virtual std::optional<float> volume(AudioSinkID sink) = 0;
    /// Sets the volume (0...1); a failure when the platform refused it, and then
    /// the volume is as it was.
    virtual std::optional<PlatformFailure> setVolume(AudioSinkID sink, float volume) = 0;
    /// Mutes or unmutes; nothing when the sink has no mute, a failure when it
    /// was refused.
    virtual std::optional<PlatformFailure> setMute(AudioSinkID sink, bool muted) = 0;
    /// Calls changed on queue after every change of the sink's volume, whoever
    /// made it, while the subscription lives; an error when the sink cannot be
    /// watched.
    virtual std::variant<Subscription, PlatformError> watchVolume(
        AudioSinkID sink, runtime::Executor& queue, std::function<void()> changed) = 0;
};

}  // namespace orvane::platform
