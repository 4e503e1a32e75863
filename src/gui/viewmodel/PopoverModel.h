// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "displays/DisplayManager.h"
#include "gui/viewmodel/Debouncer.h"
#include "gui/viewmodel/DisplayCardModel.h"
#include "settings/PresetManager.h"

namespace orvane::gui {

/// What the popover shows and decides: the count line, the cards, the
/// presets area. Cards are made afresh whenever the registry's display list
/// changes. Main thread only.
class PopoverModel {
  public:
    /// The popover offers saving only below this many presets.
    static constexpr std::size_t kPresetLimit = 5;
    static constexpr const char* kEmptyTitle = "No displays detected";
    static constexpr const char* kEmptyText =
        "Connect an external display to get started.\nDisplays are detected automatically.";

    PopoverModel(std::shared_ptr<displays::DisplayManager> registry,
                 std::shared_ptr<settings::PresetManager> presets, runtime::Executor& main,
                 runtime::Clock& clock, runtime::Logger& log);
    ~PopoverModel();
    PopoverModel(const PopoverModel&) = delete;
    PopoverModel& operator=(const PopoverModel&) = delete;

    /// "0 displays", "1 display", "3 displays".
    std::string countLine() const;
    bool isEmpty() const { return cards_.empty(); }
    /// One per display, in the registry's order.
    const std::vector<std::shared_ptr<DisplayCardModel>>& cards() const { return cards_; }
    /// Called after the cards were made anew.
    std::function<void()> onCardsChanged;

    // Presets.
    bool showsPresets() const;
    std::vector<std::string> presetNames() const;
    std::optional<std::string> defaultPresetName() const;
    bool canSavePreset() const { return presetNames().size() < kPresetLimit; }
    /// "Save Preset" or "Limit reached", with its symbol.
    std::string saveButtonText() const;
    /// Under the presets: "Next: Evening at 21:02 (sunset-30)", the day's
    /// name first when it is not today; empty with nothing scheduled.
    std::string nextChangeLine() const;
    /// The wall clock the line is for; the presets' own when unset (pictures
    /// set a fixed one).
    std::function<double()> wallNow;
    const char* saveButtonSymbol() const;
    bool showingPresetSave = false;
    std::string newPresetName;
    /// Opens the save field; nothing at the limit.
    void beginSave();
    /// Saves under newPresetName; false (and nothing saved) while it is empty.
    bool submitSave();
    void cancelSave();
    void applyPreset(const std::string& name);
    void setDefaultPreset(const std::optional<std::string>& name);
    void deletePreset(const std::string& name);

  private:
    void rebuildCards();
    std::shared_ptr<settings::DisplayPreset> preset(const std::string& name) const;

    std::shared_ptr<displays::DisplayManager> registry_;
    std::shared_ptr<settings::PresetManager> presets_;
    std::shared_ptr<Debouncer> debouncer_;
    runtime::Executor& main_;
    runtime::Clock& clock_;
    runtime::Logger& log_;
    std::vector<std::shared_ptr<DisplayCardModel>> cards_;
    std::vector<std::shared_ptr<displays::DisplayState>> shownStates_;
    std::shared_ptr<void> observation_;
};

}  // namespace orvane::gui
