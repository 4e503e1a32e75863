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
    manager_.registerShortcut(action, combo);
    // Stored even when the system refused it: the next start tries again.
    auto map = store_.shortcutBindings();
    map[std::string(rawValue(action))] = combo;
    store_.setShortcutBindings(map);
    store_.save();
    stopRecording();
}

}  // namespace orvane::input
