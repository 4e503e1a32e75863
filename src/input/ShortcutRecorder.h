// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "input/KeyCombo.h"
#include "input/ShortcutAction.h"
#include "input/ShortcutManager.h"
#include "platform/WindowToolkit.h"

namespace orvane::input {

/// Where recorded bindings persist (the settings record's bindings document).
class ShortcutBindingsStore {
  public:
    virtual ~ShortcutBindingsStore() = default;
    virtual ShortcutBindings shortcutBindings() = 0;
    virtual void setShortcutBindings(const ShortcutBindings& bindings) = 0;
    /// Failures are the store's to report; recording goes on regardless.
    virtual void save() = 0;
};

/// Recording a combination for one action by pressing it: the rules the
/// settings window's keyboard tab follows, free of any GUI.
class ShortcutRecorder {
  public:
    static constexpr std::uint16_t kEscape = 53;
    static constexpr std::uint16_t kDelete = 51;
    static constexpr std::uint16_t kForwardDelete = 117;

    ShortcutRecorder(ShortcutManager& manager, ShortcutBindingsStore& store,
                     platform::WindowToolkit& toolkit);
    ~ShortcutRecorder() { stopRecording(); }
    ShortcutRecorder(const ShortcutRecorder&) = delete;
    ShortcutRecorder& operator=(const ShortcutRecorder&) = delete;

    /// Every key press reaching the application is consumed until recording stops.
    void startRecording(ShortcutAction action);
    void stopRecording();
    /// The row's clear button.
    void clear(ShortcutAction action);
    /// The key rule, for a key-down while recording.
    void handleKeyDown(const platform::KeyEvent& event);

    std::optional<ShortcutAction> recordingAction() const { return recordingAction_; }
    /// A combination the hot-key service would not take (another program or
    /// action holds it): nothing was stored.
    std::function<void(ShortcutAction action, KeyCombo combo)> onRefused;
    bool isMonitoring() const { return eventMonitor_ != nullptr; }

  private:
    ShortcutManager& manager_;
    ShortcutBindingsStore& store_;
    platform::WindowToolkit& toolkit_;
    std::optional<ShortcutAction> recordingAction_;
    std::unique_ptr<platform::EventMonitor> eventMonitor_;
};

}  // namespace orvane::input
