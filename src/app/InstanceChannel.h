// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace orvane::app {

/// Thrown when another instance already listens at the path.
class InstanceRunning : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

/// One Orvane per user: the running instance listens on a Unix-domain socket
/// that only the same user can reach; a second start hands it its URLs and
/// gets back what the instance logged while handling them.
class InstanceChannel {
  public:
    /// Sends the peer's answer and closes its connection; dropping it unsent
    /// closes it with no answer.
    using Reply = std::function<void(const std::string& text)>;
    using BatchHandler = std::function<void(std::vector<std::string> urls, Reply reply)>;

    /// "orvane.sock" in the first private runtime directory: $XDG_RUNTIME_DIR,
    /// then /run/user/<uid> (a cron job or ssh login finds the desktop's
    /// instance there), then one in /tmp; each only when it is the user's
    /// with mode 0700. "" when none is.
    static std::string defaultPath();

    /// What an instance answered: its log lines and the status it reported
    /// (0: every URL did what it asked), kNoAnswer when it closed without one.
    struct Answer {
        std::string text;
        int status = 0;
    };
    static constexpr int kNoAnswer = -1;
    /// The bytes of an answer: the lines, a NUL, the status in decimal.
    static std::string answer(const std::string& text, int status);

    /// Sends urls to the instance listening at path and returns its answer;
    /// none when no instance listens.
    static std::optional<Answer> forward(const std::string& path,
                                         const std::vector<std::string>& urls);

    /// Takes "<path>.lock", listens at path and calls onBatch (on the listening thread) with the
    /// URLs of every peer of the same user. Peers are served side by side: an
    /// idle one is dropped after kPeerDeadline and delays nobody. Throws
    /// InstanceRunning when another instance holds the lock (it listens, or is
    /// about to), std::runtime_error when
    /// the socket cannot be made.
    InstanceChannel(std::string path, BatchHandler onBatch);
    ~InstanceChannel();
    InstanceChannel(const InstanceChannel&) = delete;
    InstanceChannel& operator=(const InstanceChannel&) = delete;

    static constexpr std::size_t kMaxMessage = 1 << 20;
    static constexpr int kPeerDeadlineMs = 5000;
    static constexpr std::size_t kMaxPeers = 32;

  private:
    void serve(std::stop_token stop);

    std::string path_;
    BatchHandler onBatch_;
    int lockFD_ = -1;  // "<path>.lock", held for the instance's life
    int listenFD_ = -1;
    int wakeFD_[2] = {-1, -1};
    std::jthread thread_;
};

}  // namespace orvane::app
