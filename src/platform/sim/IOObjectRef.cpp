// SPDX-License-Identifier: MIT
#include "platform/sim/IOObjectRef.h"

#include "platform/sim/IORegistry.h"

namespace orvane::platform::sim {

IOObjectRef::IOObjectRef(const IOObjectRef& other)
    : registry_(other.registry_), object_(other.object_) {
    if (object_) registry_->retain(object_);
}

IOObjectRef& IOObjectRef::operator=(const IOObjectRef& other) {
    if (this != &other) {
        IOObjectRef copy(other);
        *this = std::move(copy);
    }
    return *this;
}

IOObjectRef& IOObjectRef::operator=(IOObjectRef&& other) noexcept {
    if (this != &other) {
        reset();
        registry_ = other.registry_;
        object_ = std::exchange(other.object_, 0);
    }
    return *this;
}

void IOObjectRef::reset() {
    if (object_) registry_->release(object_);
    object_ = 0;
}

}  // namespace orvane::platform::sim
