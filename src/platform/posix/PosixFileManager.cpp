// SPDX-License-Identifier: MIT
#include "platform/posix/PosixFileManager.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "runtime/Environment.h"

namespace orvane::platform::posix {

namespace fs = std::filesystem;

namespace {

/// The Path key's form: a URL path, every byte but the unreserved ones escaped.
std::string percentEncoded(const std::string& path) {
    std::string out;
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            char buffer[4];
            std::snprintf(buffer, sizeof buffer, "%%%02X", c);
            out += buffer;
        }
    }
    return out;
}

std::string localTimestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S", &local);
    return buffer;
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool PosixFileManager::fileExistsAtPath(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

fs::path PosixFileManager::homeTrash() {
    auto data = runtime::xdgDirectory("XDG_DATA_HOME", ".local/share");
    return data ? fs::path(*data) / "Trash" : fs::path();
}

bool PosixFileManager::trashItem(const std::string& path) {
    const fs::path trash = homeTrash();
    std::error_code ec;
    const fs::path original = fs::absolute(path, ec);
    if (trash.empty() || ec || !fs::exists(fs::symlink_status(original, ec))) return false;
    fs::create_directories(trash / "files", ec);
    fs::create_directories(trash / "info", ec);
    if (ec) return false;

    // The info file, made exclusively, reserves the name in files/; with it
    // a file manager can put the item back where it was.
    const std::string base = original.filename().string();
    for (int n = 1; n < 10000; ++n) {
        const std::string name = n == 1 ? base : base + "." + std::to_string(n);
        const fs::path info = trash / "info" / (name + ".trashinfo");
        const int fd = open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        const bool written =
            writeAll(fd, "[Trash Info]\nPath=" + percentEncoded(original.string()) +
                             "\nDeletionDate=" + localTimestamp() + "\n");
        const bool closed = close(fd) == 0;
        const fs::path target = trash / "files" / name;
        if (written && closed && !fs::exists(fs::symlink_status(target, ec))) {
            fs::rename(original, target, ec);
            if (!ec) return true;
        }
        // Not moved (another file system, say): no info file may claim it was.
        fs::remove(info, ec);
        if (written && closed && fs::exists(fs::symlink_status(target, ec))) continue;
        return false;
    }
    return false;
}

}  // namespace orvane::platform::posix
