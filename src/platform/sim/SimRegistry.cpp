// SPDX-License-Identifier: MIT
#include "platform/sim/SimRegistry.h"

namespace orvane::platform::sim {

IOObject SimRegistry::addNode(std::string className, IOObject parent,
                              std::optional<InfoDictionary> info) {
    std::lock_guard lock(mutex_);
    IOObject id = nextID_++;
    Node node;
    node.className = std::move(className);
    node.parent = parent;
    node.info = std::move(info);
    nodes_[id] = std::move(node);
    if (auto it = nodes_.find(parent); parent && it != nodes_.end())
        it->second.children.push_back(id);
    return id;
}

void SimRegistry::detach(IOObject node) {
    std::lock_guard lock(mutex_);
    std::vector<IOObject> pending{node};
    while (!pending.empty()) {
        auto it = nodes_.find(pending.back());
        pending.pop_back();
        if (it == nodes_.end()) continue;
        it->second.attached = false;
        pending.insert(pending.end(), it->second.children.begin(), it->second.children.end());
    }
}

void SimRegistry::setFloatParameter(IOObject node, const std::string& key, float value,
                                    bool writable) {
    std::lock_guard lock(mutex_);
    if (auto it = nodes_.find(node); it != nodes_.end())
        it->second.floatParameters[key] = {value, writable};
}

std::optional<float> SimRegistry::floatParameter(IOObject node, const std::string& key) const {
    std::lock_guard lock(mutex_);
    auto it = nodes_.find(node);
    if (it == nodes_.end()) return std::nullopt;
    auto p = it->second.floatParameters.find(key);
    if (p == it->second.floatParameters.end()) return std::nullopt;
    return p->second.value;
}

IOReturn SimRegistry::displayGetFloatParameter(IOObject service, std::uint32_t,
                                               std::string_view key, float& value) {
    std::lock_guard lock(mutex_);
    auto it = nodes_.find(service);
    if (it == nodes_.end() || !it->second.attached) return kIOReturnNoDevice;
    auto p = it->second.floatParameters.find(key);
    if (p == it->second.floatParameters.end()) return kIOReturnUnsupported;
    value = p->second.value;
    return kIOReturnSuccess;
}

IOReturn SimRegistry::displaySetFloatParameter(IOObject service, std::uint32_t,
                                               std::string_view key, float value) {
    std::lock_guard lock(mutex_);
    auto it = nodes_.find(service);
    if (it == nodes_.end() || !it->second.attached) return kIOReturnNoDevice;
    auto p = it->second.floatParameters.find(key);
    if (p == it->second.floatParameters.end()) return kIOReturnUnsupported;
    if (!p->second.writable) return kIOReturnNotWritable;
    p->second.value = value;
    return kIOReturnSuccess;
}

void SimRegistry::failEnumeration(const std::string& className, IOReturn status) {
    std::lock_guard lock(mutex_);
    if (status == kIOReturnSuccess) {
        failingEnumerations_.erase(className);
    } else {
        failingEnumerations_[className] = status;
    }
}

IOObjectRef SimRegistry::reference(IOObject node) {
    std::lock_guard lock(mutex_);
    if (!nodes_.count(node)) return {};
    return handOut(node);
}

IOObjectRef SimRegistry::handOut(IOObject id) {
    ++nodes_.at(id).references;
    return IOObjectRef::adopt(*this, id);
}

// References the caller held before are released only after the lock is
// dropped: releasing takes the lock too.
IOReturn SimRegistry::matchingServices(std::string_view className,
                                       std::vector<IOObjectRef>& services) {
    std::vector<IOObjectRef> found;
    IOReturn status = kIOReturnSuccess;
    {
        std::lock_guard lock(mutex_);
        if (auto it = failingEnumerations_.find(className); it != failingEnumerations_.end()) {
            status = it->second;
        } else {
            for (auto& [id, node] : nodes_) {
                if (node.attached && node.className == className) found.push_back(handOut(id));
            }
        }
    }
    services.swap(found);
    return status;
}

std::optional<InfoDictionary> SimRegistry::displayInfoDictionary(IOObject service, std::uint32_t) {
    std::lock_guard lock(mutex_);
    auto it = nodes_.find(service);
    if (it == nodes_.end() || !it->second.info) return std::nullopt;
    ++dictionaries_;
    return it->second.info;
}

IOReturn SimRegistry::parentEntry(IOObject service, std::string_view, IOObjectRef& parent) {
    IOObjectRef found;
    {
        std::lock_guard lock(mutex_);
        auto it = nodes_.find(service);
        if (it == nodes_.end() || it->second.parent == 0) return kIOReturnNotFound;
        found = handOut(it->second.parent);
    }
    parent = std::move(found);
    return kIOReturnSuccess;
}

IOReturn SimRegistry::childEntries(IOObject service, std::string_view,
                                   std::vector<IOObjectRef>& children) {
    std::vector<IOObjectRef> found;
    {
        std::lock_guard lock(mutex_);
        auto it = nodes_.find(service);
        if (it == nodes_.end()) return kIOReturnNotFound;
        for (IOObject child : it->second.children) {
            if (nodes_.at(child).attached) found.push_back(handOut(child));
        }
    }
    children.swap(found);
    return kIOReturnSuccess;
}

std::string SimRegistry::className(IOObject object) {
    std::lock_guard lock(mutex_);
    auto it = nodes_.find(object);
    return it == nodes_.end() ? std::string() : it->second.className;
}

void SimRegistry::retain(IOObject object) {
    std::lock_guard lock(mutex_);
    if (auto it = nodes_.find(object); it != nodes_.end()) ++it->second.references;
}

void SimRegistry::release(IOObject object) {
    std::lock_guard lock(mutex_);
    auto it = nodes_.find(object);
    if (it == nodes_.end() || it->second.references == 0) {
        ++overReleases_;
        return;
    }
    --it->second.references;
}

long SimRegistry::outstandingReferences() const {
    std::lock_guard lock(mutex_);
    long total = 0;
    for (const auto& [id, node] : nodes_)
        total += node.references;
    return total;
}

long SimRegistry::overReleases() const {
    std::lock_guard lock(mutex_);
    return overReleases_;
}

long SimRegistry::dictionariesCreated() const {
    std::lock_guard lock(mutex_);
    return dictionaries_;
}

}  // namespace orvane::platform::sim
