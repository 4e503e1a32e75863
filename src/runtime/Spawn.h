// SPDX-License-Identifier: MIT
#pragma once

#include <coroutine>
#include <exception>
#include <functional>
#include <memory>
#include <stop_token>
#include <vector>

#include "runtime/Executor.h"
#include "runtime/Task.h"
#include "runtime/WaitList.h"

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

/// As spawn, for a task whose result nobody waits for.
template <typename T>
void spawn(Executor& executor, Task<T> task, std::function<void(std::exception_ptr)> done = {}) {
    spawn(
        executor, [](Task<T> t) -> Task<void> { co_await std::move(t); }(std::move(task)),
        std::move(done));
}

/// Awaits task, keeping owner alive until it ends (a member coroutine of owner,
/// awaited or collected where the caller's reference may be gone).
template <typename T, typename R>
Task<R> retaining(std::shared_ptr<T> owner, Task<R> task) {
    auto keep = std::move(owner);
    co_return co_await std::move(task);
}

/// Starts a member coroutine of owner, keeping owner alive until it ends: the
/// task starts on a later turn, when the caller's reference may be gone.
template <typename T, typename R = void>
void spawnRetaining(Executor& executor, std::shared_ptr<T> owner, Task<R> task) {
    spawn(executor, retaining(std::move(owner), std::move(task)));
}

/// Runs every task side by side on executor and ends when all have: true when
/// each returned true (one that threw counts as false).
inline Task<bool> allSucceed(Executor& executor, std::vector<Task<bool>> tasks) {
    struct State {
        std::size_t left = 0;
        bool ok = true;
        WaitList done;
    };
    auto state = std::make_shared<State>();
    state->left = tasks.size();
    for (auto& task : tasks) {
        spawn(executor, [](std::shared_ptr<State> s, Task<bool> t) -> Task<void> {
            bool ok = false;
            try {
                ok = co_await std::move(t);
            } catch (...) {
            }
            s->ok = s->ok && ok;
            if (--s->left == 0) s->done.resumeAll();
        }(state, std::move(task)));
    }
    while (state->left > 0)
        co_await state->done.wait();
    co_return state->ok;
}

}  // namespace orvane::runtime
