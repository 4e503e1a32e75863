// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace orvane::test {

/// A machine's sysfs and /dev as a folder tree, laid out as the kernel does:
/// adapters under their PCI device, /sys/bus/i2c/devices links to them, DRM
/// connectors with status, edid and a ddc link or an AUX i2c child.
class SysfsTree {
  public:
    explicit SysfsTree(std::filesystem::path root) : root_(std::move(root)) {}
    const std::filesystem::path& root() const { return root_; }

    /// Bus N under a PCI device of class pciClass ("0x030000" is a display controller).
    void adapter(int bus, const std::string& pciClass, const std::string& pci = "0000:00:02.0") {
        const auto device = root_ / "sys/devices/pci0000:00" / pci;
        write(device / "class", pciClass + "\n");
        std::filesystem::create_directories(device / name(bus));
        link(device / name(bus), root_ / "sys/bus/i2c/devices" / name(bus));
    }
    void deviceNode(int bus) { write(root_ / "dev" / name(bus), ""); }
    /// A connector "card<card>-<type>-<index>"; ddcBus links its DDC bus, auxBus
    /// makes an i2c-N child (a DP AUX channel).
    void connector(const std::string& connector, bool connected,
                   const std::vector<std::uint8_t>& edid, std::optional<int> ddcBus = {},
                   std::optional<int> auxBus = {}) {
        const auto dir = root_ / "sys/class/drm" / connector;
        write(dir / "status", connected ? "connected\n" : "disconnected\n");
        write(dir / "edid", std::string(edid.begin(), edid.end()));
        if (ddcBus) link(root_ / "sys/bus/i2c/devices" / name(*ddcBus), dir / "ddc");
        if (auxBus) std::filesystem::create_directories(dir / name(*auxBus));
    }
    /// DRM card ("card0") on the PCI device at pci, behind a bridge.
    void card(const std::string& card, const std::string& pci) {
        const auto device = root_ / "sys/devices/pci0000:00/0000:00:01.0" / pci;
        std::filesystem::create_directories(device);
        link(device, root_ / "sys/class/drm" / card / "device");
    }
    /// The connector's "modes" file, one "WxH" per line.
    void modes(const std::string& connector, const std::string& lines) {
        write(root_ / "sys/class/drm" / connector / "modes", lines);
    }
    void setStatus(const std::string& connector, bool connected) {
        write(root_ / "sys/class/drm" / connector / "status",
              connected ? "connected\n" : "disconnected\n");
    }
    void backlight(const std::string& name, const std::string& type, long brightness, long max) {
        const auto dir = root_ / "sys/class/backlight" / name;
        write(dir / "type", type + "\n");
        write(dir / "brightness", std::to_string(brightness) + "\n");
        write(dir / "max_brightness", std::to_string(max) + "\n");
    }
    /// A running process of that name under proc/.
    void process(int pid, const std::string& comm) {
        write(root_ / "proc" / std::to_string(pid) / "comm", comm + "\n");
    }
    std::string read(const std::string& relative) const {
        std::ifstream in(root_ / relative);
        std::string s;
        std::getline(in, s);
        return s;
    }

  private:
    static std::string name(int bus) { return "i2c-" + std::to_string(bus); }
    static void write(const std::filesystem::path& p, const std::string& text) {
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << text;
    }
    static void link(const std::filesystem::path& target, const std::filesystem::path& at) {
        std::filesystem::create_directories(at.parent_path());
        std::error_code ec;
        std::filesystem::remove(at, ec);
        std::filesystem::create_directory_symlink(target, at);
    }
    std::filesystem::path root_;
};

/// The bytes of a committed EDID test file.
inline std::vector<std::uint8_t> edidFile(const std::string& name) {
    std::ifstream in(std::string(ORVANE_TEST_DATA) + "/edid/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace orvane::test
