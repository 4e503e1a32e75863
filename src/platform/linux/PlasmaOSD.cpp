// SPDX-License-Identifier: MIT
#include "platform/linux/PlasmaOSD.h"

#include "platform/linux/BusLoop.h"

#include <systemd/sd-bus.h>

#include <algorithm>
#include <cmath>

namespace orvane::platform::linux_ {

namespace {
constexpr const char* kService = "org.kde.plasmashell";
constexpr const char* kPath = "/org/kde/osdService";
constexpr const char* kInterface = "org.kde.osdService";
}  // namespace

std::unique_ptr<PlasmaOSD> PlasmaOSD::open(std::string& error) {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) {
        error = "no session bus";
        return nullptr;
    }
    return std::unique_ptr<PlasmaOSD>(new PlasmaOSD(bus));
}

PlasmaOSD::~PlasmaOSD() {
    sd_bus_flush_close_unref(bus_);
}

bool PlasmaOSD::show(OSDKind kind, const std::string& label, double level) {
    // Asked each time: plasmashell may have restarted, or not started yet.
    if (!busNameHasOwner(bus_, kService)) return false;

    const int percent = int(std::lround(std::clamp(level, 0.0, 1.0) * 100));
    sd_bus_message* m = nullptr;
    const char* method = kind == OSDKind::brightness ? "brightnessChanged"
                         : kind == OSDKind::volume   ? "volumeChanged"
                                                     : "showText";
    if (sd_bus_message_new_method_call(bus_, &m, kService, kPath, kInterface, method) < 0)
        return false;
    if (kind == OSDKind::other) {
        const auto text = label + " " + std::to_string(percent) + "%";
        sd_bus_message_append(m, "ss", "video-display", text.c_str());
    } else {
        sd_bus_message_append(m, "i", percent);
    }
    sd_bus_message_set_expect_reply(m, 0);
    const int r = sd_bus_send(bus_, m, nullptr);
    sd_bus_message_unref(m);
    return r >= 0 && sd_bus_flush(bus_) >= 0;
}

}  // namespace orvane::platform::linux_
