// SPDX-License-Identifier: MIT
#include "platform/sim/SimFileSystem.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace orvane::platform::sim {

SimFileSystem::SimFileSystem(std::string root, std::string home)
    : root_(std::move(root)), home_(std::move(home)) {}

std::string SimFileSystem::resolve(const std::string& path) const {
    return root_ + (path.empty() || path.front() != '/' ? "/" : "") + path;
}

std::optional<std::vector<std::string>> SimFileSystem::contentsOfDirectory(
    const std::string& path) {
    if (root_.empty()) return std::nullopt;
    std::error_code ec;
    std::filesystem::directory_iterator it(resolve(path), ec);
    if (ec) return std::nullopt;
    std::vector<std::string> names;
    for (const auto& entry : it)
        names.push_back(entry.path().filename().string());
    // The host's order is arbitrary; a simulated listing should be repeatable.
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<std::vector<std::uint8_t>> SimFileSystem::contentsOfFile(const std::string& path) {
    if (root_.empty()) return std::nullopt;
    const auto full = resolve(path);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(full, ec)) return std::nullopt;
    std::ifstream in(full, std::ios::binary);
    if (!in) return std::nullopt;
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace orvane::platform::sim
