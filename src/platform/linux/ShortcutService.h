// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace orvane::platform::linux_ {

/// A desktop service that binds keys for Orvane by id and tells it when
/// one is pressed: the GlobalShortcuts portal, or KDE's KGlobalAccel. The
/// combination Orvane asks for is only a preference: the service (or the
/// user, in the desktop's shortcut settings) decides the trigger.
class ShortcutService {
  public:
    struct Shortcut {
        std::string id;
        std::string description;
        /// An XDG shortcut string ("CTRL+ALT+Up", "XF86MonBrightnessUp").
        std::string preferredTrigger;
    };

    virtual ~ShortcutService() = default;

    /// Asks for the shortcuts; done learns, on the service's thread, what
    /// each id is bound to ("" when it has no trigger), or an error.
    using Bound = std::function<void(const std::map<std::string, std::string>& triggers,
                                     const std::string& error)>;
    virtual void bind(std::vector<Shortcut> shortcuts, Bound done) = 0;
    /// Each activation of a bound shortcut, on the service's thread.
    std::function<void(const std::string& id)> onActivated;

    /// The service in log lines: "the GlobalShortcuts portal".
    virtual std::string name() const = 0;
    /// The same, short, after "by": "the portal".
    virtual std::string shortName() const = 0;
};

}  // namespace orvane::platform::linux_
