// SPDX-License-Identifier: MIT
#include "app/InstanceChannel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "runtime/Environment.h"

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

namespace {
/// dir when it exists (made if asked), is the user's and is closed to others.
bool privateDirectory(const std::string& dir, bool make) {
    if (make) mkdir(dir.c_str(), 0700);
    struct stat st {};
    return lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() &&
           (st.st_mode & 077) == 0;
}
}  // namespace

std::string InstanceChannel::defaultPath() {
    if (auto dir = runtime::environmentPath("XDG_RUNTIME_DIR");
        dir && privateDirectory(*dir, false))
        return *dir + "/orvane.sock";
    const std::string session = "/run/user/" + std::to_string(getuid());
    if (privateDirectory(session, false)) return session + "/orvane.sock";
    const std::string dir = "/tmp/orvane-" + std::to_string(getuid());
    // Someone else's directory, or one others can write to, is no place for it.
    if (!privateDirectory(dir, true)) return "";
    return dir + "/orvane.sock";
}

std::string InstanceChannel::answer(const std::string& text, int status) {
    return text + '\0' + std::to_string(status);
}

std::optional<InstanceChannel::Answer> InstanceChannel::forward(
    const std::string& path, const std::vector<std::string>& urls) {
    if (path.empty()) return std::nullopt;
    const int fd = connectTo(path);
    if (fd < 0) return std::nullopt;
    std::string message;
    for (const auto& url : urls) {
        // A URL never holds a line break; one that does is not sent whole.
        if (url.find_first_of("\r\n") == std::string::npos) message += url + "\n";
    }
    writeAll(fd, message);
    shutdown(fd, SHUT_WR);
    // The instance answers with its log lines for these URLs, then closes.
    std::string answer;
    char buffer[4096];
    for (;;) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        answer.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    // Log lines hold no NUL: the last one ends them and starts the status.
    const auto end = answer.rfind('\0');
    if (end == std::string::npos) return Answer{std::move(answer), kNoAnswer};
    const std::string status = answer.substr(end + 1);
    answer.resize(end);
    const bool number = !status.empty() && status.size() < 4 &&
                        status.find_first_not_of("0123456789") == std::string::npos;
    return Answer{std::move(answer), number ? std::stoi(status) : kNoAnswer};
}

InstanceChannel::InstanceChannel(std::string path, BatchHandler onBatch)
    : path_(std::move(path)), onBatch_(std::move(onBatch)) {
    sockaddr_un addr;
    if (path_.empty()) throw std::runtime_error("no private directory for the instance socket");
    if (!makeAddress(path_, addr)) throw std::runtime_error("socket path too long: " + path_);
    // Whoever holds the lock owns the socket: starts that race over a stale
    // socket can then never delete the one a winner has just bound.
    lockFD_ = ::open((path_ + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFD_ < 0) throw std::runtime_error("cannot open " + path_ + ".lock: " + strerror(errno));
    if (flock(lockFD_, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        close(lockFD_);
        if (error == EWOULDBLOCK) throw InstanceRunning("another instance listens at " + path_);
        throw std::runtime_error("cannot lock " + path_ + ".lock: " + strerror(error));
    }
    listenFD_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFD_ < 0) {
        const std::string why = strerror(errno);
        close(lockFD_);
        throw std::runtime_error("cannot make a socket: " + why);
    }
    const mode_t old = umask(0177);  // the socket is born 0600
    int rc = bind(listenFD_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    if (rc != 0 && errno == EADDRINUSE) {
        unlink(path_.c_str());  // left behind by an instance that is gone
        rc = bind(listenFD_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    }
    umask(old);
    if (rc != 0 || chmod(path_.c_str(), 0600) != 0 || listen(listenFD_, 8) != 0 ||
        pipe2(wakeFD_, O_CLOEXEC) != 0) {
        const std::string why = strerror(errno);
        close(listenFD_);
        close(lockFD_);
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
    close(lockFD_);  // only now may another instance take the path
}

namespace {
/// A peer's socket, closed when the last holder (the serving loop, or the
/// reply the application keeps) lets go.
struct PeerSocket {
    int fd;
    explicit PeerSocket(int f) : fd(f) {}
    ~PeerSocket() { close(fd); }
    PeerSocket(const PeerSocket&) = delete;
    PeerSocket& operator=(const PeerSocket&) = delete;
};

struct Peer {
    std::shared_ptr<PeerSocket> socket;
    std::chrono::steady_clock::time_point deadline;
    std::string message;
};

std::vector<std::string> urlLines(const std::string& message) {
    std::vector<std::string> urls;
    std::size_t start = 0;
    while (start < message.size()) {
        const auto end = message.find('\n', start);
        if (end == std::string::npos) break;  // a cut-off last line is not a URL
        if (end > start) urls.push_back(message.substr(start, end - start));
        start = end + 1;
    }
    return urls;
}
}  // namespace

void InstanceChannel::serve(std::stop_token stop) {
    using Clock = std::chrono::steady_clock;
    std::vector<Peer> peers;
    while (!stop.stop_requested()) {
        std::vector<pollfd> fds{{listenFD_, POLLIN, 0}, {wakeFD_[0], POLLIN, 0}};
        int timeout = -1;
        const auto now = Clock::now();
        for (const auto& p : peers) {
            fds.push_back({p.socket->fd, POLLIN, 0});
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(p.deadline - now).count();
            timeout = timeout < 0
                          ? static_cast<int>(std::max<long long>(left, 0))
                          : std::min(timeout, static_cast<int>(std::max<long long>(left, 0)));
        }
        if (poll(fds.data(), fds.size(), timeout) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;

        // Read what each peer sent; one that finished gets its batch handled.
        std::vector<Peer> open;
        for (std::size_t i = 0; i < peers.size(); ++i) {
            Peer& p = peers[i];
            bool done = false, drop = Clock::now() >= p.deadline;
            if (!drop && fds[i + 2].revents) {
                char buffer[4096];
                const ssize_t n = recv(p.socket->fd, buffer, sizeof buffer, MSG_DONTWAIT);
                if (n > 0) {
                    p.message.append(buffer, static_cast<std::size_t>(n));
                    drop = p.message.size() > kMaxMessage;  // too much to be URLs
                } else if (n == 0) {
                    done = true;
                } else {
                    drop = errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK;
                }
            }
            if (done) {
                auto socket = p.socket;
                onBatch_(urlLines(p.message), [socket](const std::string& text) {
                    std::size_t sent = 0;
                    while (sent < text.size()) {
                        const ssize_t n =
                            send(socket->fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
                        if (n < 0 && errno == EINTR) continue;
                        if (n <= 0) break;
                        sent += static_cast<std::size_t>(n);
                    }
                    shutdown(socket->fd, SHUT_RDWR);
                });
            } else if (!drop) {
                open.push_back(std::move(p));
            }
        }
        peers = std::move(open);

        if (!(fds[0].revents & POLLIN)) continue;
        const int fd = accept4(listenFD_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        auto socket = std::make_shared<PeerSocket>(fd);
        ucred peer{};
        socklen_t len = sizeof peer;
        // Only the same user may drive this instance.
        if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &len) != 0 || peer.uid != getuid())
            continue;
        if (peers.size() >= kMaxPeers) continue;  // a flood of idle peers is turned away
        peers.push_back(
            {std::move(socket), Clock::now() + std::chrono::milliseconds(kPeerDeadlineMs), {}});
    }
}

}  // namespace orvane::app
