// SPDX-License-Identifier: MIT
#pragma once

#include <coroutine>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>

#include "runtime/Executor.h"
#include "runtime/SerialQueue.h"

namespace orvane::runtime {

namespace detail {

template <typename R>
struct QueueState {
    std::mutex mutex;
    std::coroutine_handle<> handle;
    std::conditional_t<std::is_void_v<R>, bool, std::optional<R>> value{};
    std::exception_ptr error;

    void resume() {
        std::coroutine_handle<> h;
        {
            std::lock_guard lock(mutex);
            h = std::exchange(handle, {});
        }
        if (h) h.resume();
    }
    void detach() {
        std::lock_guard lock(mutex);
        handle = {};
    }
};

template <typename Fn>
class QueueAwaiter {
  public:
    using R = std::invoke_result_t<Fn&>;

    QueueAwaiter(SerialQueue& queue, Executor& main, Fn fn)
        : queue_(queue), main_(main), fn_(std::move(fn)) {}
    QueueAwaiter(QueueAwaiter&&) = default;
    ~QueueAwaiter() {
        if (state_) state_->detach();
    }

    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> h) {
        state_ = std::make_shared<QueueState<R>>();
        state_->handle = h;
        queue_.async([s = state_, fn = std::move(fn_), main = &main_]() mutable {
            try {
                if constexpr (std::is_void_v<R>) {
                    fn();
                } else {
                    s->value.emplace(fn());
                }
            } catch (...) {
                s->error = std::current_exception();
            }
            main->post([s] { s->resume(); });
        });
    }
    R await_resume() {
        if (state_->error) std::rethrow_exception(state_->error);
        if constexpr (!std::is_void_v<R>) return std::move(*state_->value);
    }

  private:
    SerialQueue& queue_;
    Executor& main_;
    Fn fn_;
    std::shared_ptr<QueueState<R>> state_;
};

}  // namespace detail

/// Runs fn on queue and resumes the awaiting task on main with its result or
/// exception. If the awaiting task is destroyed first, the result is dropped.
template <typename Fn>
detail::QueueAwaiter<Fn> onQueue(SerialQueue& queue, Executor& main, Fn fn) {
    return detail::QueueAwaiter<Fn>(queue, main, std::move(fn));
}

}  // namespace orvane::runtime
