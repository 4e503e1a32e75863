// SPDX-License-Identifier: MIT
#include "displays/DisplayManager.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <set>

#include "runtime/Format.h"
#include "runtime/Percent.h"
#include "runtime/Sleep.h"
#include "runtime/Spawn.h"

namespace orvane::displays {

using namespace std::chrono_literals;
using ddc::VCPCode;

namespace {
constexpr auto kRescanDelay = 500ms;
constexpr const char* kBrightnessKey = "brightness";
}  // namespace

std::shared_ptr<DisplayManager> DisplayManager::create(runtime::Runtime& runtime,
                                                       DisplayServices services,
                                                       runtime::Logger& log, Peers peers) {
    return std::make_shared<DisplayManager>(Key{}, runtime, std::move(services), log,
                                            std::move(peers));
}

DisplayManager::DisplayManager(Key, runtime::Runtime& runtime, DisplayServices services,
                               runtime::Logger& log, Peers peers)
    : main_(runtime.main()),
      clock_(runtime.clock()),
      services_(std::move(services)),
      log_(log),
      mediaKeyInterceptor_(
          std::make_shared<input::MediaKeyInterceptor>(services_.platform.eventTaps, main_, log_)),
      shortcuts_(std::move(peers.shortcuts)),
      osd_(std::move(peers.osd)) {
    const auto& platform = services_.platform;
    if (!shortcuts_) {
        shortcuts_ = std::make_shared<input::ShortcutManager>(platform.hotKeys,
                                                              platform.keyboardLayout, main_, log_);
    }
    if (!osd_) osd_ = std::make_shared<input::OSDManager>(platform.windowToolkit, main_);
}

DisplayManager::~DisplayManager() {
    // The window server must never call into a manager that is gone.
    if (callbackRegistered_) {
        services_.platform.windowServer.removeReconfigurationCallback(&reconfigurationCallback,
                                                                      this);
    }
}

std::vector<std::shared_ptr<DisplayState>> DisplayManager::externalDisplays() const {
    std::vector<std::shared_ptr<DisplayState>> result;
    std::copy_if(displays_.begin(), displays_.end(), std::back_inserter(result),
                 [](const auto& s) { return !s->info.isBuiltIn; });
    return result;
}

runtime::Task<void> DisplayManager::start() {
    auto self = shared_from_this();
    co_await scanDisplays();
    if (!callbackRegistered_ && services_.platform.windowServer.registerReconfigurationCallback(
                                    &reconfigurationCallback, this) == platform::kCGErrorSuccess) {
        callbackRegistered_ = true;
    }
    log_.line("[DisplayManager] Registered for display reconfiguration events");
    setupMediaKeys();
    shortcuts_->installHandler();
    isReady_ = true;
    publish("isReady");
}

void DisplayManager::stop() {
    if (callbackRegistered_) {
        services_.platform.windowServer.removeReconfigurationCallback(&reconfigurationCallback,
                                                                      this);
        callbackRegistered_ = false;
    }
    if (services_.i2c) services_.i2c->clearCache();
    mediaKeyInterceptor_->stop();
    shortcuts_->unregisterAll();
    resetAllDimmers();
    stopAudioListeners();
    coreAudioVolumeControllers_.clear();
    publish("coreAudioVolumeControllers");
}

void DisplayManager::stopAudioListeners() {
    for (auto& [id, controller] : coreAudioVolumeControllers_) {
        if (controller->isListening()) controller->stopListening();
    }
}

runtime::Task<void> DisplayManager::scanDisplays() {
    auto self = shared_from_this();
    const auto& platform = services_.platform;
    log_.line("[DisplayManager] Scanning connected displays...");

    std::array<DisplayID, kMaxDisplays> ids{};
    std::uint32_t count = 0;
    if (auto error = platform.windowServer.getActiveDisplayList(kMaxDisplays, ids.data(), count)) {
        log_.line("[DisplayManager] CGGetActiveDisplayList failed: " + std::to_string(error));
        co_return;
    }
    count = std::min(count, kMaxDisplays);
    log_.line("[DisplayManager] Found " + std::to_string(count) + " active display(s)");

    std::vector<std::shared_ptr<DisplayState>> states;
    for (std::uint32_t i = 0; i < count; ++i) {
        const DisplayID d = ids[i];
        auto state = std::make_shared<DisplayState>(makeDisplayInfo(d, services_));
        const DisplayInfo& info = state->info;

        if (info.isBuiltIn) {
            if (auto v = readBuiltInBrightness()) {
                state->brightness = runtime::percentFromUnit(*v);
                log_.line("[DisplayManager] Built-in brightness from IOKit: " +
                          runtime::decimal(state->brightness) + "%");
            }
        } else {
            auto handle = std::make_shared<ddc::DDCDisplay>(
                d, ddc::DDCTransports{services_.i2c, services_.avService, platform.framebufferI2C,
                                      clock_, log_});
            if (handle->transportType() != ddc::DDCTransportType::none) {
                co_await handle->probeCapabilities();
                const auto& codes = handle->supportedCodes();
                state->supportsBrightness = codes.count(VCPCode::brightness) != 0;
                state->supportsContrast = codes.count(VCPCode::contrast) != 0;
                state->supportsVolume = codes.count(VCPCode::volume) != 0;
                state->supportsInputSwitching = codes.count(VCPCode::inputSource) != 0;
                state->supportsPowerControl = codes.count(VCPCode::powerMode) != 0;
                if (state->supportsVolume) state->volumeControlType = VolumeControlType::ddc;
                auto copy = [&](VCPCode code, runtime::Observed<double>& percent,
                                runtime::Observed<std::uint16_t>& max) {
                    if (auto v = handle->cachedValue(code)) {
                        percent = ddc::percentForRawValue(v->current, v->max);
                        max = v->max;
                    }
                };
                copy(VCPCode::brightness, state->brightness, state->brightnessMax);
                copy(VCPCode::contrast, state->contrast, state->contrastMax);
                copy(VCPCode::volume, state->volume, state->volumeMax);
                state->lastDDCRead = handle->lastReadTime();
            }
            ddcDisplays_[d] = std::move(handle);

            if (!state->supportsVolume && info.connectionType == ConnectionType::airplay) {
                if (auto device = controls::CoreAudioVolumeController::matchAudioDevice(
                        platform.audio, log_, info.name)) {
                    state->supportsVolume = true;
                    state->volumeControlType = VolumeControlType::coreAudio;
                    auto probe = std::make_shared<controls::CoreAudioVolumeController>(
                        device->deviceID, d, device->name, platform.audio, main_, log_);
                    if (auto volume = co_await probe->getVolume()) state->volume = *volume;
                    log_.line("[DisplayManager] AirPlay audio matched: '" + device->name +
                              "' for '" + info.name + "'");
                }
            }
        }
        log_.line("[DisplayManager] Registered: " + info.summary() +
                  " [DDC: " + (info.ddcSupported ? "true" : "false") + "]");
        states.push_back(std::move(state));
    }

    std::stable_sort(states.begin(), states.end(), [](const auto& a, const auto& b) {
        if (a->info.isBuiltIn != b->info.isBuiltIn) return !a->info.isBuiltIn;
        return a->info.name < b->info.name;
    });

    const std::set<DisplayID> present(ids.begin(), ids.begin() + count);
    std::erase_if(ddcDisplays_, [&](const auto& entry) { return !present.count(entry.first); });
    publish("ddcDisplays");
    setupControllers(states);
    displays_ = std::move(states);
    publish("displays");
    refreshExternalDisplayFlag();
}

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

using runtime::clampPercent;

void DisplayManager::adjustBrightness(double delta, bool includeBuiltIn) {
    for (const auto& state : externalDisplays()) {
        const DisplayID d = state->info.id;
        auto it = brightnessControllers_.find(d);
        if (it == brightnessControllers_.end()) continue;
        const double b = clampPercent(state->brightness + delta);
        state->brightness = b;
        it->second->startBrightness(main_, b);
        osd_->show(d, "sun.max.fill", "Brightness", b / 100);
    }
    if (!includeBuiltIn) return;
    auto builtIn = std::find_if(displays_.begin(), displays_.end(),
                                [](const auto& s) { return s->info.isBuiltIn; });
    if (builtIn == displays_.end()) return;
    auto& state = **builtIn;
    const double b = clampPercent(state.brightness + delta);
    state.brightness = b;
    if (!setBuiltInBrightness(static_cast<float>(b / 100))) {
        log_.line(
            "[DisplayManager] IOKit built-in brightness failed, falling back to software dimmer");
        if (auto it = brightnessControllers_.find(state.info.id);
            it != brightnessControllers_.end() && it->second->softwareDimmer()) {
            it->second->softwareDimmer()->applyLevel(
                controls::SoftwareDimmer::levelForBrightness(b));
        }
    }
    osd_->showBrightness(state.info.id, b / 100);
}

void DisplayManager::adjustContrast(double delta) {
    for (const auto& state : externalDisplays()) {
        const DisplayID d = state->info.id;
        auto it = contrastControllers_.find(d);
        if (!state->supportsContrast || it == contrastControllers_.end()) continue;
        const double c = clampPercent(state->contrast + delta);
        state->contrast = c;
        runtime::spawnRetaining(main_, it->second, it->second->setContrast(c));
        osd_->show(d, "circle.righthalf.filled", "Contrast", c / 100);
    }
}

void DisplayManager::sendVolume(const DisplayState& state, double volume,
                                std::optional<bool> mute) {
    const DisplayID d = state.info.id;
    if (auto write = volumeWrite(state, volume)) runtime::spawn(main_, std::move(*write));
    if (mute && state.volumeControlType == VolumeControlType::coreAudio) {
        if (auto it = coreAudioVolumeControllers_.find(d); it != coreAudioVolumeControllers_.end())
            it->second->setMute(*mute);
    }
    osd_->showVolume(d, volume / 100);
}

std::optional<runtime::Task<void>> DisplayManager::volumeWrite(const DisplayState& state,
                                                               double volume) {
    const auto retaining = [](auto controller, double v) -> runtime::Task<void> {
        co_await controller->setVolume(v);
    };
    const DisplayID d = state.info.id;
    switch (state.volumeControlType.get()) {
        case VolumeControlType::ddc:
            if (auto it = volumeControllers_.find(d); it != volumeControllers_.end())
                return retaining(it->second, volume);
            break;
        case VolumeControlType::coreAudio:
            if (auto it = coreAudioVolumeControllers_.find(d);
                it != coreAudioVolumeControllers_.end())
                return retaining(it->second, volume);
            break;
        case VolumeControlType::none:
            break;
    }
    return std::nullopt;
}

void DisplayManager::adjustVolume(double delta) {
    for (const auto& state : externalDisplays()) {
        if (!state->supportsVolume) continue;
        const double v = clampPercent(state->volume + delta);
        state->volume = v;
        sendVolume(*state, v, std::nullopt);
    }
}

void DisplayManager::toggleMute() {
    for (const auto& state : externalDisplays()) {
        if (!state->supportsVolume) continue;
        double v = 0;
        if (state->volume > 0) {
            state->volumeBeforeMute = state->volume.get();
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

void DisplayManager::setupControllers(const std::vector<std::shared_ptr<DisplayState>>& states) {
    auto& platform = services_.platform;
    brightnessControllers_.clear();
    contrastControllers_.clear();
    volumeControllers_.clear();
    stopAudioListeners();
    coreAudioVolumeControllers_.clear();
    inputControllers_.clear();
    powerControllers_.clear();

    std::set<DisplayID> present;
    for (const auto& state : states) {
        const DisplayID d = state->info.id;
        present.insert(d);
        std::shared_ptr<ddc::DDCDisplay> h;
        if (auto it = ddcDisplays_.find(d); it != ddcDisplays_.end()) h = it->second;
        auto has = [&](VCPCode code) { return h && h->supportedCodes().count(code) != 0; };

        auto& dimmer = softwareDimmers_[d];
        if (!dimmer) {
            dimmer = std::make_shared<controls::SoftwareDimmer>(d, platform.windowServer,
                                                                platform.windowToolkit, log_);
        }
        brightnessControllers_[d] = std::make_shared<controls::BrightnessController>(
            d, h, dimmer, has(VCPCode::brightness), log_);
        contrastControllers_[d] =
            std::make_shared<controls::ContrastController>(d, h, has(VCPCode::contrast), log_);
        volumeControllers_[d] =
            std::make_shared<controls::VolumeController>(d, h, has(VCPCode::volume), log_);
        inputControllers_[d] =
            std::make_shared<controls::InputController>(d, h, has(VCPCode::inputSource), log_);
        powerControllers_[d] =
            std::make_shared<controls::PowerController>(d, h, has(VCPCode::powerMode), log_);

        if (state->volumeControlType == VolumeControlType::coreAudio) {
            if (auto device = controls::CoreAudioVolumeController::matchAudioDevice(
                    platform.audio, log_, state->info.name)) {
                auto controller = std::make_shared<controls::CoreAudioVolumeController>(
                    device->deviceID, d, device->name, platform.audio, main_, log_);
                std::weak_ptr<DisplayState> weakState = state;
                controller->onExternalVolumeChange = [weakState](double volume) {
                    if (auto s = weakState.lock()) s->volume = volume;
                };
                controller->startListening();
                coreAudioVolumeControllers_[d] = std::move(controller);
            }
        }
    }

    for (auto it = softwareDimmers_.begin(); it != softwareDimmers_.end();) {
        if (present.count(it->first)) {
            ++it;
            continue;
        }
        it->second->applyLevel(0);
        it = softwareDimmers_.erase(it);
    }
    for (const char* field : {"brightnessControllers", "contrastControllers", "volumeControllers",
                              "coreAudioVolumeControllers", "inputControllers", "powerControllers",
                              "softwareDimmers"}) {
        publish(field);
    }
}

void DisplayManager::reconfigurationCallback(DisplayID display,
                                             platform::CGDisplayChangeSummaryFlags flags,
                                             void* userInfo) {
    if (flags & platform::kCGDisplayBeginConfigurationFlag) return;
    auto* self = static_cast<DisplayManager*>(userInfo);
    self->main_.post([weak = self->weak_from_this(), display, flags] {
        if (auto manager = weak.lock()) manager->handleReconfiguration(display, flags);
    });
}

void DisplayManager::handleReconfiguration(DisplayID display,
                                           platform::CGDisplayChangeSummaryFlags flags) {
    const bool added = flags & platform::kCGDisplayAddFlag;
    if (!added && !(flags & platform::kCGDisplayRemoveFlag)) return;
    log_.line("[DisplayManager] Display " + std::to_string(display) + " " +
              (added ? "connected" : "disconnected") + " - rescanning...");
    if (services_.i2c) services_.i2c->clearCache();
    runtime::spawn(main_, [](std::shared_ptr<DisplayManager> self) -> runtime::Task<void> {
        co_await runtime::sleepFor(self->main_, kRescanDelay);  // an interrupted wait still rescans
        co_await self->scanDisplays();
    }(shared_from_this()));
}

std::optional<float> DisplayManager::readBuiltInBrightness() {
    auto& registry = services_.platform.registry;
    std::vector<platform::IOObjectRef> services;
    if (registry.matchingServices("IODisplayConnect", services) != platform::kIOReturnSuccess)
        return std::nullopt;
    for (const auto& service : services) {
        float value = 0;
        if (registry.displayGetFloatParameter(service.get(), 0, kBrightnessKey, value) ==
            platform::kIOReturnSuccess) {
            return value;
        }
    }
    return std::nullopt;
}

bool DisplayManager::setBuiltInBrightness(float level) {
    auto& registry = services_.platform.registry;
    std::vector<platform::IOObjectRef> services;
    if (auto status = registry.matchingServices("IODisplayConnect", services)) {
        log_.line("[DisplayManager] IOServiceGetMatchingServices failed: " +
                  std::to_string(status));
        return false;
    }
    for (const auto& service : services) {
        if (registry.displaySetFloatParameter(service.get(), 0, kBrightnessKey, level) ==
            platform::kIOReturnSuccess) {
            return true;
        }
    }
    return false;
}

void DisplayManager::resetAllDimmers() {
    for (auto& [id, dimmer] : softwareDimmers_)
        dimmer->applyLevel(0);
}

}  // namespace orvane::displays
