// SPDX-License-Identifier: MIT
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform//sim/IORegistry.h"
#include "platform/sim/IOReturn.h"

namespace orvane::platform::sim {

/// A simulated I/O registry: a tree of nodes with class names and info
/// dictionaries. It counts the references it hands out, so tests can prove that
/// every one of them is released.
class SimRegistry final : public IORegistry {
  public:
    IOObject addNode(std::string className, IOObject parent = 0,
                     std::optional<InfoDictionary> info = std::nullopt);
    /// A new reference to node, as the registry's own calls hand out.
    IOObjectRef reference(IOObject node);
    /// Takes node and everything below it out of the tree, as an unplug does.
    /// References already handed out stay valid.
    void detach(IOObject node);
    /// A display float parameter ("brightness"); a read-only one refuses writes.
    void setFloatParameter(IOObject node, const std::string& key, float value,
                           bool writable = true);
    std::optional<float> floatParameter(IOObject node, const std::string& key) const;
    /// Makes the enumeration of className fail with status (0 to heal).
    void failEnumeration(const std::string& className, IOReturn status);

    IOReturn matchingServices(std::string_view className,
                              std::vector<IOObjectRef>& services) override;
    std::optional<InfoDictionary> displayInfoDictionary(IOObject service,
                                                        std::uint32_t options) override;
    IOReturn parentEntry(IOObject service, std::string_view plane, IOObjectRef& parent) override;
    IOReturn childEntries(IOObject service, std::string_view plane,
                          std::vector<IOObjectRef>& children) override;
    std::string className(IOObject object) override;
    IOReturn displayGetFloatParameter(IOObject service, std::uint32_t options, std::string_view key,
                                      float& value) override;
    IOReturn displaySetFloatParameter(IOObject service, std::uint32_t options, std::string_view key,
                                      float value) override;
    void retain(IOObject object) override;
    void release(IOObject object) override;

    /// References handed out and not yet released, over all objects.
    long outstandingReferences() const;
    /// Releases of objects the caller held no reference to: always a bug.
    long overReleases() const;
    /// Info dictionaries created so far.
    long dictionariesCreated() const;

  private:
    struct Node {
        std::string className;
        IOObject parent = 0;
        std::vector<IOObject> children;
        std::optional<InfoDictionary> info;
        bool attached = true;
        long references = 0;
        struct Parameter {
            float value = 0;
            bool writable = true;
        };
        std::map<std::string, Parameter, std::less<>> floatParameters;
    };
    IOObjectRef handOut(IOObject id);  // call with mutex_ held

    mutable std::mutex mutex_;
    std::map<IOObject, Node> nodes_;
    std::map<std::string, IOReturn, std::less<>> failingEnumerations_;
    IOObject nextID_ = 0x1001;
    long overReleases_ = 0;
    long dictionaries_ = 0;
};

}  // namespace orvane::platform::sim
