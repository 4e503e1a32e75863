// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <stop_token>
#include <string>

#include "runtime/Executor.h"
#include "runtime/Task.h"

namespace orvane::gui {

/// Lets only the last of a burst of slider changes through: each change
/// under a key cancels the one before and waits 50 ms on the executor's
/// clock. A pending action outlives the card that started it.
class Debouncer {
  public:
    static constexpr std::chrono::milliseconds kDelay{50};

    explicit Debouncer(runtime::Executor& main) : main_(main) {}
    ~Debouncer();
    Debouncer(const Debouncer&) = delete;
    Debouncer& operator=(const Debouncer&) = delete;

    /// Runs action after the delay unless another change to key comes first.
    void debounce(const std::string& key, std::function<runtime::Task<void>()> action);

  private:
    runtime::Executor& main_;
    std::map<std::string, std::stop_source> timers_;
};

}  // namespace orvane::gui
