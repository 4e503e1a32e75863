// SPDX-License-Identifier: MIT
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "runtime/SerialQueue.h"

namespace orvane::runtime {

/// A serial queue with its own worker thread. Destruction runs what is already
/// queued, then joins the worker.
class ThreadSerialQueue final : public SerialQueue {
  public:
    explicit ThreadSerialQueue(std::string label);
    ~ThreadSerialQueue() override;
    ThreadSerialQueue(const ThreadSerialQueue&) = delete;
    ThreadSerialQueue& operator=(const ThreadSerialQueue&) = delete;

    void async(std::function<void()> item) override;
    /// Drops what is queued, waits for the item in progress and joins the
    /// worker; later items are dropped. For shutdown, before what the items
    /// use goes away.
    void close();
    const std::string& label() const override { return label_; }
    /// Nothing queued and nothing running. An item's results are posted
    /// before it counts as done.
    bool idle();

  private:
    void work();

    std::string label_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> items_;
    bool closing_ = false;
    bool closed_ = false;
    bool busy_ = false;
    std::thread worker_;
};

}  // namespace orvane::runtime
