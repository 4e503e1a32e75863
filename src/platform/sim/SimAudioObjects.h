// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "runtime/Executor.h"

namespace orvane::platform::sim {

/// The simulated machine's audio objects are those of the original platform's
/// audio services: objects with properties under four-character codes, raw
/// bytes as data, statuses as numbers. SimAudioSinks shows them to the core as
/// sinks.
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

}  // namespace orvane::platform::sim
