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
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <utility>

#include "runtime/Environment.h"

namespace orvane::app {

namespace {
using Clock = std::chrono::steady_clock;

bool makeAddress(const std::string& path, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

/// Milliseconds until deadline for poll(), never negative.
int msUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

/// Sends what the socket takes without waiting; false once it takes no more
/// for good (the peer left).
bool sendSome(int fd, const std::string& data, std::size_t& sent) {
    while (sent < data.size()) {
        const ssize_t n =
            send(fd, data.data() + sent, data.size() - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        }
    }
    return true;
}

/// A peer's socket, closed when the last holder (the channel's thread, or
/// the reply the application keeps) lets go.
struct PeerSocket {
    int fd;
    explicit PeerSocket(int f) : fd(f) {}
    ~PeerSocket() { close(fd); }
    PeerSocket(const PeerSocket&) = delete;
    PeerSocket& operator=(const PeerSocket&) = delete;
};

/// The last try for an answer when the channel can no longer wait for the
/// peer: what fits in the socket's buffer goes.
void sendNowAndClose(PeerSocket& socket, const std::string& answer) {
    std::size_t sent = 0;
    sendSome(socket.fd, answer, sent);
    shutdown(socket.fd, SHUT_RDWR);
}

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

/// Answers the application has given, on their way to the channel's thread:
/// the main loop never waits for a peer to read.
struct InstanceChannel::Outbox {
    std::mutex mutex;
    bool open = true;
    std::vector<std::pair<std::shared_ptr<PeerSocket>, std::string>> queued;
    int wake[2] = {-1, -1};

    Outbox() {
        if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0)
            throw std::runtime_error(std::string("cannot make a pipe: ") + strerror(errno));
    }
    ~Outbox() {
        close(wake[0]);
        close(wake[1]);
    }
    Outbox(const Outbox&) = delete;
    Outbox& operator=(const Outbox&) = delete;

    void ring() {
        const char c = 0;
        [[maybe_unused]] auto n = write(wake[1], &c, 1);  // a full pipe has woken it already
    }
    /// False once the channel has stopped sending.
    bool push(std::shared_ptr<PeerSocket> socket, std::string answer) {
        {
            std::lock_guard lock(mutex);
            if (!open) return false;
            queued.emplace_back(std::move(socket), std::move(answer));
        }
        ring();
        return true;
    }
};

std::string InstanceChannel::defaultPath() {
    const auto dir = runtime::privateRuntimeDirectory();
    return dir ? *dir + "/orvane.sock" : std::string();
}

std::string InstanceChannel::answer(const std::string& text, int status) {
    // The newest lines are kept: a forward's own URLs end the answer.
    std::size_t from = 0;
    if (text.size() > kMaxAnswer) {
        const auto start = text.find('\n', text.size() - kMaxAnswer);
        from = start == std::string::npos ? text.size() : start + 1;
    }
    return text.substr(from) + '\0' + std::to_string(status);
}

std::optional<InstanceChannel::Answer> InstanceChannel::forward(
    const std::string& path, const std::vector<std::string>& urls, Clock::time_point deadline) {
    sockaddr_un addr;
    if (path.empty() || !makeAddress(path, addr)) return std::nullopt;
    int fd = -1;
    for (;;) {
        fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) return std::nullopt;
        if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) break;
        const int error = errno;
        close(fd);
        // A full backlog: the instance serves as many peers as it takes.
        if (error != EAGAIN && error != EINTR) return std::nullopt;
        if (Clock::now() >= deadline) return Answer{{}, kTimedOut};
        pollfd none{-1, 0, 0};
        poll(&none, 0, 10);
    }
    std::string message;
    for (const auto& url : urls) {
        // A URL never holds a line break; one that does is not sent whole.
        if (url.find_first_of("\r\n") == std::string::npos) message += url + "\n";
    }
    if (message.empty()) shutdown(fd, SHUT_WR);
    std::string answer;
    bool closed = false;
    std::size_t sent = 0;
    while (!closed) {
        const bool sending = sent < message.size();
        pollfd p{fd, static_cast<short>(sending ? POLLOUT : POLLIN), 0};
        const int ready = poll(&p, 1, msUntil(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        if (sending) {
            if (!sendSome(fd, message, sent)) break;
            if (sent == message.size()) shutdown(fd, SHUT_WR);
            continue;
        }
        char buffer[4096];
        const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            answer.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
            closed = true;
        }
    }
    close(fd);
    // Log lines hold no NUL: the last one ends them and starts the status.
    const auto end = answer.rfind('\0');
    if (end == std::string::npos) return Answer{std::move(answer), closed ? kNoAnswer : kTimedOut};
    const std::string status = answer.substr(end + 1);
    answer.resize(end);
    const bool number = !status.empty() && status.size() < 4 &&
                        status.find_first_not_of("0123456789") == std::string::npos;
    return Answer{std::move(answer), number ? std::stoi(status) : kNoAnswer};
}

InstanceChannel::InstanceChannel(std::string path) : path_(std::move(path)) {
    sockaddr_un addr;
    if (path_.empty()) throw std::runtime_error("no private directory for the instance socket");
    if (!makeAddress(path_, addr)) throw std::runtime_error("socket path too long: " + path_);
    // Whoever holds the lock owns the socket: starts that race over a stale
    // socket can then never delete the one a winner has just bound.
    lockFD_ = ::open((path_ + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFD_ < 0) throw std::runtime_error("cannot open " + path_ + ".lock: " + strerror(errno));
    if (flock(lockFD_, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        close(lockFD_);
        if (error == EWOULDBLOCK) throw InstanceRunning("another instance runs at " + path_);
        throw std::runtime_error("cannot lock " + path_ + ".lock: " + strerror(error));
    }
}

InstanceChannel::InstanceChannel(std::string path, BatchHandler onBatch)
    : InstanceChannel(std::move(path)) {
    serve(std::move(onBatch));
}

void InstanceChannel::serve(BatchHandler onBatch) {
    if (thread_.joinable()) throw std::logic_error("the instance channel serves already");
    sockaddr_un addr;
    makeAddress(path_, addr);
    onBatch_ = std::move(onBatch);
    outbox_ = std::make_shared<Outbox>();
    listenFD_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFD_ < 0)
        throw std::runtime_error(std::string("cannot make a socket: ") + strerror(errno));
    const mode_t old = umask(0177);  // the socket is born 0600
    int rc = bind(listenFD_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    if (rc != 0 && errno == EADDRINUSE) {
        unlink(path_.c_str());  // left behind by an instance that is gone
        rc = bind(listenFD_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    }
    umask(old);
    if (rc != 0 || chmod(path_.c_str(), 0600) != 0 || listen(listenFD_, SOMAXCONN) != 0) {
        const std::string why = strerror(errno);
        close(listenFD_);
        listenFD_ = -1;
        throw std::runtime_error("cannot listen at " + path_ + ": " + why);
    }
    thread_ = std::jthread([this](std::stop_token stop) { run(stop); });
}

void InstanceChannel::stopServing() {
    if (thread_.joinable()) {
        thread_.request_stop();
        outbox_->ring();
        thread_.join();
    }
    if (listenFD_ >= 0) {
        close(listenFD_);
        listenFD_ = -1;
        unlink(path_.c_str());
    }
}

InstanceChannel::~InstanceChannel() {
    stopServing();
    close(lockFD_);  // only now may another instance take the path
}

namespace {
struct Reading {
    std::shared_ptr<PeerSocket> socket;
    Clock::time_point deadline;
    std::string message;
};
struct Sending {
    std::shared_ptr<PeerSocket> socket;
    Clock::time_point deadline;
    std::string answer;
    std::size_t sent = 0;
};
}  // namespace

void InstanceChannel::run(std::stop_token stop) {
    const auto peerDeadline = std::chrono::milliseconds(kPeerDeadlineMs);
    std::vector<Reading> reading;
    std::vector<Sending> sending;
    std::weak_ptr<Outbox> weakOutbox = outbox_;
    auto replyTo = [weakOutbox](std::shared_ptr<PeerSocket> socket) -> Reply {
        return [weakOutbox, socket](const std::string& answer) {
            if (auto box = weakOutbox.lock(); box && box->push(socket, answer)) return;
            sendNowAndClose(*socket, answer);  // the instance is ending
        };
    };
    while (!stop.stop_requested()) {
        // Past the peer limit, new peers wait in the backlog for their turn.
        const bool accepting = reading.size() + sending.size() < kMaxPeers;
        std::vector<pollfd> fds{{accepting ? listenFD_ : -1, POLLIN, 0},
                                {outbox_->wake[0], POLLIN, 0}};
        Clock::time_point next = Clock::time_point::max();
        for (const auto& p : reading) {
            fds.push_back({p.socket->fd, POLLIN, 0});
            next = std::min(next, p.deadline);
        }
        for (const auto& s : sending) {
            fds.push_back({s.socket->fd, POLLOUT, 0});
            next = std::min(next, s.deadline);
        }
        const int timeout = next == Clock::time_point::max() ? -1 : msUntil(next);
        if (poll(fds.data(), fds.size(), timeout) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        const auto now = Clock::now();

        // Read what each peer sent; one that finished gets its batch handled.
        std::vector<Reading> stillReading;
        for (std::size_t i = 0; i < reading.size(); ++i) {
            Reading& p = reading[i];
            bool done = false, drop = now >= p.deadline;
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
                onBatch_(urlLines(p.message), replyTo(p.socket));
            } else if (!drop) {
                stillReading.push_back(std::move(p));
            }
        }
        // Send what each peer takes; an answer nobody reads in time is dropped.
        std::vector<Sending> stillSending;
        for (std::size_t i = 0; i < sending.size(); ++i) {
            Sending& s = sending[i];
            const auto revents = fds[i + 2 + reading.size()].revents;
            bool keep = now < s.deadline;
            if (keep && revents) keep = sendSome(s.socket->fd, s.answer, s.sent);
            if (keep && s.sent < s.answer.size()) {
                stillSending.push_back(std::move(s));
            } else {
                shutdown(s.socket->fd, SHUT_RDWR);
            }
        }
        reading = std::move(stillReading);
        sending = std::move(stillSending);

        if (fds[1].revents) {
            char drain[64];
            while (read(outbox_->wake[0], drain, sizeof drain) > 0) {
            }
            std::lock_guard lock(outbox_->mutex);
            for (auto& [socket, answer] : outbox_->queued)
                sending.push_back({std::move(socket), now + peerDeadline, std::move(answer), 0});
            outbox_->queued.clear();
        }

        if (!(fds[0].revents & POLLIN)) continue;
        const int fd = accept4(listenFD_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        auto socket = std::make_shared<PeerSocket>(fd);
        ucred peer{};
        socklen_t len = sizeof peer;
        // Only the same user may drive this instance.
        if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &len) != 0 || peer.uid != getuid())
            continue;
        reading.push_back({std::move(socket), now + peerDeadline, {}});
    }
    // From here on, answers go straight out, as far as the sockets take them.
    std::vector<std::pair<std::shared_ptr<PeerSocket>, std::string>> queued;
    {
        std::lock_guard lock(outbox_->mutex);
        outbox_->open = false;
        queued.swap(outbox_->queued);
    }
    for (auto& s : sending)
        sendNowAndClose(*s.socket, s.answer.substr(s.sent));
    for (auto& [socket, answer] : queued)
        sendNowAndClose(*socket, answer);
}

}  // namespace orvane::app
