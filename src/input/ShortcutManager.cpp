// SPDX-License-Identifier: MIT
#include "input/ShortcutManager.h"

#include <string>
#include <vector>

namespace orvane::input {

using namespace platform;

ShortcutManager::ShortcutManager(GlobalShortcuts& hotKeys, KeyboardLayout& layout,
                                 runtime::Executor& main, runtime::Logger& log,
                                 const MechanismTexts& texts)
    : hotKeys_(hotKeys), layout_(layout), main_(main), log_(log), texts_(texts) {}

ShortcutManager::~ShortcutManager() {
    for (const auto& [action, id] : actionToID_)
        hotKeys_.unbind(id);
    // The handler holds a raw pointer to this object.
    listening_.reset();
}

void ShortcutManager::installHandler() {
    if (listening_) return;
    auto listening = hotKeys_.listen([this](std::uint32_t id) {
        main_.post([weak = weak_from_this(), id] {
            if (auto manager = weak.lock()) manager->handleHotKey(id);
        });
    });
    if (auto* error = std::get_if<PlatformError>(&listening)) {
        if (!texts_.hotKeyHandlerFailed.empty())
            log_.line(texts_.hotKeyHandlerFailed + error->text);
        return;
    }
    listening_ = std::move(std::get<Subscription>(listening));
    log_.line(texts_.hotKeyHandlerInstalled);
}

void ShortcutManager::handleHotKey(std::uint32_t id) {
    if (auto it = idToAction_.find(id); it != idToAction_.end()) {
        const auto action = it->second;
        log_.line("[ShortcutManager] Hot key fired: id=" + std::to_string(id) + " → " +
                  std::string(label(action)));
        if (onAction) onAction(action);
        return;
    }
    std::string known;
    for (const auto& [known_id, action] : idToAction_)
        known += (known.empty() ? "" : ", ") + std::to_string(known_id);
    log_.line("[ShortcutManager] Unknown hot key id=" + std::to_string(id) + ", known ids=[" +
              known + "]");
}

bool ShortcutManager::registerShortcut(ShortcutAction action, KeyCombo combo) {
    // One combination, one action: after a restart it would fire the other one.
    for (const auto& [other, held] : bindings_) {
        if (other != action && held == combo) {
            log_.line("[ShortcutManager] " + combo.displayString(layout_) + " is already used by " +
                      std::string(label(other)) + " - not registered for " +
                      std::string(label(action)));
            return false;
        }
    }
    const auto previous = bindings_.find(action) != bindings_.end()
                              ? std::optional<KeyCombo>(bindings_.at(action))
                              : std::nullopt;
    unregister(action);
    const std::uint32_t id = nextHotKeyID_++;
    if (auto error = hotKeys_.bind(id, combo.keyCode, combo.modifiers,
                                   {keyCommand(action), std::string(label(action))})) {
        log_.line("[ShortcutManager] Failed to register " + std::string(label(action)) + ": " +
                  error->text);
        // The refused combination takes nothing away: the previous one comes back.
        if (previous && !(*previous == combo)) registerShortcut(action, *previous);
        return false;
    }
    bindings_[action] = combo;
    idToAction_[id] = action;
    actionToID_[action] = id;
    notifier_.notify("bindings");
    log_.line("[ShortcutManager] Registered " + std::string(label(action)) + ": " +
              combo.displayString(layout_) + " (id=" + std::to_string(id) + ", keyCode=" +
              std::to_string(combo.keyCode) + ", mods=" + std::to_string(combo.modifiers) + ")");
    return true;
}

void ShortcutManager::unregister(ShortcutAction action) {
    if (auto it = actionToID_.find(action); it != actionToID_.end()) {
        hotKeys_.unbind(it->second);
        idToAction_.erase(it->second);
        actionToID_.erase(it);
    }
    if (bindings_.erase(action)) notifier_.notify("bindings");
    log_.line("[ShortcutManager] Unregistered " + std::string(label(action)));
}

void ShortcutManager::unregisterAll() {
    std::vector<ShortcutAction> actions;
    for (const auto& [action, id] : actionToID_)
        actions.push_back(action);
    for (auto action : actions)
        unregister(action);
    listening_.reset();
}

std::optional<std::uint32_t> ShortcutManager::idFor(ShortcutAction action) const {
    auto it = actionToID_.find(action);
    if (it == actionToID_.end()) return std::nullopt;
    return it->second;
}

}  // namespace orvane::input
