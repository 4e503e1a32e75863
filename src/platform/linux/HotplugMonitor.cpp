// SPDX-License-Identifier: MIT
#include "platform/linux/HotplugMonitor.h"

#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace orvane::platform::linux_ {

HotplugMonitor::HotplugMonitor(std::function<void()> onChange) : onChange_(std::move(onChange)) {
    udev_ = udev_new();
    if (udev_) monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (!monitor_ ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor_, "drm", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor_) < 0) {
        error_ = "udev is not reachable";
        return;
    }
    wakeFd_ = eventfd(0, EFD_CLOEXEC);
    if (wakeFd_ < 0) {
        error_ = "no eventfd";
        return;
    }
    const int fd = udev_monitor_get_fd(monitor_);
    thread_ = std::jthread([this, fd](std::stop_token stop) { watch(fd, stop); });
}

HotplugMonitor::~HotplugMonitor() {
    if (thread_.joinable()) {
        thread_.request_stop();
        const std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(wakeFd_, &one, sizeof one);
        thread_.join();
    }
    if (wakeFd_ >= 0) ::close(wakeFd_);
    if (monitor_) udev_monitor_unref(monitor_);
    if (udev_) udev_unref(udev_);
}

void HotplugMonitor::watch(int monitorFd, std::stop_token stop) {
    while (!stop.stop_requested()) {
        pollfd fds[2] = {{monitorFd, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents) return;
        if (!(fds[0].revents & POLLIN)) continue;
        if (udev_device* device = udev_monitor_receive_device(monitor_)) {
            udev_device_unref(device);
            onChange_();
        }
    }
}

}  // namespace orvane::platform::linux_
