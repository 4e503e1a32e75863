// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>

#include "platform/PlatformError.h"
#include "platform/Subscription.h"

namespace orvane::platform {

/// What a combination is for, as a desktop's own shortcut settings list it.
struct ShortcutPurpose {
    /// The same every run: "brightness-up".
    std::string name;
    /// For people: "Brightness Up".
    std::string label;
};

/// Key combinations bound for Orvane across the whole desktop.
/// Linux: XGrabKey with every lock-modifier variant on X11; the GlobalShortcuts
/// portal on Wayland, where the combination is only a preference the desktop
/// may change.
class GlobalShortcuts {
  public:
    virtual ~GlobalShortcuts() = default;
    /// Calls activated with the id of a bound combination each time it is
    /// pressed, on the thread the keys arrive on, while the subscription
    /// lives; an error when the desktop gives no program such keys. Main thread.
    virtual std::variant<Subscription, PlatformError> listen(
        std::function<void(std::uint32_t id)> activated) = 0;
    /// Binds the combination (a key position numbered as on a US keyboard;
    /// command 0x100, shift 0x200, option 0x800, control 0x1000) to id; an
    /// error when another program holds it or the desktop refused, and then
    /// nothing is bound. A desktop that keeps shortcuts by purpose (KDE, the
    /// portal) lists it under purpose. Main thread.
    virtual std::optional<PlatformError> bind(std::uint32_t id, std::uint32_t keyCode,
                                              std::uint32_t modifiers,
                                              const ShortcutPurpose& purpose) = 0;
    /// Lets id's combination go; nothing for an id not bound. Main thread.
    virtual void unbind(std::uint32_t id) = 0;
};

}  // namespace orvane::platform
