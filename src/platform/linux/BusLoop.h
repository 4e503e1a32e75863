// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

struct sd_bus;

namespace orvane::platform::linux_ {

/// A session-bus connection served by a thread of its own: it dispatches
/// the connection's signals and runs posted work, one thing at a time, so
/// the connection is only ever touched from that thread.
/// Whether name has an owner on bus now; false when the bus cannot tell.
bool busNameHasOwner(sd_bus* bus, const char* name);

class BusLoop {
  public:
    /// Takes bus (its matches already added) and starts serving it.
    explicit BusLoop(sd_bus* bus);
    /// Stops the thread, then closes the connection.
    ~BusLoop();
    /// Stops the thread and leaves the connection open, for last messages
    /// from the caller's thread; what is posted after it never runs.
    void stop();
    BusLoop(const BusLoop&) = delete;
    BusLoop& operator=(const BusLoop&) = delete;

    /// Runs work on the loop's thread, outside any dispatch.
    void post(std::function<void()> work);
    bool running() const { return thread_.joinable(); }

  private:
    void run();
    sd_bus* bus_;
    std::mutex lock_;
    std::deque<std::function<void()>> work_;
    int wake_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace orvane::platform::linux_
