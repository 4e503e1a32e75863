// SPDX-License-Identifier: MIT
#pragma once

#include <coroutine>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>

#include "runtime/Executor.h"
#include "runtime/Task.h"

namespace orvane::runtime {

namespace detail {

/// Shared between the sleeping coroutine, the timer item and the stop callback:
/// whichever fires first resumes, the coroutine's frame may vanish meanwhile.
struct SleepState {
    std::mutex mutex;
    std::coroutine_handle<> handle;
    bool fired = false;
    bool cancelled = false;

    void fire(bool byCancel) {
        std::coroutine_handle<> h;
        {
            std::lock_guard lock(mutex);
            if (fired || !handle) return;
            fired = true;
            cancelled = byCancel;
            h = handle;
        }
        h.resume();
    }
    void detach() {
        std::lock_guard lock(mutex);
        handle = {};
    }
};

struct StopWake {
    std::weak_ptr<SleepState> state;
    Executor* executor;
    void operator()() const {
        // Resume on the executor, never on the thread that requested the stop.
        executor->post([s = state] {
            if (auto st = s.lock()) st->fire(true);
        });
    }
};

class SleepAwaiter {
  public:
    SleepAwaiter(Executor& executor, Duration d) : executor_(executor), duration_(d) {}
    ~SleepAwaiter() {
        stopCallback_.reset();
        if (state_) state_->detach();
    }

    bool await_ready() const noexcept { return false; }
    template <typename P>
    void await_suspend(std::coroutine_handle<P> h) {
        state_ = std::make_shared<SleepState>();
        state_->handle = h;
        executor_.postAfter(duration_, [s = state_] { s->fire(false); });
        if (auto token = stopTokenOf(h); token.stop_possible()) {
            stopCallback_.emplace(token, StopWake{state_, &executor_});
        }
    }
    /// True when the full duration passed, false when the sleep was cancelled.
    bool await_resume() {
        stopCallback_.reset();
        return !state_->cancelled;
    }

  private:
    Executor& executor_;
    Duration duration_;
    std::shared_ptr<SleepState> state_;
    std::optional<std::stop_callback<StopWake>> stopCallback_;
};

}  // namespace detail

/// Suspends the awaiting task for d on the executor's clock. A stop request on
/// the task's token ends the sleep early; the result says which happened.
inline detail::SleepAwaiter sleepFor(Executor& executor, Duration d) {
    return detail::SleepAwaiter(executor, d);
}

}  // namespace orvane::runtime
