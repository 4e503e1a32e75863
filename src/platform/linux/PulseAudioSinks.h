// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/AudioSinks.h"

struct pa_threaded_mainloop;
struct pa_context;
struct pa_sink_info;
struct pa_operation;

namespace orvane::platform::linux_ {

/// The sinks of PulseAudio, or of PipeWire's Pulse server, with their volume,
/// mute, name and change notifications. A network (RAOP) sink is an AirPlay
/// one; a sink on a display's HDMI or DisplayPort output (its port, or a
/// "monitor" or "tv" form factor) is an HDMI one named after the monitor the
/// ELD gives (device.product.name).
class PulseAudioSinks final : public AudioSinks {
  public:
    /// None (with the reason in error) when no sound server answers.
    static std::unique_ptr<PulseAudioSinks> connect(std::string& error);
    ~PulseAudioSinks() override;
    PulseAudioSinks(const PulseAudioSinks&) = delete;
    PulseAudioSinks& operator=(const PulseAudioSinks&) = delete;

    std::vector<AudioSink> sinks() override;
    std::optional<float> volume(AudioSinkID sink) override;
    std::optional<PlatformFailure> setVolume(AudioSinkID sink, float volume) override;
    std::optional<PlatformFailure> setMute(AudioSinkID sink, bool muted) override;
    std::variant<Subscription, PlatformError> watchVolume(AudioSinkID sink,
                                                          runtime::Executor& queue,
                                                          std::function<void()> changed) override;

    /// Whether a sink with a monitor's name, on the PCI slot given
    /// ("0000:01:00"), is on the graphics card that drives that monitor; one
    /// that is not has no HDMI transport. Unset: every sink is. Set it before
    /// the first read.
    std::function<bool(const std::string& name, const std::string& pciSlot)> onDisplaysCard;

  private:
    struct Sink {
        std::uint32_t index = 0;
        std::string name;
        std::string pciSlot;  // the sound card's, without the function
        AudioTransport transport = AudioTransport::other;
        std::uint8_t channels = 2;
        float volume = 0;
        bool mute = false;
    };
    struct Watcher {
        AudioSinkID sink;
        runtime::Executor* queue;
        std::shared_ptr<const std::function<void()>> changed;
        std::shared_ptr<std::atomic<bool>> live;
    };

    PulseAudioSinks();
    void update(const pa_sink_info& info);
    void removed(std::uint32_t index);
    /// Tells the sink's watchers (on their queues).
    void notify(AudioSinkID sink);
    /// Waits (loop locked) for op to finish; false when it could not start.
    bool wait(pa_operation* op);
    std::optional<Sink> sink(AudioSinkID id);
    /// Runs one sink write; a failure in the server's words.
    std::optional<PlatformFailure> write(
        AudioSinkID id, const char* control,
        const std::function<pa_operation*(const Sink&, void* result)>& start);

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    std::map<AudioSinkID, Sink> sinks_;  // by sink index, under the loop's lock
    std::mutex watchersLock_;
    std::vector<Watcher> watchers_;
};

}  // namespace orvane::platform::linux_
