// SPDX-License-Identifier: MIT
#include "settings/PresetScheduler.h"

#include "runtime/Spawn.h"

namespace orvane::settings {

PresetScheduler::PresetScheduler(std::shared_ptr<PresetManager> presets, runtime::Executor& main,
                                 runtime::Logger& log)
    : presets_(std::move(presets)), main_(main), log_(log) {}

void PresetScheduler::start() {
    std::weak_ptr<PresetScheduler> weak = weak_from_this();
    runtime::spawn(main_, [](std::weak_ptr<PresetScheduler> weak) -> runtime::Task<void> {
        auto self = weak.lock();
        if (!self) co_return;
        const bool applied = co_await self->check();
        (void)applied;
        self->arm();
    }(weak));
}

void PresetScheduler::stop() {
    stopped_ = true;
    timer_.reset();
}

void PresetScheduler::arm() {
    // A check still applying when stop() came must not start the clock again.
    if (stopped_) return;
    std::weak_ptr<PresetScheduler> weak = weak_from_this();
    timer_.emplace(main_, kCheckInterval, [weak] {
        if (auto self = weak.lock()) self->start();
    });
}

runtime::Task<bool> PresetScheduler::check() {
    // One check at a time: an apply can outlast the interval.
    if (checking_) co_return false;
    const auto change = presets_->inForce(presets_->now());
    if (!change) co_return false;
    const auto& used = change->preset->lastUsedAt();
    if (used && *used >= change->at) co_return false;
    checking_ = true;
    log_.line("[PresetScheduler] Applying '" + change->preset->name() + "', scheduled at " +
              change->when.text());
    auto presets = presets_;  // alive across the await
    co_await presets->apply(change->preset);
    checking_ = false;
    co_return true;
}

}  // namespace orvane::settings
