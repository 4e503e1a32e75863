// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/IOObjectRef.h"
#include "platform/sim/IOReturn.h"
#include "platform/sim/InfoDictionary.h"

namespace orvane::platform::sim {

/// The I/O registry: a tree of services, each with a class name and, for display
/// services, an info dictionary. Any thread (the DDC queue walks it too).
/// Linux: the "IODisplayConnect" services are the DRM connectors with their EDID
/// as the info dictionary, and their parents the cards (the framebuffers); the
/// built-in panel's "brightness" is its backlight in /sys/class/backlight, set
/// through logind.
class IORegistry {
  public:
    virtual ~IORegistry() = default;

    /// Every service of className in registry order, as references the caller
    /// owns. A non-zero status means the enumeration failed; services stays empty.
    virtual IOReturn matchingServices(std::string_view className,
                                      std::vector<IOObjectRef>& services) = 0;
    /// The display info of service, as a value (DisplayVendorID, DisplayProductID,
    /// DisplaySerialNumber, DisplayProductName); none when it carries none.
    virtual std::optional<InfoDictionary> displayInfoDictionary(IOObject service,
                                                                std::uint32_t options) = 0;
    /// The parent in plane, as a reference the caller owns; a non-zero status
    /// when there is none.
    virtual IOReturn parentEntry(IOObject service, std::string_view plane, IOObjectRef& parent) = 0;
    /// The children in plane, in order, as references the caller owns; a non-zero
    /// status when they cannot be listed.
    virtual IOReturn childEntries(IOObject service, std::string_view plane,
                                  std::vector<IOObjectRef>& children) = 0;
    /// The object's class name; empty for an unknown object.
    virtual std::string className(IOObject object) = 0;
    /// The service's parameter key ("brightness", 0...1) into value; a non-zero
    /// status when it has none.
    virtual IOReturn displayGetFloatParameter(IOObject service, std::uint32_t options,
                                              std::string_view key, float& value) = 0;
    /// Sets the parameter; a non-zero status when it is missing or refused, in
    /// which case nothing changed.
    virtual IOReturn displaySetFloatParameter(IOObject service, std::uint32_t options,
                                              std::string_view key, float value) = 0;
    /// One more reference to object; IOObjectRef does this for the core.
    virtual void retain(IOObject object) = 0;
    /// Gives one reference back; releasing more than was handed out is a bug.
    virtual void release(IOObject object) = 0;
};

}  // namespace orvane::platform::sim
