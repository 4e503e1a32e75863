// SPDX-License-Identifier: MIT
#pragma once

#include <coroutine>
#include <utility>
#include <vector>

namespace orvane::runtime {

/// Coroutines parked until someone calls resumeAll(). Single-threaded: the
/// waiters and the caller of resumeAll() are all on the main executor.
class WaitList {
  public:
    struct Awaiter {
        WaitList& list;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> h) { list.waiters_.push_back(h); }
        void await_resume() const noexcept {}
    };

    Awaiter wait() { return Awaiter{*this}; }
    bool empty() const { return waiters_.empty(); }
    void resumeAll() {
        auto waiters = std::exchange(waiters_, {});
        for (auto h : waiters)
            h.resume();
    }

  private:
    std::vector<std::coroutine_handle<>> waiters_;
};

}  // namespace orvane::runtime
