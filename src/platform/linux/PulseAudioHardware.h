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

#include "platform/AudioHardware.h"

struct pa_threaded_mainloop;
struct pa_context;
struct pa_sink_info;
struct pa_operation;

namespace orvane::platform::linux_ {

/// The audio devices of PulseAudio, or of PipeWire's Pulse server: each sink
/// is a device, with its volume, mute and name, and change notifications.
/// A network (RAOP) sink reports the AirPlay transport; a sink on a display's
/// HDMI or DisplayPort output (its port, or a "monitor" or "tv" form factor)
/// reports the HDMI transport and, as its name, the monitor name the ELD
/// gives (device.product.name).
class PulseAudioHardware final : public AudioHardware {
  public:
    /// None (with the reason in error) when no sound server answers.
    static std::unique_ptr<PulseAudioHardware> connect(std::string& error);
    ~PulseAudioHardware() override;
    PulseAudioHardware(const PulseAudioHardware&) = delete;
    PulseAudioHardware& operator=(const PulseAudioHardware&) = delete;

    bool hasProperty(AudioObjectID object, const AudioObjectPropertyAddress& address) override;
    OSStatus getPropertyDataSize(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                 std::uint32_t& size) override;
    OSStatus getPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address,
                             std::uint32_t& size, void* data) override;
    OSStatus setPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address,
                             std::uint32_t size, const void* data) override;
    OSStatus addPropertyListenerBlock(AudioObjectID object,
                                      const AudioObjectPropertyAddress& address,
                                      runtime::Executor& queue,
                                      AudioObjectPropertyListenerBlock block) override;
    OSStatus removePropertyListenerBlock(AudioObjectID object,
                                         const AudioObjectPropertyAddress& address,
                                         runtime::Executor& queue,
                                         const AudioObjectPropertyListenerBlock& block) override;

    /// Whether a sink with a monitor's name, on the PCI slot given
    /// ("0000:01:00"), is on the graphics card that drives that monitor;
    /// one that is not reports no transport. Unset: every sink is. Set it
    /// before the first read.
    std::function<bool(const std::string& name, const std::string& pciSlot)> onDisplaysCard;

  private:
    struct Sink {
        std::uint32_t index = 0;
        std::string name;
        std::string pciSlot;  // the sound card's, without the function
        std::uint32_t transport = 0;
        std::uint8_t channels = 2;
        float volume = 0;
        bool mute = false;
    };
    struct Listener {
        AudioObjectID object;
        AudioObjectPropertyAddress address;
        runtime::Executor* queue;
        AudioObjectPropertyListenerBlock block;
        std::shared_ptr<std::atomic<bool>> live;
    };

    PulseAudioHardware();
    static AudioObjectID idOf(std::uint32_t index) { return index + 0x100; }
    void update(const pa_sink_info& info);
    void removed(std::uint32_t index);
    /// Tells the listeners of object's selectors (on their queues).
    void notify(AudioObjectID object, std::initializer_list<std::uint32_t> selectors);
    /// Waits (loop locked) for op to finish; false when it could not start.
    bool wait(pa_operation* op);
    std::optional<Sink> sink(AudioObjectID object);

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    std::map<AudioObjectID, Sink> sinks_;  // under the loop's lock
    std::mutex listenersLock_;
    std::vector<Listener> listeners_;
};

}  // namespace orvane::platform::linux_
