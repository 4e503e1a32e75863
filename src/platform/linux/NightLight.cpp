// SPDX-License-Identifier: MIT
#include "platform/linux/NightLight.h"

#include <gio/gio.h>

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

}  // namespace

std::string activeNightLight(const std::string& root, bool gnome) {
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
    if (gnome && gnomeNightLightOn()) return "GNOME's Night Light";
    return {};
}

}  // namespace orvane::platform::linux_
