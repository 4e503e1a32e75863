// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <memory>
#include <optional>

#include "runtime/Executor.h"
#include "runtime/Logger.h"
#include "runtime/Task.h"
#include "runtime/Timer.h"
#include "settings/PresetManager.h"

namespace orvane::settings {

/// Applies the scheduled preset in force, once per scheduled moment: at the
/// moment itself, and at start or after a sleep that missed it. What the user
/// changes meanwhile stands until the next moment. Main thread only.
class PresetScheduler : public std::enable_shared_from_this<PresetScheduler> {
  public:
    /// How often the wall clock is looked at: a moment is met within this,
    /// and a sleep, a clock set or a new time zone within this of it.
    static constexpr std::chrono::seconds kCheckInterval{30};

    PresetScheduler(std::shared_ptr<PresetManager> presets, runtime::Executor& main,
                    runtime::Logger& log);
    /// Checks now, then every kCheckInterval until stop().
    void start();
    void stop();
    /// Applies the preset in force when its moment has not been applied
    /// since; true when it did.
    runtime::Task<bool> check();

  private:
    void arm();

    std::shared_ptr<PresetManager> presets_;
    runtime::Executor& main_;
    runtime::Logger& log_;
    std::optional<runtime::Timer> timer_;
    bool checking_ = false;
    bool stopped_ = false;
};

}  // namespace orvane::settings
