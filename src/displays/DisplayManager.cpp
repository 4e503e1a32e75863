// SPDX-License-Identifier: MIT
// The registry's scan and probes, its displays' records and controllers, and
// the panel's brightness. Re-probes and hot-plug rescans are in
// DisplayManagerRescans.cpp, the writes of levels and the key actions in
// DisplayManagerControls.cpp.
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
          services_.platform.mediaKeys, main_, log_, services_.platform.texts)),
      shortcuts_(std::move(peers.shortcuts)),
      osd_(std::move(peers.osd)) {
    const auto& platform = services_.platform;
    if (!shortcuts_) {
        shortcuts_ = std::make_shared<input::ShortcutManager>(
            platform.shortcuts, platform.keyboardLayout, main_, log_, platform.texts);
    }
    if (!osd_) {
        osd_ =
            std::make_shared<input::OSDManager>(platform.windowToolkit, main_, platform.desktopOSD);
    }
}

DisplayManager::~DisplayManager() {
    // The window server must never call into a manager that is gone.
    displayWatch_.reset();
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
    if (!displayWatch_) {
        displayWatch_ = services_.platform.windowServer.watchDisplays(
            [weak = weak_from_this(), &main = main_](DisplayID display,
                                                     platform::DisplayChange change) {
                main.post([weak, display, change] {
                    if (auto manager = weak.lock()) manager->handleReconfiguration(display, change);
                });
            });
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
    displayWatch_.reset();
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

    auto listed = platform.windowServer.activeDisplays(kMaxDisplays);
    if (auto* failure = std::get_if<platform::PlatformFailure>(&listed)) {
        log_.line("[DisplayManager] " + failure->step + " failed: " + failure->error.text);
        finishScan();
        co_return;
    }
    const auto ids = std::get<std::vector<DisplayID>>(std::move(listed));
    const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(ids.size(), kMaxDisplays));
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

std::optional<float> DisplayManager::readBuiltInBrightness() {
    return services_.platform.connectors.panelBrightness();
}

bool DisplayManager::setBuiltInBrightness(float level) {
    return !services_.platform.connectors.setPanelBrightness(level);
}

void DisplayManager::resetAllDimmers() {
    for (auto& [id, entry] : records_) {
        if (entry.dimmer) entry.dimmer->applyLevel(0);
    }
}

}  // namespace orvane::displays
