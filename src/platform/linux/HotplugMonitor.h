// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <string>
#include <thread>

struct udev;
struct udev_monitor;

namespace orvane::platform::linux_ {

/// Watches udev for changes of the drm subsystem (a connector plugged or
/// unplugged) on a thread of its own and calls onChange for each.
class HotplugMonitor {
  public:
    /// Starts watching; error() says why not when udev cannot be reached.
    explicit HotplugMonitor(std::function<void()> onChange);
    ~HotplugMonitor();
    HotplugMonitor(const HotplugMonitor&) = delete;
    HotplugMonitor& operator=(const HotplugMonitor&) = delete;

    /// Empty while watching.
    const std::string& error() const { return error_; }

  private:
    void watch(int monitorFd, std::stop_token stop);
    std::function<void()> onChange_;
    std::string error_;
    ::udev* udev_ = nullptr;
    ::udev_monitor* monitor_ = nullptr;
    int wakeFd_ = -1;
    std::jthread thread_;
};

}  // namespace orvane::platform::linux_
