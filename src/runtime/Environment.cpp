// SPDX-License-Identifier: MIT
#include "runtime/Environment.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace orvane::runtime {

std::optional<std::string> environmentPath(const char* name) {
    const char* value = std::getenv(name);
    if (!value || value[0] != '/') return std::nullopt;
    return std::string(value);
}

std::optional<std::string> environmentValue(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    return std::string(value);
}

std::optional<std::string> homeDirectory() {
    if (auto home = environmentPath("HOME")) return home;
    // A service or a cron job may run without HOME; the account still has one.
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_dir || found->pw_dir[0] != '/')
        return std::nullopt;
    return std::string(found->pw_dir);
}

std::optional<std::string> xdgDirectory(const char* variable, const char* fallback) {
    if (auto v = environmentPath(variable)) return v;
    if (auto home = homeDirectory()) return *home + "/" + fallback;
    return std::nullopt;
}

bool isPrivateDirectory(const std::string& dir) {
    struct stat st {};
    return lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() &&
           (st.st_mode & 077) == 0;
}

std::optional<std::string> privateRuntimeDirectory() {
    if (auto dir = environmentPath("XDG_RUNTIME_DIR"); dir && isPrivateDirectory(*dir)) return dir;
    const std::string session = "/run/user/" + std::to_string(getuid());
    if (isPrivateDirectory(session)) return session;
    const std::string dir = "/tmp/orvane-" + std::to_string(getuid());
    mkdir(dir.c_str(), 0700);
    // Someone else's directory, or one others can write to, is no place for it.
    if (isPrivateDirectory(dir)) return dir;
    return std::nullopt;
}

}  // namespace orvane::runtime
