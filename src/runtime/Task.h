// SPDX-License-Identifier: MIT
#pragma once

// Debian 12 ships no coroutine library that also runs on a virtual clock, so this
// runtime keeps its own small task type: lazy, single-awaiter, exceptions travel
// through co_await, and a stop token is inherited from the awaiting task.

#include <coroutine>
#include <exception>
#include <optional>
#include <stop_token>
#include <utility>

namespace orvane::runtime {

template <typename T>
class Task;

namespace detail {

struct PromiseBase {
    std::coroutine_handle<> continuation;
    std::exception_ptr exception;
    std::stop_token stopToken;

    std::suspend_always initial_suspend() noexcept { return {}; }

    struct FinalAwaiter {
        bool await_ready() const noexcept { return false; }
        template <typename P>
        std::coroutine_handle<> await_suspend(std::coroutine_handle<P> self) noexcept {
            auto next = self.promise().continuation;
            return next ? next : std::noop_coroutine();
        }
        void await_resume() const noexcept {}
    };
    FinalAwaiter final_suspend() noexcept { return {}; }
    void unhandled_exception() noexcept { exception = std::current_exception(); }
};

template <typename T>
struct Promise : PromiseBase {
    std::optional<T> value;
    Task<T> get_return_object() noexcept;
    template <typename U>
    void return_value(U&& v) {
        value.emplace(std::forward<U>(v));
    }
    T result() {
        if (exception) std::rethrow_exception(exception);
        return std::move(*value);
    }
};

template <>
struct Promise<void> : PromiseBase {
    Task<void> get_return_object() noexcept;
    void return_void() noexcept {}
    void result() {
        if (exception) std::rethrow_exception(exception);
    }
};

/// Awaiters that care about cancellation read the stop token of whichever
/// coroutine awaits them; coroutines without one simply have none.
template <typename P>
std::stop_token stopTokenOf(std::coroutine_handle<P> h) {
    if constexpr (requires { h.promise().stopToken; }) {
        return h.promise().stopToken;
    } else {
        return {};
    }
}

}  // namespace detail

/// An asynchronous operation returning T or throwing. Starts when awaited.
template <typename T = void>
class [[nodiscard]] Task {
  public:
    using promise_type = detail::Promise<T>;
    using Handle = std::coroutine_handle<promise_type>;

    Task() = default;
    explicit Task(Handle h) : handle_(h) {}
    Task(Task&& other) noexcept : handle_(std::exchange(other.handle_, {})) {}
    Task& operator=(Task&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, {});
        }
        return *this;
    }
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;
    ~Task() { reset(); }

    struct Awaiter {
        Handle h;
        bool await_ready() const noexcept { return !h || h.done(); }
        template <typename P>
        std::coroutine_handle<> await_suspend(std::coroutine_handle<P> parent) noexcept {
            h.promise().continuation = parent;
            h.promise().stopToken = detail::stopTokenOf(parent);
            return h;
        }
        T await_resume() { return h.promise().result(); }
    };
    Awaiter operator co_await() && noexcept { return Awaiter{handle_}; }

  private:
    void reset() {
        if (handle_) handle_.destroy();
        handle_ = {};
    }
    Handle handle_;
};

namespace detail {
template <typename T>
Task<T> Promise<T>::get_return_object() noexcept {
    return Task<T>{std::coroutine_handle<Promise<T>>::from_promise(*this)};
}
inline Task<void> Promise<void>::get_return_object() noexcept {
    return Task<void>{std::coroutine_handle<Promise<void>>::from_promise(*this)};
}
}  // namespace detail

}  // namespace orvane::runtime
