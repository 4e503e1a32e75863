// SPDX-License-Identifier: MIT
#include "platform/linux/Backlight.h"

#include <systemd/sd-bus.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>

namespace orvane::platform::linux_ {

namespace fs = std::filesystem;

namespace {
int rank(const std::string& type) {
    constexpr std::array<const char*, 3> order{"firmware", "platform", "raw"};
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (type == order[i]) return static_cast<int>(i);
    }
    return static_cast<int>(order.size());
}

/// logind's SetBrightness for the caller's session; false when it refused or
/// is not there.
bool setThroughLogind(const std::string& name, std::uint32_t value) {
    sd_bus* bus = nullptr;
    if (sd_bus_open_system(&bus) < 0) return false;
    sd_bus_error error{};  // SD_BUS_ERROR_NULL, without its C99 compound literal
    const int rc =
        sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1/session/auto",
                           "org.freedesktop.login1.Session", "SetBrightness", &error, nullptr,
                           "ssu", "backlight", name.c_str(), value);
    sd_bus_error_free(&error);
    sd_bus_flush_close_unref(bus);
    return rc >= 0;
}
}  // namespace

std::optional<Backlight> Backlight::find(const std::string& root) {
    std::optional<std::pair<int, fs::path>> best;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(root + "/sys/class/backlight"), ec)) {
        std::ifstream in(entry.path() / "type");
        std::string type;
        std::getline(in, type);
        const int r = rank(type);
        if (!best || r < best->first || (r == best->first && entry.path() < best->second))
            best = std::pair{r, entry.path()};
    }
    if (!best) return std::nullopt;
    return Backlight(best->second.string(), best->second.filename().string());
}

std::optional<long> Backlight::read(const char* file) const {
    std::ifstream in(fs::path(dir_) / file);
    long value = 0;
    if (!(in >> value) || value < 0) return std::nullopt;
    return value;
}

std::optional<float> Backlight::level() const {
    auto value = read("brightness");
    auto max = read("max_brightness");
    if (!value || !max || *max <= 0) return std::nullopt;
    return std::clamp(static_cast<float>(*value) / static_cast<float>(*max), 0.0f, 1.0f);
}

bool Backlight::setLevel(float level) const {
    auto max = read("max_brightness");
    if (!max || *max <= 0 || !(level >= 0 && level <= 1)) return false;
    const auto value = static_cast<std::uint32_t>(std::lround(level * static_cast<float>(*max)));
    if (setThroughLogind(name_, value)) return true;
    std::ofstream out(fs::path(dir_) / "brightness");
    out << value;
    out.flush();
    return static_cast<bool>(out);
}

}  // namespace orvane::platform::linux_
