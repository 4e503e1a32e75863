// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <variant>

#include "platform/sim/IOReturn.h"

namespace orvane::platform::sim {

/// An audio/video service object; each platform derives its own. Released with its last reference.
class IOAVService {
  public:
    virtual ~IOAVService() = default;
};
using IOAVServiceRef = std::shared_ptr<IOAVService>;
using CFAllocatorRef = const void*;
inline constexpr CFAllocatorRef kCFAllocatorDefault = nullptr;

/// The three audio/video service functions, as resolved by name.
using IOAVServiceCreateWithServiceFn = std::function<IOAVServiceRef(CFAllocatorRef, IOObject)>;
using IOAVServiceReadI2CFn =
    std::function<IOReturn(IOAVService&, std::uint32_t chipAddress, std::uint32_t dataAddress,
                           std::uint8_t* buffer, std::uint32_t length)>;
using IOAVServiceWriteI2CFn =
    std::function<IOReturn(IOAVService&, std::uint32_t chipAddress, std::uint32_t dataAddress,
                           const std::uint8_t* buffer, std::uint32_t length)>;

/// What a symbol lookup yields: nothing, or one of the known function types.
using Symbol = std::variant<std::monostate, IOAVServiceCreateWithServiceFn, IOAVServiceReadI2CFn,
                            IOAVServiceWriteI2CFn>;

inline constexpr int kRTLDNow = 2;

/// A loaded library (a dlopen handle). Never closed while symbols from it may be called.
class DynamicLibrary {
  public:
    virtual ~DynamicLibrary() = default;
    /// The function of that name, or monostate when the library has none. The
    /// function stays callable while the library is held. Any thread.
    virtual Symbol symbol(std::string_view name) = 0;
};

/// Loads libraries at run time (the audio/video service functions).
class DynamicLoader {
  public:
    virtual ~DynamicLoader() = default;
    /// The library at path, shared with the caller; null when it cannot be
    /// opened. Main thread.
    virtual std::shared_ptr<DynamicLibrary> open(std::string_view path, int mode) = 0;
};

}  // namespace orvane::platform::sim
