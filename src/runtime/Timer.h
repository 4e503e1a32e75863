// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "runtime/Executor.h"

namespace orvane::runtime {

/// A one-shot timer on an executor; destroying or invalidating it before it
/// fires cancels it.
class Timer {
  public:
    Timer(Executor& executor, Duration after, std::function<void()> fn)
        : live_(std::make_shared<std::atomic<bool>>(true)) {
        executor.postAfter(after, [live = live_, fn = std::move(fn)] {
            if (live->exchange(false)) fn();
        });
    }
    ~Timer() { invalidate(); }
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    void invalidate() { *live_ = false; }
    bool isValid() const { return *live_; }

  private:
    std::shared_ptr<std::atomic<bool>> live_;
};

}  // namespace orvane::runtime
