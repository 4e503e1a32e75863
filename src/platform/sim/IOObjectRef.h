// SPDX-License-Identifier: MIT
#pragma once

#include <utility>

#include "platform/sim/IOReturn.h"

namespace orvane::platform::sim {

class IORegistry;

/// Owns one reference to a registry object; copies retain, destruction releases.
class IOObjectRef {
  public:
    IOObjectRef() = default;
    /// Takes over a reference the caller already holds (a +1 result of the registry).
    static IOObjectRef adopt(IORegistry& registry, IOObject object) {
        return IOObjectRef(&registry, object);
    }
    IOObjectRef(const IOObjectRef& other);
    IOObjectRef& operator=(const IOObjectRef& other);
    IOObjectRef(IOObjectRef&& other) noexcept
        : registry_(other.registry_), object_(std::exchange(other.object_, 0)) {}
    IOObjectRef& operator=(IOObjectRef&& other) noexcept;
    ~IOObjectRef() { reset(); }

    IOObject get() const { return object_; }
    explicit operator bool() const { return object_ != 0; }
    void reset();

  private:
    IOObjectRef(IORegistry* registry, IOObject object) : registry_(registry), object_(object) {}
    IORegistry* registry_ = nullptr;
    IOObject object_ = 0;
};

}  // namespace orvane::platform::sim
