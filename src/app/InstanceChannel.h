// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace orvane::app {

/// Thrown when another instance holds the claim.
class InstanceRunning : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

/// One Orvane per user: the instance holds "<path>.lock" for its whole run
/// and, once it can take work, listens on a Unix-domain socket that only the
/// same user can reach; a second start hands it its URLs and gets back what
/// the instance logged while handling them.
class InstanceChannel {
  public:
    /// Queues the peer's answer and returns at once; the channel's thread
    /// sends it and closes the connection. Dropping it unsent closes the
    /// connection with no answer.
    using Reply = std::function<void(const std::string& answer)>;
    using BatchHandler = std::function<void(std::vector<std::string> urls, Reply reply)>;

    /// "orvane.sock" in the private runtime directory; "" when there is none.
    static std::string defaultPath();

    /// What the instance reports for a batch.
    enum Status : int {
        kHandled = 0,     ///< every URL did what it asked
        kFailed = 1,      ///< a URL did not
        kUnfinished = 2,  ///< it quit before it had handled them all
    };
    /// What a forward got: the instance's log lines and status, or one of
    /// these when it got no answer.
    struct Answer {
        std::string text;
        int status = kHandled;
    };
    static constexpr int kNoAnswer = -1;  ///< closed without answering
    static constexpr int kTimedOut = -2;  ///< no answer before the deadline

    /// The bytes of an answer: the lines, a NUL, the status in decimal. Of
    /// more than kMaxAnswer bytes of lines, the oldest are left out.
    static std::string answer(const std::string& text, int status);

    /// Sends urls to the instance listening at path and returns its answer,
    /// waiting until deadline at most; none when no instance listens. A peer
    /// limit reached on the other side is waited out, within the deadline.
    static std::optional<Answer> forward(const std::string& path,
                                         const std::vector<std::string>& urls,
                                         std::chrono::steady_clock::time_point deadline);

    /// Takes "<path>.lock" for this object's life. Throws InstanceRunning
    /// when another instance holds it, std::runtime_error when it cannot be
    /// taken.
    explicit InstanceChannel(std::string path);
    /// Claims, then serves at once.
    InstanceChannel(std::string path, BatchHandler onBatch);
    ~InstanceChannel();
    InstanceChannel(const InstanceChannel&) = delete;
    InstanceChannel& operator=(const InstanceChannel&) = delete;

    /// Listens at path and calls onBatch (on the channel's thread) with the
    /// URLs of every peer of the same user. Peers are read side by side; an
    /// idle one is dropped after kPeerDeadline and delays nobody; past
    /// kMaxPeers, new ones wait in the backlog. Throws std::runtime_error when
    /// the socket cannot be made.
    void serve(BatchHandler onBatch);

    /// Stops taking URLs: the socket goes, and answers given from now on are
    /// sent as far as the peer's socket takes them at once. The claim stays.
    void stopServing();

    static constexpr std::size_t kMaxMessage = 1 << 20;
    static constexpr std::size_t kMaxAnswer = 1 << 20;
    static constexpr int kPeerDeadlineMs = 5000;
    static constexpr std::size_t kMaxPeers = 32;

  private:
    struct Outbox;
    void run(std::stop_token stop);

    std::string path_;
    BatchHandler onBatch_;
    int lockFD_ = -1;  // "<path>.lock", held for the instance's life
    int listenFD_ = -1;
    std::shared_ptr<Outbox> outbox_;
    std::jthread thread_;
};

}  // namespace orvane::app
