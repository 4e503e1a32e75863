// SPDX-License-Identifier: MIT
#pragma once

#include <coroutine>
#include <exception>
#include <functional>
#include <memory>
#include <stop_token>

#include "runtime/Executor.h"
#include "runtime/Task.h"

namespace orvane::runtime {

namespace detail {

/// A fire-and-forget coroutine that owns itself: it frees its frame when it
/// finishes, or the executor frees it when the executor goes away first.
struct RootTask {
    struct promise_type {
        Executor* executor = nullptr;
        std::stop_token stopToken;

        RootTask get_return_object() noexcept {
            return RootTask{std::coroutine_handle<promise_type>::from_promise(*this)};
        }
        std::suspend_always initial_suspend() noexcept { return {}; }
        std::suspend_never final_suspend() noexcept { return {}; }
        void return_void() noexcept {}
        void unhandled_exception() noexcept { std::terminate(); }
        ~promise_type() {
            if (executor) {
                executor->untrackRoot(std::coroutine_handle<promise_type>::from_promise(*this));
            }
        }
    };
    std::coroutine_handle<promise_type> handle;
};

inline RootTask runRoot(Task<void> task, std::function<void(std::exception_ptr)> done) {
    std::exception_ptr error;
    try {
        co_await std::move(task);
    } catch (...) {
        error = std::current_exception();
    }
    if (done) done(error);
}

}  // namespace detail

/// Starts task on the executor (on its next turn) without awaiting it. done, if
/// given, learns how it ended; an exception nobody asked about is dropped, as a
/// detached operation's failure has nobody to report to.
inline void spawn(Executor& executor, Task<void> task,
                  std::function<void(std::exception_ptr)> done = {}, std::stop_token token = {}) {
    auto root = detail::runRoot(std::move(task), std::move(done));
    auto h = root.handle;
    h.promise().executor = &executor;
    h.promise().stopToken = std::move(token);
    executor.trackRoot(h);
    executor.post([h] { h.resume(); });
}

/// Starts a member coroutine of owner, keeping owner alive until it ends: the
/// task starts on a later turn, when the caller's reference may be gone.
template <typename T>
void spawnRetaining(Executor& executor, std::shared_ptr<T> owner, Task<void> task) {
    spawn(executor, [](std::shared_ptr<T>, Task<void> t) -> Task<void> {
        co_await std::move(t);
    }(std::move(owner), std::move(task)));
}

}  // namespace orvane::runtime
