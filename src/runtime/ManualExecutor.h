// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <queue>
#include <string>
#include <vector>

#include "runtime/Clock.h"
#include "runtime/Executor.h"
#include "runtime/SerialQueue.h"

namespace orvane::runtime {

/// A deterministic executor on a virtual clock, for tests and benchmarks.
///
/// Work runs only when the owner drives it (runUntilIdle, runFor). Serial queues
/// made by makeLane() run on the same thread as lanes: each lane runs one item at
/// a time, but lanes overlap in virtual time, as worker threads would. A blocking
/// sleepFor() inside an item advances only that item's own time; whatever the
/// item posts is scheduled at that later time. So three failing attempts with two
/// 40 ms sleeps take microseconds of real time and exact virtual time.
class ManualExecutor final : public Executor, public Clock {
  public:
    ManualExecutor();
    ~ManualExecutor() override;

    void post(std::function<void()> fn) override;
    void postAfter(Duration d, std::function<void()> fn) override;

    TimePoint now() const override;
    void sleepFor(Duration d) override;

    /// A serial queue whose items run on this executor as one lane.
    std::unique_ptr<SerialQueue> makeLane(std::string label);

    /// Runs the next item, advancing the clock to it. False when nothing is queued.
    bool runOne();
    /// Runs until nothing is queued; returns the number of items run.
    std::size_t runUntilIdle();
    /// Runs items due up to now() + d, then sets the clock to that time.
    std::size_t runFor(Duration d);
    std::size_t pending() const;

  private:
    friend class ManualLane;
    struct Item {
        TimePoint at;
        std::uint64_t seq;
        int lane;
        std::function<void()> fn;
    };
    struct Later {
        bool operator()(const Item& a, const Item& b) const {
            return a.at != b.at ? a.at > b.at : a.seq > b.seq;
        }
    };
    void enqueue(TimePoint at, int lane, std::function<void()> fn);
    bool runNext(TimePoint limit);

    mutable std::mutex mutex_;
    std::priority_queue<Item, std::vector<Item>, Later> items_;
    std::vector<TimePoint> laneBusyUntil_;
    std::uint64_t nextSeq_ = 0;
    TimePoint time_{0};
    bool running_ = false;
    TimePoint itemTime_{0};  // the running item's own time, moved on by sleepFor
};

}  // namespace orvane::runtime
