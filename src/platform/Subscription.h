// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <utility>

namespace orvane::platform {

/// Keeps a platform notification coming while it lives; destroying or
/// resetting it stops the notification, and no call starts after that.
class Subscription {
  public:
    Subscription() = default;
    explicit Subscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    Subscription(Subscription&& other) noexcept : cancel_(std::exchange(other.cancel_, {})) {}
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            reset();
            cancel_ = std::exchange(other.cancel_, {});
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { reset(); }

    explicit operator bool() const { return static_cast<bool>(cancel_); }
    void reset() {
        if (auto cancel = std::exchange(cancel_, {})) cancel();
    }

  private:
    std::function<void()> cancel_;
};

}  // namespace orvane::platform
