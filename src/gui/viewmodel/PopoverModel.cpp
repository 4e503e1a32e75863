// SPDX-License-Identifier: MIT
#include "gui/viewmodel/PopoverModel.h"

#include <time.h>

#include <ctime>

#include <algorithm>

#include "runtime/Spawn.h"
#include "settings/AppSettings.h"

namespace orvane::gui {

PopoverModel::PopoverModel(std::shared_ptr<displays::DisplayManager> registry,
                           std::shared_ptr<settings::PresetManager> presets,
                           runtime::Executor& main, runtime::Clock& clock, runtime::Logger& log)
    : registry_(std::move(registry)),
      presets_(std::move(presets)),
      debouncer_(std::make_shared<Debouncer>(main)),
      main_(main),
      clock_(clock),
      log_(log) {
    rebuildCards();
    observation_ = registry_->observe([this](std::string_view) {
        // Only a new display list makes new cards; a value change keeps them.
        if (registry_->displays() != shownStates_) {
            rebuildCards();
            if (onCardsChanged) onCardsChanged();
        }
    });
}

PopoverModel::~PopoverModel() = default;

void PopoverModel::rebuildCards() {
    shownStates_ = registry_->displays();
    cards_.clear();
    for (const auto& state : shownStates_) {
        cards_.push_back(std::make_shared<DisplayCardModel>(
            state, DisplayCardModel::Context{registry_, debouncer_, main_, clock_, log_}));
    }
}

std::string PopoverModel::countLine() const {
    const auto n = registry_->displays().size();
    return std::to_string(n) + " display" + (n == 1 ? "" : "s");
}

bool PopoverModel::showsPresets() const {
    return !registry_->externalDisplays().empty();
}

std::vector<std::string> PopoverModel::presetNames() const {
    std::vector<std::string> names;
    for (const auto& p : presets_->presets())
        names.push_back(p->name());
    return names;
}

std::optional<std::string> PopoverModel::defaultPresetName() const {
    if (!presets_->modelContext) return std::nullopt;
    return settings::fetchOrCreateSettings(*presets_->modelContext)->defaultPresetName();
}

std::string PopoverModel::saveButtonText() const {
    return canSavePreset() ? "Save Preset" : "Limit reached";
}

const char* PopoverModel::saveButtonSymbol() const {
    return canSavePreset() ? "plus.circle" : "xmark.circle";
}

void PopoverModel::beginSave() {
    if (canSavePreset()) showingPresetSave = true;
}

bool PopoverModel::submitSave() {
    if (newPresetName.empty() || !canSavePreset()) return false;
    presets_->savePreset(newPresetName);
    newPresetName.clear();
    showingPresetSave = false;
    return true;
}

void PopoverModel::cancelSave() {
    showingPresetSave = false;
    newPresetName.clear();
}

std::shared_ptr<settings::DisplayPreset> PopoverModel::preset(const std::string& name) const {
    for (auto& p : presets_->presets()) {
        if (p->name() == name) return p;
    }
    return nullptr;
}

void PopoverModel::applyPreset(const std::string& name) {
    if (auto p = preset(name)) runtime::spawnRetaining(main_, presets_, presets_->apply(p));
}

void PopoverModel::setDefaultPreset(const std::optional<std::string>& name) {
    presets_->setDefault(name);
}

void PopoverModel::deletePreset(const std::string& name) {
    if (auto p = preset(name)) presets_->remove(p);
}

std::string PopoverModel::nextChangeLine() const {
    const double now = wallNow ? wallNow() : presets_->now();
    const auto change = presets_->nextChange(now);
    if (!change) return {};
    const auto at = static_cast<time_t>(change->at);
    const auto today = static_cast<time_t>(now);
    tm when{};
    tm day{};
    if (!localtime_r(&at, &when) || !localtime_r(&today, &day)) return {};
    char time[32];
    std::strftime(time, sizeof time, "%H:%M", &when);
    std::string on;
    if (when.tm_yday != day.tm_yday || when.tm_year != day.tm_year) {
        char weekday[32];
        std::strftime(weekday, sizeof weekday, "%A ", &when);
        on = weekday;
    }
    std::string line = "Next: " + change->preset->name() + " " + on + "at " + time;
    if (change->when.followsTheSun()) line += " (" + change->when.text() + ")";
    return line;
}

}  // namespace orvane::gui
