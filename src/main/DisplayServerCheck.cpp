// SPDX-License-Identifier: MIT
#include "main/DisplayServerCheck.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/Environment.h"

namespace orvane::cli {

namespace {

/// Whether a Unix-domain socket at path (or the abstract one of that name,
/// as an X server has) takes a connection.
bool socketAnswers(const std::string& path, bool abstractToo) {
    for (const bool abstract : {true, false}) {
        if (abstract && !abstractToo) continue;
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const std::size_t offset = abstract ? 1 : 0;
        if (path.size() + offset >= sizeof addr.sun_path) continue;
        std::memcpy(addr.sun_path + offset, path.data(), path.size());
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return false;
        const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset +
                                                   path.size() + (abstract ? 0 : 1));
        const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), length) == 0;
        close(fd);
        if (ok) return true;
    }
    return false;
}

/// $DISPLAY names a server that answers; a remote one (host:N) is trusted.
bool x11Answers(const std::string& display) {
    const auto colon = display.rfind(':');
    if (colon == std::string::npos) return false;
    const std::string host = display.substr(0, colon);
    if (!host.empty() && host != "unix") return true;
    const std::string number = display.substr(colon + 1, display.find('.', colon) - colon - 1);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return false;
    return socketAnswers("/tmp/.X11-unix/X" + number, true);
}

bool waylandAnswers(const std::string& display) {
    if (display.front() == '/') return socketAnswers(display, false);
    const auto dir = runtime::environmentPath("XDG_RUNTIME_DIR");
    return dir && socketAnswers(*dir + "/" + display, false);
}

}  // namespace

bool wantsGui(const Options& options) {
    if (options.headless || options.once) return false;
    if (runtime::environmentValue("QT_QPA_PLATFORM")) return true;
    const auto x11 = runtime::environmentValue("DISPLAY");
    const auto wayland = runtime::environmentValue("WAYLAND_DISPLAY");
    if (!x11 && !wayland) return false;
    if (x11 && x11Answers(*x11)) return true;
    if (wayland && waylandAnswers(*wayland)) {
        // Qt would try the X server it names first.
        if (x11) setenv("QT_QPA_PLATFORM", "wayland", 1);
        return true;
    }
    std::fprintf(stderr, "orvane: no display server answers at %s - running without windows\n",
                 (x11 ? "DISPLAY=" + *x11 : "WAYLAND_DISPLAY=" + *wayland).c_str());
    return false;
}

}  // namespace orvane::cli
