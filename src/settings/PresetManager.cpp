// SPDX-License-Identifier: MIT
#include "settings/PresetManager.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "controls/InputController.h"
#include "ddc/MCCSNames.h"
#include "displays/DisplayKey.h"
#include "displays/ResolutionManager.h"
#include "runtime/Format.h"
#include "runtime/Percent.h"
#include "settings/AppSettings.h"

namespace orvane::settings {

using runtime::clampPercent;

namespace {
StoreDate wallClock() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}
}  // namespace

PresetManager::PresetManager(std::shared_ptr<displays::DisplayManager> registry,
                             runtime::Logger& log, std::function<StoreDate()> now)
    : registry_(std::move(registry)), log_(log), now_(now ? std::move(now) : wallClock) {}

std::optional<std::string> PresetManager::saveQuietly() {
    if (!modelContext) return std::nullopt;
    try {
        modelContext->save();
    } catch (const store::StoreError& e) {
        // The change stays pending for the next save.
        return std::string(e.what());
    }
    return std::nullopt;
}

std::vector<std::shared_ptr<DisplayPreset>> PresetManager::presets() const {
    if (!modelContext) return {};
    try {
        return modelContext->fetch<DisplayPreset>(&DisplayPreset::bySortOrder);
    } catch (const store::StoreError&) {
        return {};
    }
}

void PresetManager::savePreset(const std::string& name) {
    if (!modelContext) {
        log_.line("[PresetManager] No model context - can't save preset");
        return;
    }
    const auto n = static_cast<std::int64_t>(presets().size());
    auto preset = std::make_shared<DisplayPreset>(name, now_(), n);
    auto& platform = registry_->services().platform;
    std::vector<DisplayPresetEntry> entries;
    for (const auto& state : registry_->displays()) {
        const auto& info = state->info;
        DisplayPresetEntry e;
        e.displayKey = registry_->displayKey(*state);
        e.displayName = info.displayName();
        e.brightness = state->brightness.get();
        if (state->supportsContrast) e.contrast = state->contrast.get();
        if (state->supportsVolume) e.volume = state->volume.get();
        if (state->supportsInputSwitching) {
            const auto* record = registry_->record(info.id);
            if (record && record->input && record->input->currentInput() != 0)
                e.inputSource = record->input->currentInput();
        }
        e.resolutionWidth = runtime::integerPart(info.currentResolution.width);
        e.resolutionHeight = runtime::integerPart(info.currentResolution.height);
        if (std::isfinite(info.refreshRate)) e.refreshRate = info.refreshRate;
        if (auto mode = platform.windowServer.currentMode(info.id))
            e.isHiDPI = mode->pixelWidth > mode->width;
        e.features = registry_->knownFeatureValues(*state);
        entries.push_back(std::move(e));
    }
    preset->setEntries(entries);
    if (!preset->entriesJSON()) {
        // Stored without its entries it would restore nothing under the user's name.
        log_.line("[PresetManager] Could not encode preset '" + name + "' - not saved");
        return;
    }
    modelContext->insert(preset);
    if (const auto error = saveQuietly()) {
        // Never "saved" for what a crash would lose.
        log_.line("[PresetManager] Could not save preset '" + name + "' yet: " + *error +
                  " - it is saved with the next change");
        return;
    }
    log_.line("[PresetManager] Saved preset '" + name + "' with " + std::to_string(entries.size()) +
              " display(s)");
}

runtime::Task<void> PresetManager::apply(std::shared_ptr<DisplayPreset> preset) {
    auto registry = registry_;  // the registry outlives the awaits below
    const displays::ResolutionManager resolutions(registry->services().platform.windowServer, log_);
    for (const auto& entry : preset->entries()) {
        std::shared_ptr<displays::DisplayState> state;
        for (const auto& s : registry->displays()) {
            if (registry->displayKey(*s) == entry.displayKey) {
                state = s;
                break;
            }
        }
        if (!state) {
            log_.line("[PresetManager] Display '" + entry.displayName +
                      "' not connected - skipping");
            continue;
        }
        const DisplayID d = state->info.id;
        // A stored document may hold any number; the displays take 0...100.
        if (entry.brightness)
            co_await registry->writeBrightness(d, clampPercent(*entry.brightness));
        if (entry.contrast) {
            if (auto write = registry->contrastWrite(*state, *entry.contrast))
                co_await std::move(*write);
        }
        if (entry.volume) {
            const double v = clampPercent(*entry.volume);
            state->volume = v;
            if (auto write = registry->volumeWrite(*state, v)) co_await std::move(*write);
        }
        if (entry.inputSource) {
            const auto source = controls::InputSource::fromRaw(*entry.inputSource);
            if (auto write = registry->inputWrite(*state, source)) co_await std::move(*write);
        }
        if (!entry.features.empty()) {
            // Only what the monitor lists now, with a value it permits.
            const auto caps = registry->knownCapabilities(*state);
            for (const auto& [code, value] : entry.features) {
                const auto* f = caps ? caps->feature(code) : nullptr;
                if (!f || (!f->values.empty() && std::find(f->values.begin(), f->values.end(),
                                                           value) == f->values.end())) {
                    log_.line("[PresetManager] '" + entry.displayName + "' does not list " +
                              ddc::featureLabel(code) + " = " + std::to_string(value) +
                              " - skipping");
                    continue;
                }
                if (auto write = registry->featureWrite(*state, code, value))
                    co_await std::move(*write);
            }
        }
        if (entry.resolutionWidth && entry.resolutionHeight && entry.refreshRate) {
            resolutions.setMode(d, *entry.resolutionWidth, *entry.resolutionHeight,
                                entry.isHiDPI.value_or(false), *entry.refreshRate);
        }
        log_.line("[PresetManager] Restored '" + entry.displayName + "' from preset '" +
                  preset->name() + "'");
    }
    preset->setLastUsedAt(now_());
    saveQuietly();
}

