// SPDX-License-Identifier: MIT
#include "platform/linux/SleepMonitor.h"

#include <systemd/sd-bus.h>

#include <cstring>

namespace orvane::platform::linux_ {

SleepMonitor::SleepMonitor(std::function<void()> onResume) : onResume_(std::move(onResume)) {
    sd_bus* bus = nullptr;
    if (int r = sd_bus_open_system(&bus); r < 0) {
        error_ = std::string("no system bus: ") + std::strerror(-r);
        return;
    }
    // Any sender: on the system bus only logind emits it, and a stray one
    // costs a rescan.
    const char* rule =
        "type='signal',path='/org/freedesktop/login1',interface='org.freedesktop.login1.Manager',"
        "member='PrepareForSleep'";
    const int r = sd_bus_add_match(
        bus, nullptr, rule,
        [](sd_bus_message* m, void* self, sd_bus_error*) {
            int sleeping = 0;
            if (sd_bus_message_read(m, "b", &sleeping) >= 0 && !sleeping)
                static_cast<SleepMonitor*>(self)->onResume_();
            return 0;
        },
        this);
    if (r < 0) {
        error_ = std::string("cannot follow logind: ") + std::strerror(-r);
        sd_bus_flush_close_unref(bus);
        return;
    }
    loop_ = std::make_unique<BusLoop>(bus);
}

}  // namespace orvane::platform::linux_
