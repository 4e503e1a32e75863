// SPDX-License-Identifier: MIT
// logind's PrepareForSleep, emitted on a private bus that stands in for the
// system bus.

#include <systemd/sd-bus.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

#include "platform/linux/SleepMonitor.h"

namespace orvane::platform::linux_ {
namespace {

void emitPrepareForSleep(bool sleeping) {
    sd_bus* bus = nullptr;
    ASSERT_GE(sd_bus_open_user(&bus), 0);
    ASSERT_GE(sd_bus_emit_signal(bus, "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                 "PrepareForSleep", "b", sleeping ? 1 : 0),
              0);
    sd_bus_flush_close_unref(bus);
}

TEST(SleepMonitor, EveryResumeIsReportedAndGoingToSleepIsNot) {
    const char* session = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!session)
        GTEST_SKIP() << "needs a session bus (run through tests/support/with-session-bus.sh)";
    setenv("DBUS_SYSTEM_BUS_ADDRESS", session, 1);
    std::mutex m;
    std::condition_variable changed;
    int resumes = 0;
    SleepMonitor monitor([&] {
        std::lock_guard lock(m);
        ++resumes;
        changed.notify_all();
    });
    ASSERT_EQ(monitor.error(), "");
    emitPrepareForSleep(true);
    emitPrepareForSleep(false);
    emitPrepareForSleep(true);
    emitPrepareForSleep(false);
    std::unique_lock lock(m);
    // Waits for the bus to deliver, not for a time to pass.
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return resumes >= 2; }));
    EXPECT_EQ(resumes, 2);
}

TEST(SleepMonitor, WithoutASystemBusItSaysWhy) {
    const char* before = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    const std::string saved = before ? before : "";
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/orvane-test", 1);
    SleepMonitor monitor([] {});
    EXPECT_NE(monitor.error().find("no system bus"), std::string::npos) << monitor.error();
    if (before) setenv("DBUS_SYSTEM_BUS_ADDRESS", saved.c_str(), 1);
}

}  // namespace
}  // namespace orvane::platform::linux_
