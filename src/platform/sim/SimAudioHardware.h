// SPDX-License-Identifier: MIT
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <tuple>
#include <vector>

#include "platform/sim/SimAudioObjects.h"
#include "platform/sim/SimRig.h"

namespace orvane::platform::sim {

enum class SimAudioCall { getSize, get, set, addListener };

/// Simulated system audio: output devices with names, transports, stream
/// configurations, volume (virtual main, element 0, channels) and mute.
/// Listeners of a device's element-0 volume run on their queue after every
/// change, whoever made it. Thread-safe.
/// The calls are those of the original platform's audio services, with
/// their statuses; SimAudioSinks is what the core sees of them.
class SimAudioHardware {
  public:
    void addDevice(const SimAudioDeviceSpec& spec);
    void removeDevice(AudioObjectID id);
    /// Makes one call on one property fail with status (0 heals it).
    void failCall(SimAudioCall call, AudioObjectID object, std::uint32_t selector,
                  std::uint32_t element, OSStatus status);
    /// A change made outside the application (the device's own buttons, say).
    void changeVolumeExternally(AudioObjectID id, float volume);

    std::optional<float> volume(AudioObjectID id) const;
    std::optional<float> channelVolume(AudioObjectID id, std::uint32_t channel) const;
    std::optional<bool> muted(AudioObjectID id) const;
    std::size_t listenerCount(AudioObjectID id) const;
    /// The selectors of the properties written on the device, in order.
    std::vector<std::uint32_t> writes(AudioObjectID id) const;
    std::vector<SimAudioDeviceSpec> devices() const;

    bool hasProperty(AudioObjectID object, const AudioObjectPropertyAddress& address);
    OSStatus getPropertyDataSize(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                 std::uint32_t& size);
    OSStatus getPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address,
                             std::uint32_t& size, void* data);
    OSStatus setPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address,
                             std::uint32_t size, const void* data);
    OSStatus addPropertyListenerBlock(AudioObjectID object,
                                      const AudioObjectPropertyAddress& address,
                                      runtime::Executor& queue,
                                      AudioObjectPropertyListenerBlock block);
    OSStatus removePropertyListenerBlock(AudioObjectID object,
                                         const AudioObjectPropertyAddress& address,
                                         runtime::Executor& queue,
                                         const AudioObjectPropertyListenerBlock& block);

  private:
    struct Device {
        SimAudioDeviceSpec spec;
        std::map<std::uint32_t, float> channels;
    };
    struct Listener {
        AudioObjectID object;
        AudioObjectPropertyAddress address;
        runtime::Executor* queue;
        AudioObjectPropertyListenerBlock block;
    };
    using FaultKey = std::tuple<SimAudioCall, AudioObjectID, std::uint32_t, std::uint32_t>;

    /// The property's bytes; none when the object lacks it. Call with mutex_ held.
    std::optional<std::vector<std::uint8_t>> read(AudioObjectID object,
                                                  const AudioObjectPropertyAddress& a) const;
    OSStatus fault(SimAudioCall call, AudioObjectID object,
                   const AudioObjectPropertyAddress& a) const;
    void notifyVolume(AudioObjectID id);  // call without mutex_

    mutable std::mutex mutex_;
    std::vector<AudioObjectID> order_;
    std::map<AudioObjectID, Device> devices_;
    std::map<FaultKey, OSStatus> faults_;
    std::vector<Listener> listeners_;
    std::vector<std::pair<AudioObjectID, std::uint32_t>> writes_;
};

}  // namespace orvane::platform::sim
