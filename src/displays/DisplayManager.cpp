// SPDX-License-Identifier: MIT
#include "displays/DisplayManager.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <set>

#include "displays/DisplayKey.h"
#include "runtime/Format.h"
#include "runtime/Percent.h"
#include "runtime/Sleep.h"
#include "runtime/Spawn.h"

namespace orvane::displays {

using namespace std::chrono_literals;
using ddc::VCPCode;
using runtime::clampPercent;

namespace {
constexpr auto kRescanDelay = 500ms;
// A connector that flaps for ever (a loose cable) must not keep the displays
// beside it out: a burst of events waits this long at most.
constexpr auto kRescanAtMost = 3s;
constexpr const char* kBrightnessKey = "brightness";
/// A monitor asleep during its probe is asked again after these; after the
/// last, only a user action on it asks again.
constexpr std::array<runtime::Duration, 3> kReprobeDelays{5s, 30s, 120s};

/// The probe's findings copied into the state: support flags, percentages, maxima.
void copyProbe(DisplayState& state, const ddc::DDCDisplay& handle, bool keepBrightness) {
    const auto& codes = handle.supportedCodes();
    state.supportsBrightness = codes.count(VCPCode::brightness) != 0;
    state.supportsContrast = codes.count(VCPCode::contrast) != 0;
    state.supportsVolume = codes.count(VCPCode::volume) != 0;
    state.supportsInputSwitching = codes.count(VCPCode::inputSource) != 0;
    state.supportsPowerControl = codes.count(VCPCode::powerMode) != 0;
    if (state.supportsVolume) state.volumeControlType = VolumeControlType::ddc;
    auto copy = [&](VCPCode code, runtime::Observed<double>& percent,
                    runtime::Observed<std::uint16_t>& max, bool keepPercent) {
        if (auto v = handle.cachedValue(code)) {
            if (!keepPercent) percent = ddc::percentForRawValue(v->current, v->max);
            max = v->max;
        }
    };
    copy(VCPCode::brightness, state.brightness, state.brightnessMax, keepBrightness);
    copy(VCPCode::contrast, state.contrast, state.contrastMax, false);
    copy(VCPCode::volume, state.volume, state.volumeMax, false);
    state.lastDDCRead = handle.lastReadTime();
}
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
      mediaKeyInterceptor_(std::make_shared<input::MediaKeyInterceptor>(
          services_.platform.eventTaps, main_, log_, services_.platform.texts)),
      shortcuts_(std::move(peers.shortcuts)),
      osd_(std::move(peers.osd)) {
    const auto& platform = services_.platform;
    if (!shortcuts_) {
        shortcuts_ = std::make_shared<input::ShortcutManager>(
            platform.hotKeys, platform.keyboardLayout, main_, log_, platform.texts);
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

const DisplayRecord* DisplayManager::record(DisplayID display) const {
    auto it = records_.find(display);
    return it == records_.end() ? nullptr : &it->second;
}

std::vector<std::shared_ptr<DisplayState>> DisplayManager::externalDisplays() const {
    std::vector<std::shared_ptr<DisplayState>> result;
    std::copy_if(displays_.begin(), displays_.end(), std::back_inserter(result),
                 [](const auto& s) { return !s->info.isBuiltIn; });
    return result;
}

runtime::Task<void> DisplayManager::start() {
    auto self = shared_from_this();
    if (stopped_) co_return;
    // Registered before the scan: a display plugged in during it gets its rescan.
    if (!callbackRegistered_ && services_.platform.windowServer.registerReconfigurationCallback(
                                    &reconfigurationCallback, this) == platform::kCGErrorSuccess) {
        callbackRegistered_ = true;
    }
    log_.line("[DisplayManager] Registered for display reconfiguration events");
    // Before any dimming of this run captures them as its originals.
    if (gammaJournal) gammaJournal->restoreLeftovers(services_.platform.windowServer);
    co_await scanDisplays();
    if (stopped_) co_return;
    setupMediaKeys();
    shortcuts_->installHandler();
    isReady_ = true;
    publish("isReady");
}

void DisplayManager::stop() {
    stopped_ = true;
    ++configGeneration_;  // a scan under way is stale now
    stopSource_.request_stop();
    rescanDue_.reset();
    if (callbackRegistered_) {
        services_.platform.windowServer.removeReconfigurationCallback(&reconfigurationCallback,
                                                                      this);
        callbackRegistered_ = false;
    }
    if (services_.i2c) services_.i2c->clearCache();
    mediaKeyInterceptor_->stop();
    shortcuts_->unregisterAll();
    resetAllDimmers();
    for (auto& [id, record] : records_) {
        if (record.dimmer) record.dimmer->retire();
    }
    stopAudioListeners();
    for (auto& [id, record] : records_)
        record.audioVolume.reset();
    publish("records");
}

void DisplayManager::stopAudioListeners() {
    for (auto& [id, record] : records_) {
        if (record.audioVolume && record.audioVolume->isListening())
            record.audioVolume->stopListening();
    }
}

void DisplayManager::finishScan() {
    scanning_ = false;
    scanIdle_.resumeAll();
}

runtime::Task<void> DisplayManager::scanDisplays(bool mayGiveWay) {
    auto self = shared_from_this();
    const auto& platform = services_.platform;
    if (stopped_) co_return;
    // The first scan runs to its end (launch waits for it); a later one gives
    // way to the rescan that a newer event scheduled.
    const bool abandonable = mayGiveWay && scanCount_ > 0;
    const std::uint64_t generation = configGeneration_;
    const auto stale = [&] { return stopped_ || (abandonable && generation != configGeneration_); };
    while (scanning_)
        co_await scanIdle_.wait();
    if (stale()) co_return;
    scanning_ = true;
    ++scanCount_;
    log_.line("[DisplayManager] Scanning connected displays...");

    std::array<DisplayID, kMaxDisplays> ids{};
    std::uint32_t count = 0;
    if (auto error = platform.windowServer.getActiveDisplayList(kMaxDisplays, ids.data(), count)) {
        log_.line("[DisplayManager] CGGetActiveDisplayList failed: " + std::to_string(error));
        finishScan();
        co_return;
    }
    count = std::min(count, kMaxDisplays);
    log_.line("[DisplayManager] Found " + std::to_string(count) + " active display(s)");

    // Side by side, every external display's probe starts now; each is
    // awaited below in the list's order, so the records keep it. A probe that
    // has missed a code while every other one has ended is not waited for:
    // its display is registered without DDC for now and gets its controls
    // when the probe ends, so one monitor holding its bus holds up no card.
    struct Probes {
        std::map<DisplayID, std::shared_ptr<ddc::DDCDisplay>> handles;
        std::set<DisplayID> done, troubled, late;
        runtime::WaitList finished;
        std::weak_ptr<DisplayManager> owner;
        bool othersDone(DisplayID d) const {
            return std::all_of(handles.begin(), handles.end(),
                               [&](const auto& h) { return h.first == d || done.count(h.first); });
        }
    };
    auto probes = std::make_shared<Probes>();
    probes->owner = weak_from_this();
    if (probeSideBySide) {
        for (std::uint32_t i = 0; i < count; ++i) {
            if (platform.windowServer.displayIsBuiltin(ids[i])) continue;
            auto handle = std::make_shared<ddc::DDCDisplay>(
                ids[i], ddc::DDCTransports{services_.transports(), clock_, log_});
            probes->handles[ids[i]] = handle;
            if (handle->transportType() == ddc::DDCTransportType::none) {
                probes->done.insert(ids[i]);
                continue;
            }
            std::weak_ptr<Probes> weak = probes;
            handle->onProbeMiss = [weak, d = ids[i]] {
                if (auto p = weak.lock()) {
                    p->troubled.insert(d);
                    p->finished.resumeAll();
                }
            };
            runtime::spawn(main_,
                           [](std::shared_ptr<Probes> p, DisplayID d) -> runtime::Task<void> {
                               auto handle = p->handles[d];
                               co_await handle->probeCapabilities();
                               handle->onProbeMiss = nullptr;
                               p->done.insert(d);
                               if (p->late.count(d)) {
                                   if (auto self = p->owner.lock()) self->lateProbeEnded(d, handle);
                               }
                               p->finished.resumeAll();
                           }(probes, ids[i]));
        }
    }

    std::vector<std::shared_ptr<DisplayState>> states;
    std::map<DisplayID, std::shared_ptr<ddc::DDCDisplay>> handles;
    for (std::uint32_t i = 0; i < count; ++i) {
        const DisplayID d = ids[i];
        auto state = std::make_shared<DisplayState>(makeDisplayInfo(d, services_));
        const DisplayInfo& info = state->info;

        if (info.isBuiltIn) {
            if (auto v = readBuiltInBrightness()) {
                state->brightness = clampPercent(runtime::percentFromUnit(*v));
                log_.line("[DisplayManager] Built-in brightness from " +
                          services_.platform.texts.builtInBrightnessSource + ": " +
                          runtime::decimal(state->brightness) + "%");
            }
        } else {
            auto early = probes->handles.find(d);
            auto handle = early != probes->handles.end()
                              ? early->second
                              : std::make_shared<ddc::DDCDisplay>(
                                    d, ddc::DDCTransports{services_.transports(), clock_, log_});
            if (handle->transportType() != ddc::DDCTransportType::none) {
                if (early == probes->handles.end()) {
                    co_await handle->probeCapabilities();
                } else {
                    while (!probes->done.count(d) &&
                           !(probes->troubled.count(d) && probes->othersDone(d)))
                        co_await probes->finished.wait();
                }
                if (stale()) {
                    finishScan();
                    co_return;
                }
                if (early != probes->handles.end() && !probes->done.count(d)) {
                    probes->late.insert(d);
                    reprobing_.insert(d);
                    log_.line("[DisplayManager] Display " + std::to_string(d) +
                              " is slow to answer its DDC probe - its controls come when it "
                              "ends");
                } else {
                    copyProbe(*state, *handle, false);
                }
            }
            handles[d] = std::move(handle);

            // Without DDC volume, the display's own audio device: an AirPlay
            // display's by the AirPlay rules, another's by its exact name.
            const bool airplay = info.connectionType == ConnectionType::airplay;
            if (!state->supportsVolume) {
                if (auto device = audioDeviceFor(info)) {
                    state->supportsVolume = true;
                    state->volumeControlType = VolumeControlType::coreAudio;
                    auto probe = std::make_shared<controls::CoreAudioVolumeController>(
                        device->deviceID, d, device->name, platform.audio, main_, log_);
                    if (auto volume = co_await probe->getVolume()) state->volume = *volume;
                    if (stale()) {
                        finishScan();
                        co_return;
                    }
                    log_.line(std::string("[DisplayManager] ") + (airplay ? "AirPlay" : "Display") +
                              " audio matched: '" + device->name + "' for '" + info.name + "'");
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

    setupControllers(states, std::move(handles));
    replugged_.clear();
    departed_.clear();
    displays_ = std::move(states);
    publish("records");
    publish("displays");
    refreshExternalDisplayFlag();
    finishScan();
    for (const auto& [id, record] : records_) {
        if (record.ddc && !reprobing_.count(id) && awaitsReprobe(*record.ddc))
            scheduleReprobe(id, 0);
    }
}

void DisplayManager::lateProbeEnded(DisplayID display,
                                    const std::shared_ptr<ddc::DDCDisplay>& handle) {
    reprobing_.erase(display);
    if (stopped_) return;
    const auto* entry = record(display);
    if (!entry || entry->ddc != handle) return;  // a newer scan has its own
    if (!handle->supportedCodes().empty()) adoptProbe(display, handle, false);
    if (awaitsReprobe(*handle)) scheduleReprobe(display, 0);
}

bool DisplayManager::awaitsReprobe(const ddc::DDCDisplay& handle) {
    return handle.transportType() != ddc::DDCTransportType::none &&
           (handle.supportedCodes().empty() || !handle.missedCodes().empty());
}

void DisplayManager::scheduleReprobe(DisplayID display, std::size_t attempt) {
    if (stopped_ || !reprobeOnTimer || attempt >= kReprobeDelays.size()) return;
    const auto delay = kReprobeDelays[attempt];
    const auto* entry = record(display);
    if (!entry || !entry->ddc || departed_.count(display)) return;  // unplugged: no promise
    backoff_[display] = delay;
    const std::string seconds =
        std::to_string(std::chrono::duration_cast<std::chrono::seconds>(delay).count());
    if (entry->ddc->supportedCodes().empty()) {
        log_.line("[DisplayManager] Display " + std::to_string(display) +
                  " did not answer its DDC probe - probing again in " + seconds + " s");
    } else {
        std::string codes;
        for (auto code : entry->ddc->missedCodes())
            codes += (codes.empty() ? "" : ", ") + ddc::displayName(code);
        log_.line("[DisplayManager] Display " + std::to_string(display) + ": " + codes +
                  " did not answer its DDC probe - probing again in " + seconds + " s");
    }
    std::weak_ptr<ddc::DDCDisplay> weakHandle = entry->ddc;
    runtime::spawn(
        main_,
        [](std::weak_ptr<DisplayManager> weak, std::weak_ptr<ddc::DDCDisplay> weakHandle,
           DisplayID display, std::size_t attempt, runtime::Executor& main,
           runtime::Duration delay) -> runtime::Task<void> {
            if (!co_await runtime::sleepFor(main, delay)) co_return;  // stopped
            auto self = weak.lock();
            if (!self || self->stopped_) co_return;
            const auto* entry = self->record(display);
            // A rescan made a handle of its own, with its own schedule.
            if (!entry || !entry->ddc || entry->ddc != weakHandle.lock()) co_return;
            if (!awaitsReprobe(*entry->ddc)) co_return;
            // A code answering now while another still does not keeps the schedule.
            const bool answered = co_await self->reprobe(display);
            const auto* now = self->record(display);
            if (!answered || (now && now->ddc && awaitsReprobe(*now->ddc)))
                self->scheduleReprobe(display, attempt + 1);
        }(weak_from_this(), weakHandle, display, attempt, main_, delay),
        {}, stopSource_.get_token());
}

runtime::Task<bool> DisplayManager::reprobe(DisplayID display) {
    auto self = shared_from_this();
    const auto* entry = record(display);
    if (!entry || !entry->ddc || reprobing_.count(display)) co_return false;
    auto handle = entry->ddc;
    reprobing_.insert(display);
    // Only what is missing is asked again: a monitor that answered most codes
    // is not probed whole.
    const bool partial = !handle->supportedCodes().empty();
    bool answered = false;
    if (partial) {
        answered = co_await handle->probeMissed();
    } else {
        co_await handle->probeCapabilities();
        answered = !handle->supportedCodes().empty();
    }
    reprobing_.erase(display);
    if (stopped_) co_return false;
    co_return answered&& adoptProbe(display, handle, partial);
}

bool DisplayManager::adoptProbe(DisplayID display, const std::shared_ptr<ddc::DDCDisplay>& handle,
                                bool partial) {
    auto it = records_.find(display);
    if (it == records_.end() || it->second.ddc != handle || !it->second.state) return false;
    DisplayRecord& found = it->second;
    DisplayState& state = *found.state;
    log_.line("[DisplayManager] Display " + std::to_string(display) +
              (partial ? " answers DDC for more codes now - controls restored"
                       : " answers DDC now - controls restored"));
    // The level the user chose while the display was dimmed in software wins
    // over the one the monitor reports.
    const bool dimmed = found.dimmer && found.dimmer->currentLevel() > 0;
    copyProbe(state, *handle, dimmed);
    makeDDCControllers(found);
    publish("records");
    if (dimmed && state.supportsBrightness)
        found.brightness->startBrightness(main_, state.brightness);
    return true;
}

void DisplayManager::noteUserAction(DisplayID display) {
    const auto* entry = record(display);
    if (stopped_ || !entry || !entry->ddc || reprobing_.count(display)) return;
    if (!awaitsReprobe(*entry->ddc)) return;
    // At most once per back-off period: a held key must not probe per press.
    const auto now = clock_.now();
    const auto period = backoff_.count(display) ? backoff_[display] : kReprobeDelays.front();
    if (auto last = userReprobe_.find(display);
        last != userReprobe_.end() && now - last->second < period) {
        return;
    }
    userReprobe_[display] = now;
    runtime::spawn(main_,
                   [](std::shared_ptr<DisplayManager> self, DisplayID d) -> runtime::Task<void> {
                       co_await self->reprobe(d);
                   }(shared_from_this(), display));
}

std::string DisplayManager::displayKey(const DisplayState& state) const {
    return displayKeyIn(state, displays_);
}

std::string DisplayManager::displayKeyIn(const DisplayState& state,
                                         const std::vector<std::shared_ptr<DisplayState>>& list) {
    const auto& info = state.info;
    const std::string base = makeDisplayKey(info.vendorID, info.productID, info.serialNumber);
    std::size_t twin = 1;
    for (const auto& other : list) {
        if (other->info.id == info.id) break;
        const auto& o = other->info;
        if (makeDisplayKey(o.vendorID, o.productID, o.serialNumber) == base) ++twin;
    }
    return twin == 1 ? base : base + "#" + std::to_string(twin);
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
        osd_->show(d, "sun.max.fill", "Brightness", state->brightness / 100);
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

std::optional<controls::AudioDeviceMatch> DisplayManager::audioDeviceFor(const DisplayInfo& info) {
    auto& audio = services_.platform.audio;
    if (info.connectionType == ConnectionType::airplay)
        return controls::CoreAudioVolumeController::matchAudioDevice(audio, log_, info.name);
    if (info.isBuiltIn) return std::nullopt;
    return controls::CoreAudioVolumeController::matchDisplayAudioDevice(audio, info.name);
}

void DisplayManager::setupControllers(
    const std::vector<std::shared_ptr<DisplayState>>& states,
    std::map<DisplayID, std::shared_ptr<ddc::DDCDisplay>> handles) {
    auto& platform = services_.platform;
    stopAudioListeners();

    std::map<DisplayID, DisplayRecord> records;
    for (const auto& state : states) {
        const DisplayID d = state->info.id;
        DisplayRecord& entry = records[d];
        entry.state = state;
        if (auto h = handles.find(d); h != handles.end()) entry.ddc = std::move(h->second);
        if (auto old = records_.find(d); old != records_.end()) entry.dimmer = old->second.dimmer;
        if (!entry.dimmer) {
            entry.dimmer = std::make_shared<controls::SoftwareDimmer>(
                d, platform.windowServer, platform.windowToolkit, log_, platform.texts);
            entry.dimmer->method = dimmingMethod;
            entry.dimmer->journal = gammaJournal;
            entry.dimmer->reclaimJournaled();
        }
        entry.dimmer->followScreen();
        makeDDCControllers(entry);
        carryValues(entry, displayKeyIn(*state, states));

        if (state->volumeControlType == VolumeControlType::coreAudio) {
            if (auto device = audioDeviceFor(state->info)) {
                auto controller = std::make_shared<controls::CoreAudioVolumeController>(
                    device->deviceID, d, device->name, platform.audio, main_, log_);
                std::weak_ptr<DisplayState> weakState = state;
                controller->onExternalVolumeChange = [weakState](double volume) {
                    if (auto s = weakState.lock()) s->volume = volume;
                };
                controller->startListening();
                entry.audioVolume = std::move(controller);
            }
        }
    }
    // A display that is gone takes its dimming with it, and leaves its values
    // for when it comes back.
    for (auto& [id, old] : records_) {
        if (records.count(id)) continue;
        if (old.dimmer) old.dimmer->applyLevel(0);
        if (!old.state) continue;
        const auto& st = *old.state;
        RememberedValues values{st.brightness.get(), std::nullopt, std::nullopt};
        if (st.supportsContrast) values.contrast = st.contrast.get();
        if (st.supportsVolume && st.volumeControlType.get() == VolumeControlType::ddc)
            values.volume = st.volume.get();
        lastValues_[displayKey(st)] = values;
    }
    records_ = std::move(records);
}

void DisplayManager::carryValues(DisplayRecord& entry, const std::string& key) {
    auto& state = *entry.state;
    const DisplayID d = state.info.id;
    // The same display, still here: its record's values are the ones the user set.
    const DisplayState* before = nullptr;
    if (auto old = records_.find(d);
        old != records_.end() && old->second.state && displayKey(*old->second.state) == key)
        before = old->second.state.get();
    // Back after it was gone: what it had then.
    std::optional<RememberedValues> back;
    if (!before) {
        if (auto it = lastValues_.find(key); it != lastValues_.end()) {
            back = it->second;
            lastValues_.erase(it);
        }
    } else if (replugged_.count(d)) {
        // Off and on again within the rescan delay, or woken from suspend:
        // the monitor may have forgotten what the user set.
        back = RememberedValues{
            before->brightness.get(),
            before->supportsContrast ? std::optional(before->contrast.get()) : std::nullopt,
            before->supportsVolume ? std::optional(before->volume.get()) : std::nullopt};
    }
    if (state.info.isBuiltIn) return;  // the backlight keeps its own level
    if (!entry.brightness || !entry.brightness->hasDDC()) {
        // Dimmed in software: the level lives here, not in the monitor.
        if (!before && !back) return;
        state.brightness = before ? before->brightness.get() : back->brightness;
        const double level = controls::SoftwareDimmer::levelForBrightness(state.brightness);
        state.softwareDimmingLevel = level;
        entry.dimmer->applyLevel(level);
    } else {
        // A display dimmed in software (its write failed, or it had no DDC
        // before) is still at the level the user asked for, not the monitor's.
        const bool dimmedInSoftware = entry.dimmer->currentLevel() > 0;
        std::optional<double> wanted;
        if (back) {
            wanted = back->brightness;
        } else if (before && dimmedInSoftware) {
            wanted = before->brightness.get();
        }
        if (wanted && *wanted != state.brightness.get()) {
            // The controller lifts the overlay once the monitor takes it.
            state.brightness = *wanted;
            entry.brightness->startBrightness(main_, *wanted);
        } else if (state.brightness.get() > 0 && dimmedInSoftware) {
            // Its monitor dims itself now: no overlay may stay on top of that.
            entry.dimmer->applyLevel(0);
        }
    }
    if (back && back->contrast && entry.contrast && entry.contrast->hasDDC() &&
        *back->contrast != state.contrast.get()) {
        state.contrast = *back->contrast;
        runtime::spawnRetaining(main_, entry.contrast,
                                entry.contrast->setContrast(*back->contrast));
    }
    if (back && back->volume && entry.volume && entry.volume->hasDDC() &&
        *back->volume != state.volume.get()) {
        state.volume = *back->volume;
        runtime::spawnRetaining(main_, entry.volume, entry.volume->setVolume(*back->volume));
    }
}

void DisplayManager::makeDDCControllers(DisplayRecord& entry) {
    const DisplayID d = entry.state->info.id;
    const auto& h = entry.ddc;
    auto has = [&](VCPCode code) { return h && h->supportedCodes().count(code) != 0; };
    entry.brightness = std::make_shared<controls::BrightnessController>(
        d, h, entry.dimmer, has(VCPCode::brightness), log_);
    // A one-shot run ends before a later re-send would go out.
    if (reprobeOnTimer) entry.brightness->main = &main_;
    entry.contrast =
        std::make_shared<controls::ContrastController>(d, h, has(VCPCode::contrast), log_);
    entry.volume = std::make_shared<controls::VolumeController>(d, h, has(VCPCode::volume), log_);
    entry.input =
        std::make_shared<controls::InputController>(d, h, has(VCPCode::inputSource), log_);
    entry.power = std::make_shared<controls::PowerController>(d, h, has(VCPCode::powerMode), log_);
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
    // Any change may move screens: overlays keep covering their own display,
    // and gamma dimming is written again over ramps the server reset.
    const bool begin = flags == platform::kCGDisplayBeginConfigurationFlag;
    for (auto& [id, entry] : records_) {
        if (!entry.dimmer) continue;
        entry.dimmer->followScreen();
        if (!begin) entry.dimmer->reapplyGamma();
    }
    const bool added = flags & platform::kCGDisplayAddFlag;
    if (!added && !(flags & platform::kCGDisplayRemoveFlag)) return;
    replugged_.insert(display);
    if (added) {
        departed_.erase(display);
    } else {
        departed_.insert(display);
    }
    log_.line("[DisplayManager] Display " + std::to_string(display) + " " +
              (added ? "connected" : "disconnected") + " - rescanning...");
    if (services_.i2c) services_.i2c->clearCache();
    if (stopped_) return;
    ++configGeneration_;  // a scan under way describes a machine that is gone
    if (!rescanScheduled_) burstStart_ = clock_.now();
    rescanDue_ = std::min(clock_.now() + kRescanDelay, burstStart_ + kRescanAtMost);
    if (rescanScheduled_) return;
    rescanScheduled_ = true;
    runtime::spawn(main_, rescanWhenQuiet(), {}, stopSource_.get_token());
}

runtime::Task<void> DisplayManager::rescanWhenQuiet() {
    auto self = shared_from_this();
    // Each event pushes the due time back; the scan starts once it holds.
    while (rescanDue_ && clock_.now() < *rescanDue_) {
        if (!co_await runtime::sleepFor(main_, *rescanDue_ - clock_.now())) break;
    }
    rescanScheduled_ = false;
    if (stopped_ || !rescanDue_) co_return;
    rescanDue_.reset();
    // Cut short by a burst that went on: this one shows what is there now.
    co_await scanDisplays(clock_.now() < burstStart_ + kRescanAtMost);
}

std::vector<platform::IOObjectRef> DisplayManager::panelServices(bool logFailure) {
    auto& platform = services_.platform;
    std::vector<platform::IOObjectRef> services;
    if (auto status = platform.registry.matchingServices("IODisplayConnect", services)) {
        if (logFailure)
            log_.line("[DisplayManager] IOServiceGetMatchingServices failed: " +
                      std::to_string(status));
        return {};
    }
    std::array<DisplayID, kMaxDisplays> ids{};
    std::uint32_t count = 0;
    if (platform.windowServer.getActiveDisplayList(kMaxDisplays, ids.data(), count)) count = 0;
    count = std::min(count, kMaxDisplays);
    std::optional<std::pair<std::uint32_t, std::uint32_t>> panel;
    std::set<std::pair<std::uint32_t, std::uint32_t>> externals;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::pair identity{platform.windowServer.vendorNumber(ids[i]),
                                 platform.windowServer.modelNumber(ids[i])};
        if (platform.windowServer.displayIsBuiltin(ids[i])) {
            panel = identity;
        } else {
            externals.insert(identity);
        }
    }
    // The panel's own service first; one that can't be placed after it; never
    // a service that describes an external display.
    std::vector<platform::IOObjectRef> own, unplaced;
    for (auto& service : services) {
        auto info = platform.registry.displayInfoDictionary(service.get(),
                                                            platform::kIODisplayOnlyPreferredName);
        std::optional<std::pair<std::uint32_t, std::uint32_t>> identity;
        if (info) {
            auto vendor = info->number("DisplayVendorID");
            auto product = info->number("DisplayProductID");
            if (vendor && product) identity = std::pair{*vendor, *product};
        }
        if (identity && panel && *identity == *panel) {
            own.push_back(std::move(service));
        } else if (!identity || !externals.count(*identity)) {
            unplaced.push_back(std::move(service));
        }
    }
    own.insert(own.end(), std::make_move_iterator(unplaced.begin()),
               std::make_move_iterator(unplaced.end()));
    return own;
}

std::optional<float> DisplayManager::readBuiltInBrightness() {
    auto& registry = services_.platform.registry;
    for (const auto& service : panelServices(false)) {
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
    for (const auto& service : panelServices(true)) {
        if (registry.displaySetFloatParameter(service.get(), 0, kBrightnessKey, level) ==
            platform::kIOReturnSuccess) {
            return true;
        }
    }
    return false;
}

void DisplayManager::resetAllDimmers() {
    for (auto& [id, entry] : records_) {
        if (entry.dimmer) entry.dimmer->applyLevel(0);
    }
}

}  // namespace orvane::displays
