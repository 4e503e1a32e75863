// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/IOObjectRef.h"
#include "platform/InfoDictionary.h"
#include "platform/PlatformTypes.h"

namespace orvane::platform {

/// The I/O registry: a tree of services, each with a class name and, for display
/// services, an info dictionary. Results that hand out objects hand out references.
class IORegistry {
  public:
    virtual ~IORegistry() = default;

    /// Every service of className in registry order (IOServiceGetMatchingServices).
    /// A non-zero status means the enumeration could not be created; services stays empty.
    virtual IOReturn matchingServices(std::string_view className,
                                      std::vector<IOObjectRef>& services) = 0;
    /// IODisplayCreateInfoDictionary; none when the service carries no display info.
    virtual std::optional<InfoDictionary> displayInfoDictionary(IOObject service,
                                                                std::uint32_t options) = 0;
    /// The parent in plane; a non-zero status when there is none.
    virtual IOReturn parentEntry(IOObject service, std::string_view plane, IOObjectRef& parent) = 0;
    /// The children in plane, in order; a non-zero status when they cannot be listed.
    virtual IOReturn childEntries(IOObject service, std::string_view plane,
                                  std::vector<IOObjectRef>& children) = 0;
    /// The object's class name (IOObjectGetClass); empty for an unknown object.
    virtual std::string className(IOObject object) = 0;
    /// IODisplayGetFloatParameter / IODisplaySetFloatParameter ("brightness", 0...1).
    virtual IOReturn displayGetFloatParameter(IOObject service, std::uint32_t options,
                                              std::string_view key, float& value) = 0;
    virtual IOReturn displaySetFloatParameter(IOObject service, std::uint32_t options,
                                              std::string_view key, float value) = 0;
    virtual void retain(IOObject object) = 0;
    virtual void release(IOObject object) = 0;
};

}  // namespace orvane::platform
