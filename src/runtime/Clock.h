// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>

namespace orvane::runtime {

using Duration = std::chrono::nanoseconds;
/// Time since the clock's epoch (process start, or zero on a virtual clock).
using TimePoint = std::chrono::nanoseconds;

/// The time source. A blocking sleep belongs here because device pauses
/// (reply delays, usleep between request and reply) must run on the same
/// virtual time as everything else in tests.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
    /// Blocks the calling thread (or, on a virtual clock, the calling lane).
    virtual void sleepFor(Duration d) = 0;
};

}  // namespace orvane::runtime
