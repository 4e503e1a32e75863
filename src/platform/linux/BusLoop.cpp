// SPDX-License-Identifier: MIT
#include "platform/linux/BusLoop.h"

#include <poll.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>

namespace orvane::platform::linux_ {

bool busNameHasOwner(sd_bus* bus, const char* name) {
    sd_bus_error e{};  // SD_BUS_ERROR_NULL, without its C99 compound literal
    sd_bus_message* reply = nullptr;
    int owned = 0;
    if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "NameHasOwner", &e, &reply, "s", name) >= 0)
        sd_bus_message_read(reply, "b", &owned);
    sd_bus_message_unref(reply);
    sd_bus_error_free(&e);
    return owned != 0;
}

BusLoop::BusLoop(sd_bus* bus) : bus_(bus) {
    if (pipe(wake_) == 0) thread_ = std::thread([this] { run(); });
}

BusLoop::~BusLoop() {
    stop();
    for (int fd : wake_) {
        if (fd >= 0) close(fd);
    }
    sd_bus_flush_close_unref(bus_);
}

void BusLoop::stop() {
    stopping_ = true;
    if (thread_.joinable()) {
        const char byte = 0;
        (void)!write(wake_[1], &byte, 1);
        thread_.join();
    }
}

void BusLoop::post(std::function<void()> work) {
    {
        std::lock_guard lock(lock_);
        work_.push_back(std::move(work));
    }
    const char byte = 1;
    (void)!write(wake_[1], &byte, 1);
}

void BusLoop::run() {
    while (!stopping_) {
        while (sd_bus_process(bus_, nullptr) > 0) {
        }
        std::deque<std::function<void()>> work;
        {
            std::lock_guard lock(lock_);
            work.swap(work_);
        }
        for (auto& w : work)
            w();
        if (!work.empty()) continue;
        pollfd fds[2] = {{sd_bus_get_fd(bus_), short(sd_bus_get_events(bus_)), 0},
                         {wake_[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
        if (fds[1].revents) {
            char bytes[64];
            (void)!read(wake_[0], bytes, sizeof bytes);
        }
    }
}

}  // namespace orvane::platform::linux_
