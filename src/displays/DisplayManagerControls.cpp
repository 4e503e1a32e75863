// SPDX-License-Identifier: MIT
// DisplayManager's per-display operations: the one write path of each level
// (brightness, contrast, volume, input, power) that keys, URL commands,
// presets and the popover share, and the key and shortcut actions over them.
#include <algorithm>
#include <type_traits>

#include "displays/DisplayManager.h"
#include "runtime/Format.h"
#include "runtime/Percent.h"
#include "runtime/Spawn.h"

namespace orvane::displays {

using runtime::clampPercent;

void DisplayManager::refreshExternalDisplayFlag() {
    mediaKeyInterceptor_->setHasExternalDisplays(!externalDisplays().empty());
}

void DisplayManager::setupMediaKeys() {
    refreshExternalDisplayFlag();
    std::weak_ptr<DisplayManager> weak = weak_from_this();
    auto& interceptor = *mediaKeyInterceptor_;
    // The interceptor calls these from its own main-executor task, never inside the tap.
    interceptor.onBrightnessKey = [weak](double delta) {
        if (auto self = weak.lock()) self->adjustBrightness(delta, false);
    };
    interceptor.onVolumeKey = [weak](double delta) {
        if (auto self = weak.lock()) self->adjustVolume(delta);
    };
    interceptor.onMuteKey = [weak] {
        if (auto self = weak.lock()) self->toggleMute();
    };
    interceptor.start();
}

void DisplayManager::adjustBrightness(double delta, bool includeBuiltIn) {
    for (const auto& state : externalDisplays()) {
        const DisplayID d = state->info.id;
        const auto* entry = record(d);
        if (!entry || !entry->brightness) continue;
        noteUserAction(d);
        const double b = clampPercent(state->brightness + delta);
        state->brightness = b;
        if (entry->brightness->hasDDC()) {
            runtime::spawnRetaining(main_, shared_from_this(),
                                    applyBrightness(state, entry->brightness, b, false));
        } else if (!entry->brightness->softwareDimmer()->applyLevel(
                       controls::SoftwareDimmer::levelForBrightness(b))) {
            state->brightness = entry->brightness->shownBrightness();
        }
        osd_->show(d, "sun.max.fill", "Brightness", state->brightness / 100,
                   platform::OSDKind::brightness);
    }
    if (!includeBuiltIn) return;
    auto builtIn = std::find_if(displays_.begin(), displays_.end(),
                                [](const auto& s) { return s->info.isBuiltIn; });
    if (builtIn == displays_.end()) return;
    auto& state = **builtIn;
    const double b = clampPercent(state.brightness + delta);
    setPanelBrightness(state, b);
    osd_->showBrightness(state.info.id, b / 100);
}

bool DisplayManager::setPanelBrightness(DisplayState& state, double brightness) {
    const double before = state.brightness;
    state.brightness = brightness;
    const auto* entry = record(state.info.id);
    const auto dimmer = entry && entry->brightness ? entry->brightness->softwareDimmer() : nullptr;
    if (setBuiltInBrightness(static_cast<float>(brightness / 100))) {
        // The backlight carries the level now; an earlier fallback must not stack on it.
        if (dimmer && dimmer->currentLevel() > 0) dimmer->applyLevel(0);
        return true;
    }
    log_.line(services_.platform.texts.builtInBrightnessFailed);
    if (dimmer && dimmer->applyLevel(controls::SoftwareDimmer::levelForBrightness(brightness)))
        return true;
    state.brightness = before;
    return false;
}

runtime::Task<bool> DisplayManager::applyBrightness(
    std::shared_ptr<DisplayState> state, std::shared_ptr<controls::BrightnessController> controller,
    double brightness, bool sayFailure) {
    auto self = shared_from_this();
    if (co_await controller->setBrightness(brightness)) co_return true;
    // Nothing could apply it: the state goes back to what the display shows,
    // unless a newer level was asked for meanwhile.
    if (state->brightness.get() == brightness) state->brightness = controller->shownBrightness();
    if (sayFailure) {
        log_.line("[DisplayManager] Brightness " + runtime::decimal(brightness) + "% of '" +
                  state->info.name +
                  "' not applied: neither DDC nor software dimming works "
                  "for it - it stays at " +
                  runtime::decimal(state->brightness) + "%");
    }
    co_return false;
}

runtime::Task<bool> DisplayManager::writeBrightness(DisplayID display, double brightness) {
    auto self = shared_from_this();
    auto state = std::find_if(displays_.begin(), displays_.end(),
                              [&](const auto& s) { return s->info.id == display; });
    if (state == displays_.end()) co_return false;
    const double b = clampPercent(brightness);
    if ((*state)->info.isBuiltIn) co_return setPanelBrightness(**state, b);
    const auto* entry = record(display);
    if (!entry || !entry->brightness) co_return false;
    noteUserAction(display);
    (*state)->brightness = b;
    // The controller and state stay alive across the await, whatever a rescan does.
    co_return co_await applyBrightness(*state, entry->brightness, b, true);
}

void DisplayManager::adjustContrast(double delta) {
    for (const auto& state : externalDisplays()) {
        auto write = contrastWrite(*state, state->contrast + delta);
        if (!write) continue;
        runtime::spawn(main_, std::move(*write));
        osd_->show(state->info.id, "circle.righthalf.filled", "Contrast", state->contrast / 100);
    }
}

std::optional<runtime::Task<bool>> DisplayManager::contrastWrite(DisplayState& state,
                                                                 double contrast) {
    noteUserAction(state.info.id);
    const auto* entry = record(state.info.id);
    if (!state.supportsContrast || !entry || !entry->contrast) return std::nullopt;
    const double c = clampPercent(contrast);
    state.contrast = c;
    // The controller logs a write that failed.
    return runtime::retaining(entry->contrast, entry->contrast->setContrast(c));
}

std::optional<runtime::Task<bool>> DisplayManager::inputWrite(const DisplayState& state,
                                                              const controls::InputSource& source) {
    noteUserAction(state.info.id);
    const auto* entry = record(state.info.id);
    if (!state.supportsInputSwitching || !entry || !entry->input) return std::nullopt;
    return runtime::retaining(entry->input, entry->input->switchInput(source));
}

std::optional<runtime::Task<bool>> DisplayManager::powerWrite(
    const DisplayState& state, std::optional<controls::DisplayPowerState> target) {
    noteUserAction(state.info.id);
    const auto* entry = record(state.info.id);
    if (!state.supportsPowerControl || !entry || !entry->power) return std::nullopt;
    return runtime::retaining(
        entry->power, target ? entry->power->setPower(*target) : entry->power->togglePower());
}

void DisplayManager::sendVolume(const DisplayState& state, double volume,
                                std::optional<bool> mute) {
    const DisplayID d = state.info.id;
    const auto* entry = record(d);
    auto write = volumeWrite(state, volume);
    if (mute && state.volumeControlType == VolumeControlType::coreAudio && entry &&
        entry->audioVolume) {
        // The volume first, then the mute: a device that applies them in
        // that order ends muted at the level it will come back to.
        runtime::spawn(main_,
                       [](std::optional<runtime::Task<bool>> write,
                          std::shared_ptr<controls::CoreAudioVolumeController> device,
                          bool mute) -> runtime::Task<void> {
                           if (write) co_await std::move(*write);
                           device->setMute(mute);
                       }(std::move(write), entry->audioVolume, *mute));
    } else if (write) {
        runtime::spawn(main_, std::move(*write));
    }
    osd_->showVolume(d, volume / 100);
}

std::optional<runtime::Task<bool>> DisplayManager::volumeWrite(const DisplayState& state,
                                                               double volume) {
    const auto retaining = [](auto controller, double v) -> runtime::Task<bool> {
        if constexpr (std::is_same_v<decltype(controller->setVolume(v)), runtime::Task<bool>>) {
            co_return co_await controller->setVolume(v);
        } else {
            // The audio device says a failed write itself.
            co_await controller->setVolume(v);
            co_return true;
        }
    };
    noteUserAction(state.info.id);
    const auto* entry = record(state.info.id);
    if (!entry) return std::nullopt;
    switch (state.volumeControlType.get()) {
        case VolumeControlType::ddc:
            if (entry->volume) return retaining(entry->volume, volume);
            break;
        case VolumeControlType::coreAudio:
            if (entry->audioVolume) return retaining(entry->audioVolume, volume);
            break;
        case VolumeControlType::none:
            break;
    }
    return std::nullopt;
}

void DisplayManager::adjustVolume(double delta) {
    for (const auto& state : externalDisplays()) {
        if (!state->supportsVolume) {
            noteUserAction(state->info.id);
            continue;
        }
        const double v = clampPercent(state->volume + delta);
        state->volume = v;
        sendVolume(*state, v, std::nullopt);
    }
}

void DisplayManager::toggleMute() {
    // One press, one direction for all: mute every display if any is audible.
    const auto displays = externalDisplays();
    const bool anyAudible = std::any_of(displays.begin(), displays.end(), [](const auto& s) {
        return s->supportsVolume && s->volume > 0;
    });
    for (const auto& state : displays) {
        if (!state->supportsVolume) continue;
        double v = 0;
        if (anyAudible) {
            if (state->volume > 0) state->volumeBeforeMute = state->volume.get();
        } else {
            v = state->volumeBeforeMute->value_or(50.0);
        }
        state->volume = v;
        sendVolume(*state, v, v == 0);
    }
}

void DisplayManager::performShortcutAction(input::ShortcutAction action) {
    // One step serves all six actions, volume and contrast included.
    const double s = mediaKeyInterceptor_->brightnessStep();
    switch (action) {
        case input::ShortcutAction::brightnessUp:
            adjustBrightness(s, true);
            break;
        case input::ShortcutAction::brightnessDown:
            adjustBrightness(-s, true);
            break;
        case input::ShortcutAction::contrastUp:
            adjustContrast(s);
            break;
        case input::ShortcutAction::contrastDown:
            adjustContrast(-s);
            break;
        case input::ShortcutAction::volumeUp:
            adjustVolume(s);
            break;
        case input::ShortcutAction::volumeDown:
            adjustVolume(-s);
            break;
    }
}

void DisplayManager::applyKeyPreferences(const input::KeyPreferences& preferences) {
    auto& interceptor = *mediaKeyInterceptor_;
    interceptor.setInterceptBrightness(preferences.interceptBrightnessKeys);
    interceptor.setInterceptVolume(preferences.interceptVolumeKeys);
    interceptor.setBrightnessStep(preferences.brightnessStep);
    interceptor.setVolumeStep(preferences.volumeStep);
    osd_->enabled = preferences.showOSD;
}

}  // namespace orvane::displays
