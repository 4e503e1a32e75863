// SPDX-License-Identifier: MIT
#include "input/ShortcutManager.h"

#include <string>
#include <vector>

namespace orvane::input {

using namespace platform;

ShortcutManager::ShortcutManager(HotKeyService& hotKeys, KeyboardLayout& layout,
                                 runtime::Executor& main, runtime::Logger& log,
                                 const MechanismTexts& texts)
    : hotKeys_(hotKeys), layout_(layout), main_(main), log_(log), texts_(texts) {}

ShortcutManager::~ShortcutManager() {
    for (const auto& [action, ref] : hotKeyRefs_)
        hotKeys_.unregisterEventHotKey(ref);
    // The handler holds a raw pointer to this object.
    if (eventHandlerRef_) hotKeys_.removeEventHandler(eventHandlerRef_);
}

void ShortcutManager::installHandler() {
    if (eventHandlerRef_) return;
    const EventTypeSpec type{kEventClassKeyboard, kEventHotKeyPressed};
    EventHandlerRef ref = 0;
    const auto status = hotKeys_.installEventHandler(hotKeys_.getApplicationEventTarget(),
                                                     &hotKeyHandler, 1, &type, this, &ref);
    if (status != noErr) {
        if (!texts_.hotKeyHandlerFailed.empty())
            log_.line(texts_.hotKeyHandlerFailed + std::to_string(status));
        return;
    }
    eventHandlerRef_ = ref;
    log_.line(texts_.hotKeyHandlerInstalled);
}

OSStatus ShortcutManager::hotKeyHandler(EventHandlerCallRef, EventRef event, void* userData) {
    if (!event || !userData) return eventNotHandledErr;
    auto* self = static_cast<ShortcutManager*>(userData);
    EventHotKeyID id;
    if (self->hotKeys_.getEventParameter(event, kEventParamDirectObject, typeEventHotKeyID,
                                         sizeof id, nullptr, &id) != noErr) {
        return eventNotHandledErr;
    }
    self->main_.post([weak = self->weak_from_this(), hotKey = id.id] {
        if (auto manager = weak.lock()) manager->handleHotKey(hotKey);
    });
    return noErr;
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
    EventHotKeyRef ref = 0;
    const auto status =
        hotKeys_.registerEventHotKey(combo.keyCode, combo.modifiers, EventHotKeyID{kSignature, id},
                                     hotKeys_.getApplicationEventTarget(), 0, &ref);
    if (status != noErr || ref == 0) {
        log_.line("[ShortcutManager] Failed to register " + std::string(label(action)) +
                  ": status=" + std::to_string(status));
        // The refused combination takes nothing away: the previous one comes back.
        if (previous && !(*previous == combo)) registerShortcut(action, *previous);
        return false;
    }
    bindings_[action] = combo;
    hotKeyRefs_[action] = ref;
    idToAction_[id] = action;
    actionToID_[action] = id;
    notifier_.notify("bindings");
    log_.line("[ShortcutManager] Registered " + std::string(label(action)) + ": " +
              combo.displayString(layout_) + " (id=" + std::to_string(id) + ", keyCode=" +
              std::to_string(combo.keyCode) + ", mods=" + std::to_string(combo.modifiers) + ")");
    return true;
}

void ShortcutManager::unregister(ShortcutAction action) {
    if (auto it = hotKeyRefs_.find(action); it != hotKeyRefs_.end()) {
        hotKeys_.unregisterEventHotKey(it->second);
        hotKeyRefs_.erase(it);
    }
    if (bindings_.erase(action)) notifier_.notify("bindings");
    if (auto it = actionToID_.find(action); it != actionToID_.end()) {
        idToAction_.erase(it->second);
        actionToID_.erase(it);
    }
    log_.line("[ShortcutManager] Unregistered " + std::string(label(action)));
}

void ShortcutManager::unregisterAll() {
    std::vector<ShortcutAction> actions;
    for (const auto& [action, ref] : hotKeyRefs_)
        actions.push_back(action);
    for (auto action : actions)
        unregister(action);
    if (eventHandlerRef_) {
        hotKeys_.removeEventHandler(eventHandlerRef_);
        eventHandlerRef_ = 0;
    }
}

std::optional<std::uint32_t> ShortcutManager::idFor(ShortcutAction action) const {
    auto it = actionToID_.find(action);
    if (it == actionToID_.end()) return std::nullopt;
    return it->second;
}

}  // namespace orvane::input
