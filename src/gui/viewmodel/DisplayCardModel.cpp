// SPDX-License-Identifier: MIT
#include "gui/viewmodel/DisplayCardModel.h"

#include <algorithm>

#include <cstdio>

#include "controls/ColorProfileManager.h"
#include "controls/SoftwareDimmer.h"
#include "ddc/MCCSNames.h"
#include "displays/ResolutionManager.h"
#include "runtime/Format.h"
#include "runtime/Percent.h"
#include "runtime/Spawn.h"

namespace orvane::gui {

using displays::DisplayMode;
using runtime::integerPart;

std::string SliderRowModel::valueText() const {
    return std::to_string(integerPart(value)) + "%";
}

std::string SliderRowModel::accessibilityValue() const {
    return std::to_string(integerPart(value)) + " percent";
}

std::string relativeTimeText(runtime::Duration elapsed) {
    using namespace std::chrono;
    const auto s = duration_cast<seconds>(elapsed).count();
    auto unit = [](long long n, const char* name) {
        return std::to_string(n) + " " + name + (n == 1 ? "" : "s") + " ago";
    };
    if (s < 1) return "now";
    if (s < 60) return unit(s, "second");
    if (s < 3600) return unit(s / 60, "minute");
    if (s < 86400) return unit(s / 3600, "hour");
    if (s < 2 * 86400) return "yesterday";
    return unit(s / 86400, "day");
}

DisplayCardModel::DisplayCardModel(std::shared_ptr<displays::DisplayState> state, Context context)
    : state_(std::move(state)), c_(std::move(context)) {}

const displays::DisplayRecord* DisplayCardModel::record() const {
    return c_.registry->record(state_->info.id);
}

DisplayCardModel::Rows DisplayCardModel::rows() const {
    const auto& info = state_->info;
    Rows r;
    r.contrast = state_->supportsContrast;
    r.volume = state_->supportsVolume;
    r.resolutionAndProfile = !info.isBuiltIn;
    r.controlRow = info.ddcSupported;
    r.input = info.ddcSupported && state_->supportsInputSwitching;
    r.power = info.ddcSupported && state_->supportsPowerControl;
    r.infoAlone = !info.ddcSupported && !info.isBuiltIn;
    r.softwareDimmingNote = !info.ddcSupported;
    r.more = info.ddcSupported;
    return r;
}

const char* DisplayCardModel::note() const {
    return brightnessRow().isEnabled ? kSoftwareDimmingNote : kNoDimmingNote;
}

SliderRowModel DisplayCardModel::brightnessRow() const {
    // Without DDC, a dimmer that could not dim this display leaves nothing to move.
    const auto* entry = record();
    const bool unavailable = entry && entry->brightness && !entry->brightness->hasDDC() &&
                             entry->dimmer && entry->dimmer->unavailable();
    SliderRowModel row{brightnessSymbol(state_->brightness), "Brightness", state_->brightness,
                       !unavailable};
    // Many panels switch off at a backlight of 0: the slider stops above it.
    if (state_->info.isBuiltIn) row.minimum = kPanelMinimum;
    return row;
}
SliderRowModel DisplayCardModel::contrastRow() const {
    return {"circle.righthalf.filled", "Contrast", state_->contrast, true};
}
SliderRowModel DisplayCardModel::volumeRow() const {
    return {volumeSymbol(state_->volume), "Volume", state_->volume, true};
}

void DisplayCardModel::setBrightness(double value) {
    state_->brightness = value;
    const auto* entry = record();
    if (!entry || !entry->brightness) return;
    const auto id = state_->info.id;
    if (state_->info.isBuiltIn) {
        // The panel has a backlight of its own; an overlay is only its fallback.
        value = std::max(value, kPanelMinimum);
        state_->brightness = value;
        runtime::spawn(c_.main, c_.registry->writeBrightness(id, value));
        return;
    }
    if (!entry->brightness->hasDDC()) {
        const double level = controls::SoftwareDimmer::levelForBrightness(value);
        if (entry->dimmer->applyLevel(level)) {
            state_->softwareDimmingLevel = level;
        } else {
            state_->brightness = entry->brightness->shownBrightness();
        }
        return;
    }
    auto registry = c_.registry;
    c_.debouncer->debounce("bri-" + std::to_string(id),
                           [registry, id, value]() -> runtime::Task<void> {
                               co_await registry->writeBrightness(id, value);
                           });
}

void DisplayCardModel::setContrast(double value) {
    state_->contrast = value;
    auto registry = c_.registry;
    auto state = state_;
    c_.debouncer->debounce("con-" + std::to_string(state_->info.id),
                           [registry, state, value]() -> runtime::Task<void> {
                               if (auto write = registry->contrastWrite(*state, value))
                                   co_await std::move(*write);
                           });
}

void DisplayCardModel::setVolume(double value) {
    state_->volume = value;
    auto registry = c_.registry;
    auto state = state_;
    c_.debouncer->debounce("vol-" + std::to_string(state_->info.id),
                           [registry, state, value]() -> runtime::Task<void> {
                               // The controller in charge when the delay is up.
                               if (auto write = registry->volumeWrite(*state, value))
                                   co_await std::move(*write);
                           });
}

void DisplayCardModel::load() {
    auto& platform = c_.registry->services().platform;
    const auto id = state_->info.id;
    availableModes_ =
        displays::ResolutionManager(platform.windowServer, c_.log).availableModes(id, false);
    currentModeID_.clear();
    if (auto mode = platform.windowServer.currentMode(id)) {
        currentModeID_ = DisplayMode{static_cast<std::int64_t>(mode->width),
                                     static_cast<std::int64_t>(mode->height), mode->refreshRate,
                                     mode->pixelWidth > mode->width}
                             .id();
    }
    currentProfileName_ =
        controls::ColorProfileManager(platform.windowToolkit, platform.fileSystem).profileName(id);
}

bool DisplayCardModel::selectMode(const DisplayMode& mode) {
    auto& platform = c_.registry->services().platform;
    if (!displays::ResolutionManager(platform.windowServer, c_.log)
             .setMode(state_->info.id, mode.width, mode.height, mode.isHiDPI, mode.refreshRate))
        return false;
    currentModeID_ = mode.id();
    return true;
}

std::vector<controls::InputSource> DisplayCardModel::inputChoices() {
    // The whole table: today's monitors have DisplayPort and HDMI inputs,
    // which come after the first eight.
    const auto& all = controls::InputSource::all();
    return {all.begin(), all.end()};
}

std::optional<std::uint16_t> DisplayCardModel::currentInput() const {
    const auto* entry = record();
    if (!entry || !entry->input || !entry->input->currentInput()) return std::nullopt;
    return entry->input->currentInput();
}

void DisplayCardModel::chooseInput(const controls::InputSource& source) {
    pendingInput = source;
    showInputConfirmation = true;
}

std::string DisplayCardModel::inputConfirmationMessage() const {
    return "Switch to " + (pendingInput ? pendingInput->name : std::string("this input")) +
           "? If this input isn't connected, you may need to use the monitor's physical buttons "
           "to switch back.";
}

void DisplayCardModel::confirmInput() {
    showInputConfirmation = false;
    if (!pendingInput) return;
    if (auto write = c_.registry->inputWrite(*state_, *pendingInput))
        runtime::spawn(c_.main, std::move(*write));
}

void DisplayCardModel::cancelInput() {
    showInputConfirmation = false;
    pendingInput.reset();
}

void DisplayCardModel::togglePower() {
    if (auto write = c_.registry->powerWrite(*state_, std::nullopt))
        runtime::spawn(c_.main, std::move(*write));
}

SliderRowModel FeatureRow::sliderRow() const {
    const double percent = max ? 100.0 * std::min(current, max) / max : 0.0;
    return SliderRowModel{"slider.horizontal.3", label, percent, max > 0};
}

void DisplayCardModel::toggleMore() {
    showingMore = !showingMore;
    if (!showingMore || features_->status != FeaturesStatus::notRead) return;
    features_->status = FeaturesStatus::reading;
    runtime::spawn(c_.main, readFeatures(features_, c_.registry, state_));
}

runtime::Task<void> DisplayCardModel::readFeatures(
    std::shared_ptr<Features> features, std::shared_ptr<displays::DisplayManager> registry,
    std::shared_ptr<displays::DisplayState> state) {
    const auto caps = co_await registry->capabilities(state->info.id);
    std::vector<FeatureRow> rows;
    if (caps) {
        for (const auto& f : caps->features) {
            if (!ddc::mccsAdjustable(f.code)) continue;
            // A feature that does not answer has nothing to show.
            const auto value = co_await registry->featureRead(*state, f.code);
            if (!value) continue;
            FeatureRow row{f.code,           ddc::featureLabel(f.code),
                           f.values.empty(), value->current,
                           value->max,       {}};
            for (auto v : f.values)
                row.choices.emplace_back(v, ddc::valueLabel(f.code, v));
            rows.push_back(std::move(row));
        }
    }
    features->rows = std::move(rows);
    features->status = caps ? FeaturesStatus::read : FeaturesStatus::unavailable;
    if (features->changed) features->changed();
}

std::string DisplayCardModel::featuresNote() const {
    switch (features_->status) {
        case FeaturesStatus::notRead:
        case FeaturesStatus::reading:
            return "Reading the monitor's features...";
        case FeaturesStatus::unavailable:
            return "The monitor sent no list of its features";
        case FeaturesStatus::read:
            break;
    }
    return features_->rows.empty() ? "No other features to adjust" : "";
}

FeatureRow* DisplayCardModel::featureRow(std::uint8_t code) {
    auto& rows = features_->rows;
    auto it = std::find_if(rows.begin(), rows.end(), [&](const auto& r) { return r.code == code; });
    return it == rows.end() ? nullptr : &*it;
}

void DisplayCardModel::setFeaturePercent(std::uint8_t code, double percent) {
    auto* row = featureRow(code);
    if (!row || !row->continuous || !row->max) return;
    const auto value =
        static_cast<std::uint16_t>(std::lround(runtime::clampPercent(percent) / 100.0 * row->max));
    row->current = value;
    auto registry = c_.registry;
    auto state = state_;
    c_.debouncer->debounce("vcp-" + std::to_string(code) + "-" + std::to_string(state_->info.id),
                           [registry, state, code, value]() -> runtime::Task<void> {
                               if (auto write = registry->featureWrite(*state, code, value))
                                   co_await std::move(*write);
                           });
}

void DisplayCardModel::chooseFeatureValue(std::uint8_t code, std::uint8_t value) {
    auto* row = featureRow(code);
    if (!row || row->continuous) return;
    if (std::none_of(row->choices.begin(), row->choices.end(),
                     [&](const auto& c) { return c.first == value; }))
        return;
    row->current = value;
    if (auto write = c_.registry->featureWrite(*state_, code, value))
        runtime::spawn(c_.main, std::move(*write));
}

std::vector<InfoRow> DisplayCardModel::infoRows() const {
    const auto& info = state_->info;
    auto hex = [](std::uint32_t v) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%04X", v);
        return std::string(buf);
    };
    auto size = [](const displays::Size& s) {
        return std::to_string(integerPart(s.width)) + "\u00d7" +
               std::to_string(integerPart(s.height));
    };
    std::vector<InfoRow> rows{{"Connection", connectionBadge(info.connectionType).name},
                              {"Vendor ID", hex(info.vendorID)},
                              {"Product ID", hex(info.productID)}};
    if (info.serialNumber) rows.push_back({"Serial", *info.serialNumber});
    rows.push_back({"Native Resolution", size(info.nativeResolution)});
    rows.push_back({"Current Resolution", size(info.currentResolution)});
    rows.push_back({"Refresh Rate", std::to_string(integerPart(info.refreshRate)) + " Hz"});
    rows.push_back({"DDC", info.ddcSupported ? "Connected" : "Not available"});
    std::string controls;
    for (auto [supported, name] : {std::pair{state_->supportsBrightness.get(), "Brightness"},
                                   {state_->supportsContrast.get(), "Contrast"},
                                   {state_->supportsVolume.get(), "Volume"},
                                   {state_->supportsInputSwitching.get(), "Input"},
                                   {state_->supportsPowerControl.get(), "Power"}}) {
        if (supported) controls += (controls.empty() ? "" : ", ") + std::string(name);
    }
    if (!controls.empty()) rows.push_back({"DDC Controls", controls});
    if (const auto& read = state_->lastDDCRead.get())
        rows.push_back({"Last DDC Read", relativeTimeText(c_.clock.now() - *read)});
    rows.push_back({"Color Profile", currentProfileName_});
    return rows;
}

}  // namespace orvane::gui
