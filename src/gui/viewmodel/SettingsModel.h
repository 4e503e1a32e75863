// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "controls/BrightnessSyncManager.h"
#include "displays/DisplayManager.h"
#include "input/ShortcutRecorder.h"
#include "platform/LoginItems.h"
#include "runtime/Logger.h"
#include "settings/AppSettings.h"
#include "settings/PresetManager.h"
#include "store/ModelContext.h"

namespace orvane::gui {

/// What the settings window shows and decides, tab by tab. Every edit goes
/// to the settings record and is saved at once, so the popover, the presets
/// and the next launch see it. Main thread only.
class SettingsModel {
  public:
    struct Step {
        double value;
        const char* text;
    };
    static constexpr std::array<Step, 4> kSteps{{{6.25, "6.25% (16 steps)"},
                                                 {5, "5% (20 steps)"},
                                                 {10, "10% (10 steps)"},
                                                 {1, "1% (fine)"}}};
    static constexpr const char* kLoading = "Loading settings...";
    static constexpr const char* kInterceptionCaption =
        "When intercepted, media keys control external displays instead of the built-in "
        "display/speakers.";
    static constexpr const char* kShortcutsCaption =
        "Click a shortcut to record a new key combination. Press Esc to cancel, or Delete to "
        "clear.";
    static constexpr const char* kShortcutsFooter =
        "These shortcuts control all connected external monitors. Contrast and volume controls "
        "only appear on external monitors that support DDC.";
    /// No brightness path follows the links yet: the caption says what is
    /// kept, not an adjustment that does not happen.
    static constexpr const char* kSyncCaption =
        "Orvane remembers which external displays are linked; adjusting them together comes in "
        "a later version.";

    struct Services {
        store::ModelContext& context;
        std::shared_ptr<displays::DisplayManager> registry;
        controls::BrightnessSyncManager& sync;
        platform::LoginItems& loginItems;
        input::ShortcutBindingsStore& bindings;
        runtime::Logger& log;
        /// Where recording listens for keys: the GUI's own windows.
        platform::WindowToolkit& keys;
        std::shared_ptr<settings::PresetManager> presets;
    };
    explicit SettingsModel(Services services);
    ~SettingsModel();

    /// Reads the record (made with its defaults on an empty store).
    void load();
    bool isLoaded() const { return settings_ != nullptr; }

    // General.
    bool launchAtLogin() const { return settings_->launchAtLogin(); }
    /// The login item follows; a failure is logged and the choice kept.
    void setLaunchAtLogin(bool on);
    bool showOSD() const { return settings_->showOSD(); }
    void setShowOSD(bool on);
    double brightnessStep() const { return settings_->brightnessStep(); }
    void setBrightnessStep(double step);
    double volumeStep() const { return settings_->volumeStep(); }
    void setVolumeStep(double step);

    // Keyboard.
    bool interceptBrightnessKeys() const { return settings_->interceptBrightnessKeys(); }
    bool interceptVolumeKeys() const { return settings_->interceptVolumeKeys(); }
    /// Both values reach the interceptor at once.
    void setInterceptBrightnessKeys(bool on);
    void setInterceptVolumeKeys(bool on);
    struct ShortcutRow {
        input::ShortcutAction action;
        std::string label;
        /// "Press shortcut…" while recording, the combination, or "Not set".
        std::string text;
        bool recording = false;
        bool hasCombination = false;
    };
    std::vector<ShortcutRow> shortcutRows() const;
    void startRecording(input::ShortcutAction action);
    void stopRecording();
    void clearShortcut(input::ShortcutAction action);
    input::ShortcutRecorder& recorder() { return *recorder_; }
    /// Why the last recording stored nothing ("... is taken"); empty otherwise.
    const std::string& refusal() const { return refusal_; }
    /// How the rows and the refusal write a combination: the key glyphs of
    /// the log by default; a toolkit sets its desktop's way ("Ctrl+Alt+B").
    std::function<std::string(const input::KeyCombo&)> formatCombo;
    platform::KeyboardLayout& keyboardLayout() {
        return s_.registry->services().platform.keyboardLayout;
    }

    // The desktop's own shortcuts, where Orvane cannot take global ones itself.
    static constexpr const char* kDesktopShortcutsCaption =
        "Where the desktop keeps keys for itself (GNOME on Wayland takes no global shortcuts "
        "from applications), Orvane can add its six actions to %1, with the keys recorded here; "
        "change them there or here.";
    /// Where the desktop keeps them ("GNOME's keyboard shortcuts"); empty
    /// where there is no such place.
    std::string desktopShortcutsPlace() const;
    /// Whether Orvane's actions are there now.
    bool desktopShortcutsAdded() const;
    /// Adds the six actions with the combinations recorded here, or takes
    /// them out; false, with desktopShortcutsError saying why.
    bool setDesktopShortcutsAdded(bool added);
    const std::string& desktopShortcutsError() const { return desktopError_; }
    /// Once added, a combination recorded or cleared here goes there too.
    void syncDesktopShortcuts();

    // Sync.
    bool syncEnabled() const { return settings_->brightnessSyncEnabled(); }
    void setSyncEnabled(bool on);
    enum class LinkedDisplays { hidden, none, one, list };
    LinkedDisplays linkedDisplays() const;
    /// The sentence for none and one; empty otherwise.
    std::string linkedDisplaysText() const;
    /// The external displays with their linked state, for the list.
    std::vector<std::pair<std::shared_ptr<displays::DisplayState>, bool>> linkRows() const;
    void setLinked(DisplayID display, bool linked);

    // Schedule.
    static constexpr const char* kScheduleCaption =
        "A preset can come into force each day at a time, or at sunrise or sunset. Orvane "
        "computes the sun times on this computer for the place above.";
    static constexpr const char* kNoPresets = "Save a preset in the popover to schedule it.";
    static constexpr const char* kNeedsLocation =
        "Sunrise and sunset need the place: enter its latitude and longitude.";
    struct ScheduleRow {
        std::string preset;
        std::optional<schedule::PresetSchedule> when;
    };
    std::vector<ScheduleRow> scheduleRows() const;
    /// False, with scheduleError saying why, when it is not kept.
    bool setSchedule(const std::string& preset,
                     const std::optional<schedule::PresetSchedule>& when);
    std::optional<schedule::Location> location() const;
    bool setLocation(const std::optional<schedule::Location>& where);
    const std::string& scheduleError() const { return scheduleError_; }

  private:
    void save();

    Services s_;
    std::shared_ptr<settings::AppSettings> settings_;
    std::string scheduleError_;
    std::vector<platform::DesktopShortcuts::Entry> desktopEntries() const;
    std::unique_ptr<input::ShortcutRecorder> recorder_;
    std::string refusal_;
    std::string desktopError_;
    std::vector<platform::DesktopShortcuts::Entry> desktopSeen_;  // the combinations last seen
};

}  // namespace orvane::gui
