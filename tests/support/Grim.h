// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

namespace orvane::test {

using Rgb = std::array<int, 3>;

/// Whether grim, the wlroots screenshot tool, is installed.
inline bool haveGrim() {
    return std::system("command -v grim >/dev/null") == 0;
}

/// What output of the compositor WAYLAND_DISPLAY names shows at x, y, as a
/// screenshot sees it (grim).
inline std::optional<Rgb> pixel(const std::string& output, int x, int y) {
    const std::string path = std::string(std::getenv("XDG_RUNTIME_DIR")) + "/shot.ppm";
    const std::string line = "grim -t ppm -o " + output + " " + path + " 2>/dev/null";
    if (std::system(line.c_str()) != 0) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int width = 0, height = 0, max = 0;
    in >> magic >> width >> height >> max;
    in.get();
    if (magic != "P6" || x >= width || y >= height) return std::nullopt;
    in.seekg(std::streamoff(y) * width * 3 + std::streamoff(x) * 3, std::ios::cur);
    Rgb rgb;
    for (auto& c : rgb)
        c = in.get();
    return rgb;
}

/// What read() gives once it is no longer before (a frame or two later), or
/// as it stays for two seconds.
template <class Read>
std::optional<Rgb> onceNot(Read read, const Rgb& before) {
    std::optional<Rgb> now;
    for (int i = 0; i < 40 && (now = read()) == before; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return now;
}

/// The pixel of output at x, y once it is no longer before.
inline std::optional<Rgb> changedFrom(const std::string& output, int x, int y, const Rgb& before) {
    return onceNot([&] { return pixel(output, x, y); }, before);
}

}  // namespace orvane::test
