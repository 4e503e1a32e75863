// SPDX-License-Identifier: MIT
#include "input/ShortcutRecorder.h"

#include <string>

namespace orvane::input {

ShortcutRecorder::ShortcutRecorder(ShortcutManager& manager, ShortcutBindingsStore& store,
                                   platform::WindowToolkit& toolkit)
    : manager_(manager), store_(store), toolkit_(toolkit) {}

void ShortcutRecorder::startRecording(ShortcutAction action) {
    stopRecording();
    recordingAction_ = action;
    eventMonitor_ = toolkit_.addLocalMonitorForEvents(
        platform::kKeyDownMask,
        [this](const platform::KeyEvent& event) -> std::optional<platform::KeyEvent> {
            handleKeyDown(event);
            return std::nullopt;
        });
}

void ShortcutRecorder::stopRecording() {
    eventMonitor_.reset();
    recordingAction_.reset();
}

void ShortcutRecorder::clear(ShortcutAction action) {
    manager_.unregister(action);
    auto map = store_.shortcutBindings();
    map.erase(std::string(rawValue(action)));
    store_.setShortcutBindings(map);
    store_.save();
}

void ShortcutRecorder::handleKeyDown(const platform::KeyEvent& event) {
    if (!recordingAction_) return;
    const auto action = *recordingAction_;
    // Escape and the delete keys come before the modifier test: they can never be bound.
    if (event.keyCode == kEscape) {
        stopRecording();
        return;
    }
    if (event.keyCode == kDelete || event.keyCode == kForwardDelete) {
        clear(action);
        stopRecording();
        return;
    }
    const auto flags = event.modifierFlags & kDeviceIndependentModifiers;
    if (flags == 0) return;
    const KeyCombo combo{event.keyCode, KeyCombo::carbonModifiers(flags)};
    // Only what is registered is stored: a refused or taken combination would
    // come back at the next start, on the wrong action or not at all.
    if (!manager_.registerShortcut(action, combo)) {
        stopRecording();
        if (onRefused) onRefused(action, combo);
        return;
    }
    auto map = store_.shortcutBindings();
    map[std::string(rawValue(action))] = combo;
    store_.setShortcutBindings(map);
    store_.save();
    stopRecording();
}

}  // namespace orvane::input