runtime::Task<void> PresetManager::applyDefaultPreset() {
    if (!modelContext) co_return;
    const auto name = fetchOrCreateSettings(*modelContext)->defaultPresetName();
    if (!name) co_return;
    for (const auto& preset : presets()) {
        if (preset->name() == *name) {
            log_.line("[PresetManager] Applying default preset '" + *name + "' on launch");
            co_await apply(preset);
            co_return;
        }
    }
    log_.line("[PresetManager] Default preset '" + *name + "' not found - skipping");
}

void PresetManager::setDefault(const std::optional<std::string>& name) {
    if (!modelContext) return;
    fetchOrCreateSettings(*modelContext)->setDefaultPresetName(name);
    if (const auto error = saveQuietly()) {
        log_.line("[PresetManager] Could not save the default preset yet: " + *error +
                  " - it is saved with the next change");
        return;
    }
    log_.line(name ? "[PresetManager] Default preset set to '" + *name + "'"
                   : std::string("[PresetManager] Default preset cleared"));
}

std::shared_ptr<DisplayPreset> PresetManager::preset(const std::string& name) const {
    const auto wanted = runtime::lowercased(name);
    for (auto& p : presets()) {
        if (runtime::lowercased(p->name()) == wanted) return p;
    }
    return nullptr;
}

bool PresetManager::setSchedule(DisplayPreset& preset,
                                const std::optional<schedule::PresetSchedule>& when) {
    if (!modelContext) return false;
    if (when && when->followsTheSun() && !location()) {
        log_.line("[PresetManager] '" + preset.name() + "' at " + when->text() +
                  " needs a location: orvane://location?latitude=...&longitude=...");
        return false;
    }
    preset.setSchedule(when);
    if (const auto error = saveQuietly()) {
        log_.line("[PresetManager] Could not save the schedule yet: " + *error +
                  " - it is saved with the next change");
        return false;
    }
    log_.line(when ? "[PresetManager] '" + preset.name() + "' comes into force each day at " +
                         when->text()
                   : "[PresetManager] '" + preset.name() + "' is no longer scheduled");
    return true;
}

bool PresetManager::setLocation(const std::optional<schedule::Location>& where) {
    if (!modelContext) return false;
    fetchOrCreateSettings(*modelContext)->setLocation(where);
    if (const auto error = saveQuietly()) {
        log_.line("[PresetManager] Could not save the location yet: " + *error +
                  " - it is saved with the next change");
        return false;
    }
    char text[64];
    if (where) std::snprintf(text, sizeof text, "%.4f, %.4f", where->latitude, where->longitude);
    log_.line(where ? "[PresetManager] Sun times are for " + std::string(text)
                    : std::string("[PresetManager] Location cleared"));
    return true;
}

std::optional<schedule::Location> PresetManager::location() const {
    if (!modelContext) return std::nullopt;
    return fetchOrCreateSettings(*modelContext)->location();
}

std::optional<PresetManager::ScheduledChange> PresetManager::inForce(StoreDate now) const {
    return scheduledChange(now, false);
}

std::optional<PresetManager::ScheduledChange> PresetManager::nextChange(StoreDate now) const {
    return scheduledChange(now, true);
}

std::optional<PresetManager::ScheduledChange> PresetManager::scheduledChange(StoreDate now,
                                                                             bool next) const {
    std::optional<ScheduledChange> best;
    const auto where = location();
    for (auto& p : presets()) {
        const auto when = p->schedule();
        if (!when) continue;
        const auto at = next ? schedule::nextMoment(*when, now, where)
                             : schedule::lastMoment(*when, now, where);
        if (at && (!best || (next ? *at < best->at : *at > best->at)))
            best = ScheduledChange{p, *when, *at};
    }
    return best;
}

void PresetManager::remove(const std::shared_ptr<DisplayPreset>& preset) {
    if (!modelContext) return;
    if (fetchOrCreateSettings(*modelContext)->defaultPresetName() == preset->name())
        setDefault(std::nullopt);
    modelContext->remove(preset);
    saveQuietly();
}

}  // namespace orvane::settings
