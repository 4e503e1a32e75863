// SPDX-License-Identifier: MIT
// DisplayManager's second looks: a monitor that slept through its probe is
// asked again on a schedule (or when the user acts on it), and hot-plug and
// mode events are coalesced into one rescan.
#include <algorithm>
#include <array>
#include <chrono>

#include "displays/DisplayManager.h"
#include "runtime/Format.h"
#include "runtime/Sleep.h"
#include "runtime/Spawn.h"

namespace orvane::displays {

using namespace std::chrono_literals;

namespace {
constexpr auto kRescanDelay = 500ms;
// A connector that flaps for ever (a loose cable) must not keep the displays
// beside it out: a burst of events waits this long at most.
constexpr auto kRescanAtMost = 3s;
/// A monitor asleep during its probe is asked again after these; after the
/// last, only a user action on it asks again.
constexpr std::array<runtime::Duration, 3> kReprobeDelays{5s, 30s, 120s};
}  // namespace

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

void DisplayManager::handleReconfiguration(DisplayID display, platform::DisplayChange change) {
    // Any change may move screens: overlays keep covering their own display,
    // and gamma dimming is written again over ramps the server reset.
    for (auto& [id, entry] : records_) {
        if (!entry.dimmer) continue;
        entry.dimmer->followScreen();
        entry.dimmer->reapplyGamma();
    }
    const bool added = change == platform::DisplayChange::added;
    if (!added && change != platform::DisplayChange::removed) return;
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

}  // namespace orvane::displays
