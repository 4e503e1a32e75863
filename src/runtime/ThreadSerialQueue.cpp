// SPDX-License-Identifier: MIT
#include "runtime/ThreadSerialQueue.h"

#include <pthread.h>

namespace orvane::runtime {

ThreadSerialQueue::ThreadSerialQueue(std::string label)
    : label_(std::move(label)), worker_([this] { work(); }) {
    // Thread names are limited to 15 characters; keep the distinctive tail.
    std::string name = label_.size() > 15 ? label_.substr(label_.size() - 15) : label_;
    pthread_setname_np(worker_.native_handle(), name.c_str());
}

ThreadSerialQueue::~ThreadSerialQueue() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
}

void ThreadSerialQueue::close() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(mutex_);
        closing_ = closed_ = true;
        dropped.swap(items_);
    }
    wake_.notify_all();
    if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
}

void ThreadSerialQueue::async(std::function<void()> item) {
    {
        std::lock_guard lock(mutex_);
        if (closed_) return;
        items_.push_back(std::move(item));
    }
    wake_.notify_one();
}

bool ThreadSerialQueue::idle() {
    std::lock_guard lock(mutex_);
    return items_.empty() && !busy_;
}

void ThreadSerialQueue::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return closing_ || !items_.empty(); });
        if (items_.empty()) return;
        auto item = std::move(items_.front());
        items_.pop_front();
        busy_ = true;
        lock.unlock();
        item();
        lock.lock();
        busy_ = false;
    }
}

}  // namespace orvane::runtime
