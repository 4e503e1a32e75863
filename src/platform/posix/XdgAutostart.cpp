// SPDX-License-Identifier: MIT
#include "platform/posix/XdgAutostart.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "runtime/Environment.h"

namespace orvane::platform::posix {

namespace fs = std::filesystem;

XdgAutostart::XdgAutostart(std::string configHome, std::string executable)
    : configHome_(std::move(configHome)), executable_(std::move(executable)) {}

std::string XdgAutostart::defaultConfigHome() {
    return runtime::xdgDirectory("XDG_CONFIG_HOME", ".config").value_or("");
}

std::string XdgAutostart::entryPath() const {
    return configHome_ + "/autostart/orvane.desktop";
}

bool XdgAutostart::isRegistered() const {
    std::error_code ec;
    return !configHome_.empty() && fs::exists(entryPath(), ec);
}

std::optional<std::string> XdgAutostart::registerApp() {
    if (configHome_.empty())
        return "no configuration folder (neither XDG_CONFIG_HOME nor HOME is set)";
    std::error_code ec;
    fs::create_directories(configHome_ + "/autostart", ec);
    if (ec) return "cannot create " + configHome_ + "/autostart: " + ec.message();
    // Exec quoting: a path with spaces or quotes stays one argument.
    std::string exec = "\"";
    for (char c : executable_) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') exec += '\\';
        exec += c;
    }
    exec += "\"";
    const std::string text =
        "[Desktop Entry]\nType=Application\nName=Orvane\n"
        "Comment=Control the brightness, contrast and volume of external displays\n"
        "Exec=" +
        exec + "\nIcon=video-display\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
    // Written beside it and renamed: a crash never leaves half an entry.
    const std::string path = entryPath(), temp = path + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return "cannot write " + temp + ": " + std::strerror(errno);
    const bool written =
        ::write(fd, text.data(), text.size()) == ssize_t(text.size()) && ::fsync(fd) == 0;
    const int writeError = errno;
    ::close(fd);
    if (!written || std::rename(temp.c_str(), path.c_str()) != 0) {
        const int error = written ? errno : writeError;
        ::unlink(temp.c_str());
        return "cannot write " + path + ": " + std::strerror(error);
    }
    return std::nullopt;
}

std::optional<std::string> XdgAutostart::unregisterApp() {
    if (configHome_.empty())
        return "no configuration folder (neither XDG_CONFIG_HOME nor HOME is set)";
    if (::unlink(entryPath().c_str()) != 0 && errno != ENOENT)
        return "cannot remove " + entryPath() + ": " + std::strerror(errno);
    return std::nullopt;
}

}  // namespace orvane::platform::posix
