// SPDX-License-Identifier: MIT
#include "platform/linux/DisplayDiscovery.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>

namespace orvane::platform::linux_ {

namespace fs = std::filesystem;

namespace {
// The kernel's DRM_MODE_CONNECTOR_* numbers, by the names sysfs uses.
constexpr std::array<std::pair<std::string_view, std::uint32_t>, 20> kConnectorTypes{{
    {"VGA", 1},     {"DVI-I", 2},   {"DVI-D", 3},      {"DVI-A", 4}, {"Composite", 5},
    {"SVIDEO", 6},  {"LVDS", 7},    {"Component", 8},  {"DIN", 9},   {"DP", 10},
    {"HDMI-A", 11}, {"HDMI-B", 12}, {"TV", 13},        {"eDP", 14},  {"Virtual", 15},
    {"DSI", 16},    {"DPI", 17},    {"Writeback", 18}, {"SPI", 19},  {"USB", 20},
}};
constexpr DisplayID kBusOnlyBase = 0xF00000;

std::string firstLine(const fs::path& p) {
    std::ifstream in(p);
    std::string line;
    std::getline(in, line);
    return line;
}

std::vector<std::uint8_t> bytesOf(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    // An EDID is at most 256 blocks; anything longer is not one.
    std::vector<std::uint8_t> data;
    char c;
    while (data.size() <= 256 * EDID::kBlockSize && in.get(c))
        data.push_back(static_cast<std::uint8_t>(c));
    return data;
}

/// N from a name "i2c-N".
std::optional<int> busNumber(const std::string& name) {
    static const std::regex pattern("i2c-([0-9]{1,6})");
    std::smatch m;
    if (!std::regex_match(name, m, pattern)) return std::nullopt;
    return std::stoi(m[1]);
}
}  // namespace

DisplayDiscovery::DisplayDiscovery(std::string root, EDIDReader readEDID)
    : root_(std::move(root)), readEDID_(std::move(readEDID)) {}

std::uint32_t DisplayDiscovery::connectorTypeCode(const std::string& type) {
    for (const auto& [name, code] : kConnectorTypes) {
        if (name == type) return code;
    }
    return 0;
}

std::string DisplayDiscovery::devicePath(int bus) const {
    return root_ + "/dev/i2c-" + std::to_string(bus);
}

std::vector<LinuxDisplay> DisplayDiscovery::scan() const {
    static const std::regex connectorName("card([0-9]{1,3})-(.+)-([0-9]{1,3})");
    std::vector<LinuxDisplay> found;
    std::error_code ec;
    const fs::path drm = fs::path(root_ + "/sys/class/drm");
    for (const auto& entry : fs::directory_iterator(drm, ec)) {
        const std::string name = entry.path().filename().string();
        std::smatch m;
        if (!std::regex_match(name, m, connectorName)) continue;
        if (firstLine(entry.path() / "status") != "connected") continue;
        LinuxDisplay d;
        d.connector = name;
        d.type = m[2];
        const std::uint32_t code = connectorTypeCode(d.type);
        d.id = static_cast<DisplayID>(std::stoi(m[1]) << 16 | code << 8 | std::stoi(m[3]));
        d.builtIn = d.type == "eDP" || d.type == "LVDS" || d.type == "DSI";
        d.edidBytes = bytesOf(entry.path() / "edid");
        d.edid = EDID::parse(d.edidBytes);
        std::ifstream modes(entry.path() / "modes");
        for (std::string line; std::getline(modes, line);) {
            unsigned w = 0, h = 0;
            char x = 0;
            std::istringstream in(line);
            if (in >> w >> x >> h && x == 'x' && w > 0 && h > 0) d.modes.emplace_back(w, h);
        }
        // The connector's DDC bus, else the bus of its DP AUX channel.
        const fs::path ddc = entry.path() / "ddc";
        if (fs::is_symlink(ddc, ec)) {
            d.bus = busNumber(fs::read_symlink(ddc, ec).filename().string());
        }
        if (!d.bus) {
            for (const auto& child : fs::directory_iterator(entry.path(), ec)) {
                if (auto n = busNumber(child.path().filename().string())) {
                    d.bus = n;
                    break;
                }
            }
        }
        found.push_back(std::move(d));
    }

    // Buses with a monitor that no connector claims (some proprietary
    // drivers): matched to a connector by EDID, else a display of their own.
    std::set<int> claimed;
    for (const auto& d : found) {
        if (d.bus) claimed.insert(*d.bus);
    }
    for (int bus : displayControllerBuses()) {
        if (claimed.count(bus) || !readEDID_) continue;
        auto bytes = readEDID_(bus);
        if (!bytes) continue;
        auto edid = EDID::parse(*bytes);
        if (!edid) continue;
        auto owner = std::find_if(found.begin(), found.end(), [&](const LinuxDisplay& d) {
            return !d.bus && d.edidBytes.size() >= EDID::kBlockSize &&
                   std::equal(d.edidBytes.begin(), d.edidBytes.begin() + EDID::kBlockSize,
                              bytes->begin());
        });
        if (owner != found.end()) {
            owner->bus = bus;
            continue;
        }
        LinuxDisplay d;
        d.id = kBusOnlyBase + static_cast<DisplayID>(bus);
        d.type = "I2C";
        d.edidBytes = std::move(*bytes);
        d.edid = std::move(edid);
        d.bus = bus;
        found.push_back(std::move(d));
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
    return found;
}

std::vector<int> DisplayDiscovery::displayControllerBuses() const {
    std::vector<int> buses;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(root_ + "/sys/bus/i2c/devices"), ec)) {
        auto n = busNumber(entry.path().filename().string());
        if (!n) continue;
        // Up the adapter's device path to the PCI device that owns it.
        fs::path p = fs::canonical(entry.path(), ec);
        if (ec) continue;
        for (int up = 0; up < 6 && !p.empty() && p != p.root_path(); ++up, p = p.parent_path()) {
            const std::string cls = firstLine(p / "class");
            if (cls.empty()) continue;
            if (cls.rfind("0x03", 0) == 0) buses.push_back(*n);
            break;
        }
    }
    std::sort(buses.begin(), buses.end());
    return buses;
}

bool DisplayDiscovery::hasDisplayHardware() const {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(root_ + "/sys/class/drm"), ec)) {
        if (firstLine(entry.path() / "status") == "connected") return true;
    }
    return !displayControllerBuses().empty();
}

bool DisplayDiscovery::i2cDevMissing() const {
    std::error_code ec;
    const fs::path devices = fs::path(root_ + "/sys/bus/i2c/devices");
    const bool adapters =
        fs::exists(devices, ec) && fs::directory_iterator(devices, ec) != fs::directory_iterator();
    bool nodes = false;
    for (const auto& entry : fs::directory_iterator(fs::path(root_ + "/dev"), ec)) {
        if (busNumber(entry.path().filename().string())) nodes = true;
    }
    return adapters && !nodes;
}

}  // namespace orvane::platform::linux_
