// SPDX-License-Identifier: MIT
#include "platform/posix/PosixFileManager.h"

#include <cstdlib>
#include <filesystem>

namespace orvane::platform::posix {

bool PosixFileManager::fileExistsAtPath(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

bool PosixFileManager::trashItem(const std::string& path) {
    namespace fs = std::filesystem;
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    fs::path trash = data && data[0] == '/' ? fs::path(data) / "Trash"
                     : home                 ? fs::path(home) / ".local/share/Trash"
                                            : fs::path();
    if (trash.empty()) return false;
    std::error_code ec;
    fs::create_directories(trash / "files", ec);
    auto target = trash / "files" / fs::path(path).filename();
    for (int n = 2; fs::exists(target, ec); ++n)
        target = trash / "files" / (fs::path(path).filename().string() + "." + std::to_string(n));
    fs::rename(path, target, ec);
    return !ec;
}

}  // namespace orvane::platform::posix
