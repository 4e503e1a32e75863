// SPDX-License-Identifier: MIT
#include "gui/viewmodel/SettingsModel.h"

namespace orvane::gui {

SettingsModel::SettingsModel(Services services)
    : s_(std::move(services)),
      recorder_(std::make_unique<input::ShortcutRecorder>(*s_.registry->shortcutManager(),
                                                          s_.bindings, s_.keys)) {
    formatCombo = [this](const input::KeyCombo& combo) {
        return combo.displayString(s_.registry->services().platform.keyboardLayout);
    };
    recorder_->onRefused = [this](input::ShortcutAction, const input::KeyCombo& combo) {
        refusal_ = formatCombo(combo) +
                   " is taken by another shortcut or program - try another combination.";
    };
}

SettingsModel::~SettingsModel() = default;

void SettingsModel::load() {
    settings_ = settings::fetchOrCreateSettings(s_.context);
    s_.sync.isEnabled = settings_->brightnessSyncEnabled();
    desktopSeen_ = desktopEntries();
}

void SettingsModel::save() {
    try {
        s_.context.save();
    } catch (const store::StoreError&) {
        // Kept pending in the context: the next save writes it.
    }
}

void SettingsModel::setLaunchAtLogin(bool on) {
    const auto error = on ? s_.loginItems.registerApp() : s_.loginItems.unregisterApp();
    if (error) s_.log.line("[SettingsView] Failed to set launch at login: " + *error);
    settings_->setLaunchAtLogin(on);
    save();
}

void SettingsModel::setShowOSD(bool on) {
    settings_->setShowOSD(on);
    save();
}

void SettingsModel::setBrightnessStep(double step) {
    settings_->setBrightnessStep(step);
    save();
}

void SettingsModel::setVolumeStep(double step) {
    settings_->setVolumeStep(step);
    save();
}

void SettingsModel::setInterceptBrightnessKeys(bool on) {
    // The application follows the record into the interceptor.
    settings_->setInterceptBrightnessKeys(on);
    save();
}

void SettingsModel::setInterceptVolumeKeys(bool on) {
    settings_->setInterceptVolumeKeys(on);
    save();
}

std::vector<SettingsModel::ShortcutRow> SettingsModel::shortcutRows() const {
    std::vector<ShortcutRow> rows;
    const auto& bindings = s_.registry->shortcutManager()->bindings();
    for (auto action : input::kAllShortcutActions) {
        ShortcutRow row{action, std::string(input::label(action)), "Not set", false, false};
        row.recording = recorder_->recordingAction() == action;
        if (auto it = bindings.find(action); it != bindings.end()) {
            row.hasCombination = true;
            row.text = formatCombo(it->second);
        }
        if (row.recording) row.text = "Press shortcut\u2026";
        rows.push_back(std::move(row));
    }
    return rows;
}

void SettingsModel::startRecording(input::ShortcutAction action) {
    refusal_.clear();
    recorder_->startRecording(action);
}

void SettingsModel::stopRecording() {
    recorder_->stopRecording();
}

void SettingsModel::clearShortcut(input::ShortcutAction action) {
    recorder_->clear(action);
}

namespace {
platform::DesktopShortcuts* desktopShortcuts(const displays::DisplayManager& registry) {
    return registry.services().platform.desktopShortcuts;
}
}  // namespace

std::string SettingsModel::desktopShortcutsPlace() const {
    const auto* desktop = desktopShortcuts(*s_.registry);
    return desktop ? desktop->place() : std::string();
}

bool SettingsModel::desktopShortcutsAdded() const {
    auto* desktop = desktopShortcuts(*s_.registry);
    return desktop && !desktop->installed().empty();
}

std::vector<platform::DesktopShortcuts::Entry> SettingsModel::desktopEntries() const {
    std::vector<platform::DesktopShortcuts::Entry> entries;
    const auto& bindings = s_.registry->shortcutManager()->bindings();
    for (auto action : input::kAllShortcutActions) {
        platform::DesktopShortcuts::Entry entry{input::keyCommand(action),
                                                "Orvane: " + std::string(input::label(action))};
        if (auto it = bindings.find(action); it != bindings.end()) {
            entry.keyCode = it->second.keyCode;
            entry.modifiers = it->second.modifiers;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

bool SettingsModel::setDesktopShortcutsAdded(bool added) {
    auto* desktop = desktopShortcuts(*s_.registry);
    if (!desktop) return false;
    desktopError_.clear();
    auto entries = added ? desktopEntries() : std::vector<platform::DesktopShortcuts::Entry>{};
    if (!desktop->write(entries, desktopError_)) {
        s_.log.line("[SettingsView] Could not change " + desktop->place() + ": " + desktopError_);
        return false;
    }
    s_.log.line(std::string("[SettingsView] ") +
                (added ? "Added Orvane's shortcuts to " : "Removed Orvane's shortcuts from ") +
                desktop->place());
    desktopSeen_ = desktopEntries();
    return true;
}

void SettingsModel::syncDesktopShortcuts() {
    // Only a combination changed here is written there: one the user
    // rebound in the desktop's settings stays as they set it.
    auto entries = desktopEntries();
    if (entries == desktopSeen_) return;
    desktopSeen_ = std::move(entries);
    if (desktopShortcutsAdded()) setDesktopShortcutsAdded(true);
}

void SettingsModel::setSyncEnabled(bool on) {
    settings_->setBrightnessSyncEnabled(on);
    s_.sync.isEnabled = on;
    save();
}

SettingsModel::LinkedDisplays SettingsModel::linkedDisplays() const {
    if (!syncEnabled()) return LinkedDisplays::hidden;
    const auto n = s_.registry->externalDisplays().size();
    return n == 0 ? LinkedDisplays::none : n == 1 ? LinkedDisplays::one : LinkedDisplays::list;
}

std::string SettingsModel::linkedDisplaysText() const {
    switch (linkedDisplays()) {
        case LinkedDisplays::none:
            return "No external displays connected.";
        case LinkedDisplays::one:
            return "Connect at least two external displays to use sync.";
        default:
            return {};
    }
}

std::vector<std::pair<std::shared_ptr<displays::DisplayState>, bool>> SettingsModel::linkRows()
    const {
    std::vector<std::pair<std::shared_ptr<displays::DisplayState>, bool>> rows;
    if (linkedDisplays() != LinkedDisplays::list) return rows;
    for (const auto& state : s_.registry->externalDisplays())
        rows.emplace_back(state, s_.sync.isLinked(state->info.id));
    return rows;
}

void SettingsModel::setLinked(DisplayID display, bool linked) {
    if (linked) {
        s_.sync.link(display);
        return;
    }
    // No explicit links means every display is linked: taking one out keeps
    // the others in, or the switch would spring back on.
    if (s_.sync.linkedDisplayIDs.empty()) {
        for (const auto& state : s_.registry->externalDisplays())
            s_.sync.link(state->info.id);
    }
    s_.sync.unlink(display);
}

std::vector<SettingsModel::ScheduleRow> SettingsModel::scheduleRows() const {
    std::vector<ScheduleRow> rows;
    if (!s_.presets) return rows;
    for (const auto& p : s_.presets->presets())
        rows.push_back({p->name(), p->schedule()});
    return rows;
}

bool SettingsModel::setSchedule(const std::string& preset,
                                const std::optional<schedule::PresetSchedule>& when) {
    scheduleError_.clear();
    auto p = s_.presets ? s_.presets->preset(preset) : nullptr;
    if (!p) return false;
    if (when && when->followsTheSun() && !location()) {
        scheduleError_ = kNeedsLocation;
        return false;
    }
    return s_.presets->setSchedule(*p, when);
}

std::optional<schedule::Location> SettingsModel::location() const {
    return s_.presets ? s_.presets->location() : std::nullopt;
}

bool SettingsModel::setLocation(const std::optional<schedule::Location>& where) {
    scheduleError_.clear();
    return s_.presets && s_.presets->setLocation(where);
}

}  // namespace orvane::gui
