// SPDX-License-Identifier: MIT
#include "platform/linux/NightLight.h"

#include <gio/gio.h>
#include <systemd/sd-bus.h>

#include <array>
#include <filesystem>
#include <fstream>

namespace orvane::platform::linux_ {

namespace {

bool gnomeNightLightOn() {
    constexpr const char* kSchema = "org.gnome.settings-daemon.plugins.color";
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    GSettingsSchema* schema =
        source ? g_settings_schema_source_lookup(source, kSchema, TRUE) : nullptr;
    if (!schema) return false;
    const bool known = g_settings_schema_has_key(schema, "night-light-enabled");
    g_settings_schema_unref(schema);
    if (!known) return false;
    GSettings* settings = g_settings_new(kSchema);
    const bool on = g_settings_get_boolean(settings, "night-light-enabled");
    g_object_unref(settings);
    return on;
}

bool kdeNightColorRunning() {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) return false;
    // A KWin that does not answer at once is not one to wait for at start.
    sd_bus_set_method_call_timeout(bus, 500'000);
    // Plasma 5's interface, then Plasma 6's.
    static constexpr std::array<std::array<const char*, 2>, 2> kInterfaces{
        {{"/ColorCorrect", "org.kde.kwin.ColorCorrect"},
         {"/org/kde/KWin/NightLight", "org.kde.KWin.NightLight"}}};
    int running = 0;
    for (const auto& [path, interface] : kInterfaces) {
        sd_bus_error error{};  // SD_BUS_ERROR_NULL, without its C99 compound literal
        const int r = sd_bus_get_property_trivial(bus, "org.kde.KWin", path, interface, "running",
                                                  &error, 'b', &running);
        sd_bus_error_free(&error);
        if (r >= 0) break;
    }
    sd_bus_flush_close_unref(bus);
    return running != 0;
}

}  // namespace

std::string activeNightLight(const std::string& root, const std::string& desktop) {
    static constexpr std::array<const char*, 3> kTools{"gammastep", "redshift", "wlsunset"};
    std::error_code ec;
    for (std::filesystem::directory_iterator it(root + "/proc", ec), end; !ec && it != end;
         it.increment(ec)) {
        const auto pid = it->path().filename().string();
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream in(it->path() / "comm");
        std::string comm;
        std::getline(in, comm);
        for (const char* tool : kTools)
            if (comm == tool) return tool;
    }
    if (desktop.find("GNOME") != std::string::npos && gnomeNightLightOn())
        return "GNOME's Night Light";
    if (desktop.find("KDE") != std::string::npos && kdeNightColorRunning())
        return "KDE's Night Color";
    return {};
}

}  // namespace orvane::platform::linux_
