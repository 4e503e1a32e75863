// SPDX-License-Identifier: MIT
#include "app/InstanceChannel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace orvane::app {

namespace {
bool makeAddress(const std::string& path, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

/// A connected stream socket to path, or -1.
int connectTo(const std::string& path) {
    sockaddr_un addr;
    if (!makeAddress(path, addr)) return -1;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool writeAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}
}  // namespace

std::string InstanceChannel::defaultPath() {
    if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir && dir[0] == '/')
        return std::string(dir) + "/orvane.sock";
    const std::string dir = "/tmp/orvane-" + std::to_string(getuid());
    mkdir(dir.c_str(), 0700);
    // Someone else's directory, or one others can write to, is no place for it.
    struct stat st {};
    if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() ||
        (st.st_mode & 077) != 0) {
        return "";
    }
    return dir + "/orvane.sock";
}

bool InstanceChannel::forward(const std::string& path, const std::vector<std::string>& urls) {
    if (path.empty()) return false;
    const int fd = connectTo(path);
    if (fd < 0) return false;
    std::string message;
    for (const auto& url : urls) {
        // A URL never holds a line break; one that does is not sent whole.
        if (url.find_first_of("\r\n") == std::string::npos) message += url + "\n";
    }
    const bool ok = writeAll(fd, message);
    shutdown(fd, SHUT_WR);
    // Wait for the instance to close: the URLs are then in its queue.
    char c;
    while (recv(fd, &c, 1, 0) > 0) {
    }
    close(fd);
    return ok;
}

InstanceChannel::InstanceChannel(std::string path, std::function<void(std::string)> onURL)
    : path_(std::move(path)), onURL_(std::move(onURL)) {
    sockaddr_un addr;
    if (path_.empty()) throw std::runtime_error("no private directory for the instance socket");
    if (!makeAddress(path_, addr)) throw std::runtime_error("socket path too long: " + path_);
    listenFD_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFD_ < 0)
        throw std::runtime_error("cannot make a socket: " + std::string(strerror(errno)));
    const mode_t old = umask(0177);  // the socket is born 0600
    int rc = bind(listenFD_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    if (rc != 0 && errno == EADDRINUSE) {
        const int probe = connectTo(path_);
        if (probe >= 0) {
            close(probe);
            umask(old);
            close(listenFD_);
            throw std::runtime_error("another instance listens at " + path_);
        }
        unlink(path_.c_str());  // left behind by an instance that is gone
        rc = bind(listenFD_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    }
    umask(old);
    if (rc != 0 || chmod(path_.c_str(), 0600) != 0 || listen(listenFD_, 8) != 0 ||
        pipe2(wakeFD_, O_CLOEXEC) != 0) {
        const std::string why = strerror(errno);
        close(listenFD_);
        throw std::runtime_error("cannot listen at " + path_ + ": " + why);
    }
    thread_ = std::jthread([this](std::stop_token stop) { serve(stop); });
}

InstanceChannel::~InstanceChannel() {
    thread_.request_stop();
    if (wakeFD_[1] >= 0) {
        const char c = 0;
        [[maybe_unused]] auto n = write(wakeFD_[1], &c, 1);
    }
    if (thread_.joinable()) thread_.join();
    close(listenFD_);
    close(wakeFD_[0]);
    close(wakeFD_[1]);
    unlink(path_.c_str());
}

void InstanceChannel::serve(std::stop_token stop) {
    while (!stop.stop_requested()) {
        pollfd fds[2] = {{listenFD_, POLLIN, 0}, {wakeFD_[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        if (!(fds[0].revents & POLLIN)) continue;
        const int fd = accept4(listenFD_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        ucred peer{};
        socklen_t len = sizeof peer;
        // Only the same user may drive this instance.
        if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &len) != 0 || peer.uid != getuid()) {
            close(fd);
            continue;
        }
        timeval timeout{5, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        std::string message;
        char buffer[4096];
        for (;;) {
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            message.append(buffer, static_cast<std::size_t>(n));
            if (message.size() > kMaxMessage) {
                message.clear();  // too much to be URLs: drop it all
                break;
            }
        }
        std::size_t start = 0;
        while (start < message.size()) {
            const auto end = message.find('\n', start);
            if (end == std::string::npos) break;  // a cut-off last line is not a URL
            if (end > start) onURL_(message.substr(start, end - start));
            start = end + 1;
        }
        close(fd);
    }
}

}  // namespace orvane::app
