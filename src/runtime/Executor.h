// SPDX-License-Identifier: MIT
#pragma once

#include <coroutine>
#include <functional>
#include <mutex>
#include <unordered_set>

#include "runtime/Clock.h"

namespace orvane::runtime {

/// The main thread's executor: every state change runs on it.
class Executor {
  public:
    virtual ~Executor();
    /// Runs fn on the executor after everything already posted for now.
    virtual void post(std::function<void()> fn) = 0;
    /// Runs fn once d has passed on the executor's clock.
    virtual void postAfter(Duration d, std::function<void()> fn) = 0;

    // Root coroutines started by spawn() register here, so an executor that goes
    // away with work pending destroys their frames instead of leaking them.
    void trackRoot(std::coroutine_handle<> h);
    void untrackRoot(std::coroutine_handle<> h);
    std::size_t liveRoots() const;

  protected:
    /// Implementations call this from their destructor after dropping queued items.
    void destroyRoots();

  private:
    mutable std::mutex rootsMutex_;
    std::unordered_set<void*> roots_;
    bool destroying_ = false;
};

}  // namespace orvane::runtime
