// SPDX-License-Identifier: MIT
#include "runtime/ManualExecutor.h"

#include <algorithm>
#include <utility>

namespace orvane::runtime {

class ManualLane final : public SerialQueue {
  public:
    ManualLane(ManualExecutor& executor, int lane, std::string label)
        : executor_(executor), lane_(lane), label_(std::move(label)) {}
    void async(std::function<void()> item) override {
        executor_.enqueue(executor_.now(), lane_, std::move(item));
    }
    const std::string& label() const override { return label_; }

  private:
    ManualExecutor& executor_;
    int lane_;
    std::string label_;
};

ManualExecutor::ManualExecutor() : laneBusyUntil_(1, TimePoint{0}) {}

ManualExecutor::~ManualExecutor() {
    {
        std::lock_guard lock(mutex_);
        items_ = {};
    }
    destroyRoots();
}

void ManualExecutor::post(std::function<void()> fn) {
    enqueue(now(), 0, std::move(fn));
}

void ManualExecutor::postAfter(Duration d, std::function<void()> fn) {
    enqueue(now() + std::max(d, Duration{0}), 0, std::move(fn));
}

TimePoint ManualExecutor::now() const {
    std::lock_guard lock(mutex_);
    return running_ ? itemTime_ : time_;
}

void ManualExecutor::sleepFor(Duration d) {
    std::lock_guard lock(mutex_);
    if (d <= Duration{0}) return;
    if (running_) {
        itemTime_ += d;
    } else {
        time_ += d;
    }
}

std::unique_ptr<SerialQueue> ManualExecutor::makeLane(std::string label) {
    int lane;
    {
        std::lock_guard lock(mutex_);
        lane = static_cast<int>(laneBusyUntil_.size());
        laneBusyUntil_.push_back(TimePoint{0});
    }
    return std::make_unique<ManualLane>(*this, lane, std::move(label));
}

void ManualExecutor::enqueue(TimePoint at, int lane, std::function<void()> fn) {
    std::lock_guard lock(mutex_);
    items_.push(Item{at, nextSeq_++, lane, std::move(fn)});
}

bool ManualExecutor::runNext(TimePoint limit) {
    Item item;
    {
        std::lock_guard lock(mutex_);
        for (;;) {
            if (items_.empty() || items_.top().at > limit) return false;
            item = std::move(const_cast<Item&>(items_.top()));
            items_.pop();
            // A lane still busy with an earlier item (it slept) starts this one later.
            TimePoint start =
                std::max(item.at, laneBusyUntil_[static_cast<std::size_t>(item.lane)]);
            if (start == item.at) break;
            item.at = start;
            items_.push(std::move(item));
        }
        time_ = std::max(time_, item.at);
        running_ = true;
        itemTime_ = item.at;
    }
    item.fn();
    std::lock_guard lock(mutex_);
    laneBusyUntil_[static_cast<std::size_t>(item.lane)] = itemTime_;
    running_ = false;
    return true;
}

bool ManualExecutor::runOne() {
    return runNext(TimePoint::max());
}

std::size_t ManualExecutor::runUntilIdle() {
    std::size_t n = 0;
    while (runNext(TimePoint::max()))
        ++n;
    return n;
}

std::size_t ManualExecutor::runFor(Duration d) {
    TimePoint limit = now() + d;
    std::size_t n = 0;
    while (runNext(limit))
        ++n;
    std::lock_guard lock(mutex_);
    time_ = std::max(time_, limit);
    return n;
}

std::size_t ManualExecutor::pending() const {
    std::lock_guard lock(mutex_);
    return items_.size();
}

}  // namespace orvane::runtime
