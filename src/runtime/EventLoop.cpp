// SPDX-License-Identifier: MIT
#include "runtime/EventLoop.h"

#include <thread>

namespace orvane::runtime {

EventLoop::EventLoop() : epoch_(std::chrono::steady_clock::now()) {}

EventLoop::~EventLoop() {
    discardPending();
}

void EventLoop::discardPending() {
    decltype(items_) dropped;
    {
        std::lock_guard lock(mutex_);
        dropped.swap(items_);
    }
    dropped = {};  // outside the lock: an item's captures may post on destruction
    destroyRoots();
}

void EventLoop::post(std::function<void()> fn) {
    postAfter(Duration{0}, std::move(fn));
}

void EventLoop::postAfter(Duration d, std::function<void()> fn) {
    {
        std::lock_guard lock(mutex_);
        items_.push(Item{now() + d, nextSeq_++, std::move(fn)});
    }
    wake_.notify_one();
}

TimePoint EventLoop::now() const {
    return std::chrono::duration_cast<TimePoint>(std::chrono::steady_clock::now() - epoch_);
}

void EventLoop::sleepFor(Duration d) {
    std::this_thread::sleep_for(d);
}

void EventLoop::run() {
    loop(nullptr);
}

void EventLoop::runUntilIdle(const std::function<bool()>& othersIdle) {
    loop(&othersIdle);
}

void EventLoop::loop(const std::function<bool()>* othersIdle) {
    using namespace std::chrono_literals;
    std::unique_lock lock(mutex_);
    stopping_ = false;
    while (!stopping_) {
        if (items_.empty()) {
            if (!othersIdle) {
                wake_.wait(lock);
                continue;
            }
            // The others first: work that finished has posted its results by then.
            lock.unlock();
            const bool idle = (*othersIdle)();
            lock.lock();
            if (idle && items_.empty()) return;
            wake_.wait_for(lock, 2ms);
            continue;
        }
        TimePoint due = items_.top().at;
        if (due > now()) {
            wake_.wait_for(lock, due - now());
            continue;
        }
        auto fn = std::move(const_cast<Item&>(items_.top()).fn);
        items_.pop();
        lock.unlock();
        fn();
        lock.lock();
    }
}

void EventLoop::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
}

}  // namespace orvane::runtime
