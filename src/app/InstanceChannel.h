// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace orvane::app {

/// One Orvane per user: the running instance listens on a Unix-domain socket
/// that only the same user can reach; a second start hands it its URLs.
class InstanceChannel {
  public:
    /// "$XDG_RUNTIME_DIR/orvane.sock"; without that directory, one in /tmp
    /// private to the user, or "" when that directory is not private.
    static std::string defaultPath();

    /// Sends urls to the instance listening at path; false when none listens.
    static bool forward(const std::string& path, const std::vector<std::string>& urls);

    /// Listens at path and calls onURL (on the listening thread) for every URL
    /// a peer of the same user sends. Throws std::runtime_error when another
    /// instance already listens or the socket cannot be made.
    InstanceChannel(std::string path, std::function<void(std::string)> onURL);
    ~InstanceChannel();
    InstanceChannel(const InstanceChannel&) = delete;
    InstanceChannel& operator=(const InstanceChannel&) = delete;

    static constexpr std::size_t kMaxMessage = 1 << 20;

  private:
    void serve(std::stop_token stop);

    std::string path_;
    std::function<void(std::string)> onURL_;
    int listenFD_ = -1;
    int wakeFD_[2] = {-1, -1};
    std::jthread thread_;
};

}  // namespace orvane::app
