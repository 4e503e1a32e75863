// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "platform/PlatformTypes.h"

namespace orvane::platform::sim {

/// A registry object handle (io_object_t); 0 is none.
using IOObject = std::uint32_t;
/// A platform status (IOReturn); 0 is success.
using IOReturn = std::int32_t;

inline constexpr IOReturn kIOReturnSuccess = 0;
inline constexpr IOReturn kIOReturnError = static_cast<IOReturn>(0xE00002BCu);
inline constexpr IOReturn kIOReturnNoDevice = static_cast<IOReturn>(0xE00002C0u);
inline constexpr IOReturn kIOReturnNotPrivileged = static_cast<IOReturn>(0xE00002C1u);
inline constexpr IOReturn kIOReturnBusy = static_cast<IOReturn>(0xE00002D5u);
inline constexpr IOReturn kIOReturnUnsupported = static_cast<IOReturn>(0xE00002C7u);
inline constexpr IOReturn kIOReturnNotWritable = static_cast<IOReturn>(0xE00002E2u);
inline constexpr IOReturn kIOReturnNotResponding = static_cast<IOReturn>(0xE00002EDu);
inline constexpr IOReturn kIOReturnNotFound = static_cast<IOReturn>(0xE00002F0u);

inline constexpr const char* kIOServicePlane = "IOService";
/// IODisplayCreateInfoDictionary option: only the preferred-language product name.
inline constexpr std::uint32_t kIODisplayOnlyPreferredName = 0x200;

}  // namespace orvane::platform::sim
