// SPDX-License-Identifier: MIT
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <queue>
#include <vector>

#include "runtime/RunLoop.h"

namespace orvane::runtime {

/// The production main executor: the thread that calls run() is the main thread.
/// Thread-safe: worker queues post their results here. Its clock is the steady clock.
class EventLoop final : public RunLoop {
  public:
    EventLoop();
    ~EventLoop() override;

    void post(std::function<void()> fn) override;
    void postAfter(Duration d, std::function<void()> fn) override;
    TimePoint now() const override;
    void sleepFor(Duration d) override;

    void run() override;
    /// Timers count as work left.
    void runUntilIdle(const std::function<bool()>& othersIdle) override;
    void stop() override;
    void discardPending() override;

  private:
    void loop(const std::function<bool()>* othersIdle);
    struct Item {
        TimePoint at;
        std::uint64_t seq;
        std::function<void()> fn;
    };
    struct Later {
        bool operator()(const Item& a, const Item& b) const {
            return a.at != b.at ? a.at > b.at : a.seq > b.seq;
        }
    };
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::priority_queue<Item, std::vector<Item>, Later> items_;
    std::uint64_t nextSeq_ = 0;
    bool stopping_ = false;
    std::chrono::steady_clock::time_point epoch_;
};

}  // namespace orvane::runtime
