// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "input/KeyCombo.h"
#include "input/ShortcutAction.h"
#include "platform/GlobalShortcuts.h"
#include "platform/KeyboardLayout.h"
#include "platform/MechanismTexts.h"
#include "runtime/Executor.h"
#include "runtime/Logger.h"
#include "runtime/Observable.h"

namespace orvane::input {

/// The six global shortcuts: binds them across the desktop, maps a fired
/// hot key back to its action and calls the action handler. Main thread only.
class ShortcutManager : public std::enable_shared_from_this<ShortcutManager> {
  public:
    ShortcutManager(platform::GlobalShortcuts& hotKeys, platform::KeyboardLayout& layout,
                    runtime::Executor& main, runtime::Logger& log,
                    const platform::MechanismTexts& texts);
    /// Releases every hot key and the handler without logging.
    ~ShortcutManager();
    ShortcutManager(const ShortcutManager&) = delete;
    ShortcutManager& operator=(const ShortcutManager&) = delete;

    void installHandler();
    /// False when the system refuses the combination or another action holds
    /// it; the action then keeps the combination it had.
    bool registerShortcut(ShortcutAction action, KeyCombo combo);
    void unregister(ShortcutAction action);
    void unregisterAll();
    void handleHotKey(std::uint32_t id);

    std::function<void(ShortcutAction)> onAction;

    const std::map<ShortcutAction, KeyCombo>& bindings() const { return bindings_; }
    const std::map<std::uint32_t, ShortcutAction>& idToAction() const { return idToAction_; }
    std::optional<std::uint32_t> idFor(ShortcutAction action) const;
    std::uint32_t nextHotKeyID() const { return nextHotKeyID_; }
    bool hasHandler() const { return static_cast<bool>(listening_); }
    platform::KeyboardLayout& keyboardLayout() { return layout_; }

    [[nodiscard]] std::shared_ptr<void> observe(runtime::ChangeNotifier::Observer observer) {
        return notifier_.observe(std::move(observer));
    }

  private:
    platform::GlobalShortcuts& hotKeys_;
    platform::KeyboardLayout& layout_;
    runtime::Executor& main_;
    runtime::Logger& log_;
    const platform::MechanismTexts& texts_;
    runtime::ChangeNotifier notifier_;

    std::map<ShortcutAction, KeyCombo> bindings_;
    std::map<std::uint32_t, ShortcutAction> idToAction_;
    std::map<ShortcutAction, std::uint32_t> actionToID_;
    std::uint32_t nextHotKeyID_ = 1;
    platform::Subscription listening_;
};

}  // namespace orvane::input
