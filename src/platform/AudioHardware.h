// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "runtime/Executor.h"

namespace orvane::platform {

using AudioObjectID = std::uint32_t;
/// An audio status (OSStatus); 0 is success.
using OSStatus = std::int32_t;

constexpr std::uint32_t fourCharCode(const char (&code)[5]) {
    return (std::uint32_t(std::uint8_t(code[0])) << 24) |
           (std::uint32_t(std::uint8_t(code[1])) << 16) |
           (std::uint32_t(std::uint8_t(code[2])) << 8) | std::uint32_t(std::uint8_t(code[3]));
}

struct AudioObjectPropertyAddress {
    std::uint32_t selector = 0;
    std::uint32_t scope = 0;
    std::uint32_t element = 0;
    bool operator==(const AudioObjectPropertyAddress&) const = default;
};

inline constexpr AudioObjectID kAudioObjectSystemObject = 1;
inline constexpr std::uint32_t kAudioHardwarePropertyDevices = fourCharCode("dev#");
inline constexpr std::uint32_t kAudioDevicePropertyTransportType = fourCharCode("tran");
inline constexpr std::uint32_t kAudioDevicePropertyStreamConfiguration = fourCharCode("slay");
inline constexpr std::uint32_t kAudioObjectPropertyName = fourCharCode("lnam");
inline constexpr std::uint32_t kAudioHardwareServiceDeviceProperty_VirtualMainVolume =
    fourCharCode("vmvc");
inline constexpr std::uint32_t kAudioDevicePropertyVolumeScalar = fourCharCode("volm");
inline constexpr std::uint32_t kAudioDevicePropertyMute = fourCharCode("mute");
inline constexpr std::uint32_t kAudioObjectPropertyScopeGlobal = fourCharCode("glob");
inline constexpr std::uint32_t kAudioDevicePropertyScopeOutput = fourCharCode("outp");
inline constexpr std::uint32_t kAudioObjectPropertyElementMain = 0;
inline constexpr std::uint32_t kAudioDeviceTransportTypeAirPlay = fourCharCode("airp");
inline constexpr std::uint32_t kAudioDeviceTransportTypeUnknown = 0;
inline constexpr std::uint32_t kAudioDeviceTransportTypeBuiltIn = fourCharCode("bltn");
/// A display's own audio, over its HDMI or DisplayPort link.
inline constexpr std::uint32_t kAudioDeviceTransportTypeHDMI = fourCharCode("hdmi");
inline constexpr std::uint32_t kAudioDeviceTransportTypeDisplayPort = fourCharCode("dprt");

inline constexpr OSStatus kAudioHardwareNoError = 0;
inline constexpr OSStatus kAudioHardwareUnspecifiedError =
    static_cast<OSStatus>(fourCharCode("what"));
inline constexpr OSStatus kAudioHardwareUnknownPropertyError =
    static_cast<OSStatus>(fourCharCode("who?"));
inline constexpr OSStatus kAudioHardwareBadObjectError =
    static_cast<OSStatus>(fourCharCode("!obj"));
inline constexpr OSStatus kAudioHardwareBadPropertySizeError =
    static_cast<OSStatus>(fourCharCode("!siz"));

/// A listener; the block's identity (the pointer) is what removal matches.
using AudioObjectPropertyListenerBlock =
    std::shared_ptr<const std::function<void(const AudioObjectPropertyAddress&)>>;

/// The system audio services. Property data is raw bytes, as on the original
/// platform, with two layouts of our own: a name ('lnam') is its UTF-8 bytes,
/// and a stream configuration ('slay') starts with its buffer count as a
/// 32-bit number, followed by 16 bytes per buffer.
/// Linux: the devices are the PulseAudio (or PipeWire-Pulse) sinks.
class AudioHardware {
  public:
    virtual ~AudioHardware() = default;
    /// Whether object has the property at address. Main thread.
    virtual bool hasProperty(AudioObjectID object, const AudioObjectPropertyAddress& address) = 0;
    /// The property's size in bytes into size; a non-zero status for an unknown
    /// object or property. Main thread.
    virtual OSStatus getPropertyDataSize(AudioObjectID object,
                                         const AudioObjectPropertyAddress& address,
                                         std::uint32_t& size) = 0;
    /// Copies the property into the caller's data; size: the capacity in, the
    /// bytes written out. A non-zero status writes nothing. Main thread.
    virtual OSStatus getPropertyData(AudioObjectID object,
                                     const AudioObjectPropertyAddress& address, std::uint32_t& size,
                                     void* data) = 0;
    /// Sets the property from size bytes; a non-zero status when it is unknown,
    /// read-only or refused, and nothing changed. Main thread.
    virtual OSStatus setPropertyData(AudioObjectID object,
                                     const AudioObjectPropertyAddress& address, std::uint32_t size,
                                     const void* data) = 0;
    /// Runs block on queue whenever the property changes, until removed; the
    /// service holds the block. A non-zero status adds nothing. Main thread.
    virtual OSStatus addPropertyListenerBlock(AudioObjectID object,
                                              const AudioObjectPropertyAddress& address,
                                              runtime::Executor& queue,
                                              AudioObjectPropertyListenerBlock block) = 0;
    /// Removes the listener with this block's identity; no run starts after it
    /// returns. Main thread.
    virtual OSStatus removePropertyListenerBlock(AudioObjectID object,
                                                 const AudioObjectPropertyAddress& address,
                                                 runtime::Executor& queue,
                                                 const AudioObjectPropertyListenerBlock& block) = 0;
};

}  // namespace orvane::platform
