// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "controls/InputController.h"
#include "displays/DisplayManager.h"
#include "displays/DisplayMode.h"
#include "displays/DisplayState.h"
#include "gui/viewmodel/Debouncer.h"
#include "gui/viewmodel/Symbols.h"
#include "runtime/Clock.h"
#include "runtime/Logger.h"

namespace orvane::gui {

/// One slider of a card as drawn: symbol, label, the value and its texts.
struct SliderRowModel {
    std::string icon;
    std::string label;
    double value = 0;
    bool isEnabled = true;
    /// The lowest value the slider goes to.
    double minimum = 0;
    /// The whole number, then "%": "62%".
    std::string valueText() const;
    /// What a screen reader says: "62 percent".
    std::string accessibilityValue() const;
};

/// A label and its value in the information panel.
struct InfoRow {
    std::string label;
    std::string value;
    bool operator==(const InfoRow&) const = default;
};

/// A feature the monitor lists beyond the five controls, in the "More" panel:
/// a slider for a continuous one, a menu of the listed values for the rest.
struct FeatureRow {
    std::uint8_t code = 0;
    std::string label;
    bool continuous = true;
    std::uint16_t current = 0;
    std::uint16_t max = 0;
    /// The listed values and their names, for a menu.
    std::vector<std::pair<std::uint8_t, std::string>> choices;
    /// The slider's row: the value as a share of the monitor's maximum.
    SliderRowModel sliderRow() const;
    bool operator==(const FeatureRow&) const = default;
};

/// "now", "5 seconds ago", "1 minute ago", "yesterday", "3 days ago".
std::string relativeTimeText(runtime::Duration elapsed);

/// What one display's card shows and decides. Main thread only.
class DisplayCardModel {
  public:
    /// The built-in panel's lowest slider level, in percent.
    static constexpr double kPanelMinimum = 1.0;
    struct Context {
        std::shared_ptr<displays::DisplayManager> registry;
        std::shared_ptr<Debouncer> debouncer;
        runtime::Executor& main;
        runtime::Clock& clock;
        runtime::Logger& log;
    };

    /// Which parts of the expanded card exist.
    struct Rows {
        bool contrast = false;
        bool volume = false;
        bool resolutionAndProfile = false;
        /// The row with input, power and "Info" (DDC displays).
        bool controlRow = false;
        bool input = false;
        bool power = false;
        /// "Info" alone, for a display with neither DDC nor a panel of its own.
        bool infoAlone = false;
        bool softwareDimmingNote = false;
        /// "More": the features the monitor lists beyond these rows (DDC displays).
        bool more = false;
    };

    static constexpr const char* kSoftwareDimmingNote = "Software dimming - DDC not available";
    /// Where software dimming could not dim the display either.
    static constexpr const char* kNoDimmingNote = "No DDC - software dimming unavailable";
    /// The note under the rows: kNoDimmingNote once dimming has failed.
    const char* note() const;

    DisplayCardModel(std::shared_ptr<displays::DisplayState> state, Context context);

    const displays::DisplayState& state() const { return *state_; }
    /// Hears every change of the display's state while the token lives.
    [[nodiscard]] std::shared_ptr<void> observe(runtime::ChangeNotifier::Observer observer) {
        return state_->observe(std::move(observer));
    }
    DisplayID displayID() const { return state_->info.id; }

    std::string title() const { return state_->info.displayName(); }
    const char* iconSymbol() const { return displaySymbol(state_->info.isBuiltIn); }
    /// The green dot on the icon.
    bool showsDDCDot() const { return state_->info.ddcSupported; }
    ConnectionBadge badge() const { return connectionBadge(state_->info.connectionType); }
    bool isLoading() const { return state_->isLoading; }

    bool isExpanded = true;
    bool showingInfo = false;
    void toggleExpanded() { isExpanded = !isExpanded; }
    void toggleInfo() { showingInfo = !showingInfo; }
    const char* chevronSymbol() const { return isExpanded ? "chevron.up" : "chevron.down"; }

    Rows rows() const;
    SliderRowModel brightnessRow() const;
    SliderRowModel contrastRow() const;
    SliderRowModel volumeRow() const;

    // Sliders: the state changes at once; the display follows after the
    // debounce (software dimming and the built-in panel at once).
    void setBrightness(double value);
    void setContrast(double value);
    void setVolume(double value);

    /// Modes and the colour profile, read when the card is first shown.
    void load();
    const std::vector<displays::DisplayMode>& availableModes() const { return availableModes_; }
    const std::string& currentModeID() const { return currentModeID_; }
    const std::string& currentProfileName() const { return currentProfileName_; }
    /// "Color profile: " + the name.
    std::string profileHelpText() const { return "Color profile: " + currentProfileName_; }
    /// False (and the checkmark stays) when the switch failed.
    bool selectMode(const displays::DisplayMode& mode);

    /// Positions 0 to 7 of the input table, "VGA-1" through "S-Video-2".
    /// What the input menu offers: the whole input-source table.
    static std::vector<controls::InputSource> inputChoices();
    /// The input the monitor was last seen on; none when not known.
    std::optional<std::uint16_t> currentInput() const;
    std::optional<controls::InputSource> pendingInput;
    bool showInputConfirmation = false;
    void chooseInput(const controls::InputSource& source);
    static constexpr const char* kSwitchInputTitle = "Switch Input?";
    std::string inputConfirmationMessage() const;
    /// "Switch": starts the switch to the pending source.
    void confirmInput();
    /// "Cancel".
    void cancelInput();

    void togglePower();

    /// The "More" panel. Opening it the first time reads the monitor's
    /// capabilities and the features' values; onFeaturesChanged hears when
    /// they are in.
    bool showingMore = false;
    void toggleMore();
    enum class FeaturesStatus { notRead, reading, read, unavailable };
    FeaturesStatus featuresStatus() const { return features_->status; }
    const std::vector<FeatureRow>& featureRows() const { return features_->rows; }
    /// What the panel says instead of rows: reading, none listed, no list.
    std::string featuresNote() const;
    void setOnFeaturesChanged(std::function<void()> changed) {
        features_->changed = std::move(changed);
    }
    /// A slider moved to percent of the feature's maximum (debounced).
    void setFeaturePercent(std::uint8_t code, double percent);
    /// A value chosen from the feature's menu.
    void chooseFeatureValue(std::uint8_t code, std::uint8_t value);

    /// The information panel's rows, in order, absent values left out.
    std::vector<InfoRow> infoRows() const;

  private:
    const displays::DisplayRecord* record() const;

    /// Shared with the read in flight, which may outlast the card.
    struct Features {
        FeaturesStatus status = FeaturesStatus::notRead;
        std::vector<FeatureRow> rows;
        std::function<void()> changed;
    };
    static runtime::Task<void> readFeatures(std::shared_ptr<Features> features,
                                            std::shared_ptr<displays::DisplayManager> registry,
                                            std::shared_ptr<displays::DisplayState> state);
    FeatureRow* featureRow(std::uint8_t code);

    std::shared_ptr<displays::DisplayState> state_;
    Context c_;
    std::shared_ptr<Features> features_ = std::make_shared<Features>();
    std::vector<displays::DisplayMode> availableModes_;
    std::string currentModeID_;
    std::string currentProfileName_;
};

}  // namespace orvane::gui
