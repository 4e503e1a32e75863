// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

#include "runtime/Clock.h"
#include "runtime/Executor.h"

namespace orvane::runtime {

/// The main thread's loop: the core's own EventLoop for headless runs, a
/// toolkit's event loop when a GUI runs on the same thread.
class RunLoop : public Executor, public Clock {
  public:
    /// Runs items until stop() is called.
    virtual void run() = 0;
    /// Runs until stop() or until nothing is left, while othersIdle says the
    /// work that could post more is done too. Loops that cannot tell throw
    /// std::logic_error.
    virtual void runUntilIdle(const std::function<bool()>& othersIdle) = 0;
    /// Makes run() return after the item in progress. Callable from any thread.
    virtual void stop() = 0;
    /// Drops every queued item and the coroutines waiting on them; main
    /// thread, after run() has returned.
    virtual void discardPending() = 0;
};

}  // namespace orvane::runtime
