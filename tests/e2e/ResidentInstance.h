// SPDX-License-Identifier: MIT
#pragma once

#include <poll.h>
#include <signal.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "e2e/BinaryTest.h"

namespace orvane::test {

/// Polls until path exists; false when it has not within timeout.
inline bool waitForPath(const std::filesystem::path& path, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!std::filesystem::exists(path)) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

/// A resident instance on the rig, in the background.
class ResidentInstance {
  public:
    ResidentInstance(const std::vector<std::string>& argv, const std::string& socket,
                     bool withErrors = false) {
        std::filesystem::create_directories(std::filesystem::path(socket).parent_path());
        if (pipe(out_) != 0) throw std::runtime_error("pipe");
        pid_ = spawnWithOutput(argv, out_, withErrors);
        // Up once its socket exists and its first scan has ended.
        waitForPath(socket, std::chrono::seconds(5));
    }
    /// Reads its output until a line holds text, for at most timeout.
    bool waitFor(const std::string& text, std::chrono::seconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            if (output_.find(text) != std::string::npos) return true;
            pollfd p{out_[0], POLLIN, 0};
            if (poll(&p, 1, 100) > 0) {
                std::array<char, 4096> buf;
                const ssize_t n = read(out_[0], buf.data(), buf.size());
                if (n <= 0) return output_.find(text) != std::string::npos;
                output_.append(buf.data(), static_cast<std::size_t>(n));
            }
        }
        return false;
    }
    pid_t pid() const { return pid_; }
    /// Signals it and returns its whole output.
    std::vector<std::string> stop(int signal, int& status) {
        kill(pid_, signal);
        output_ += readAll(out_[0]);
        status = exitStatus(pid_);
        return splitLines(output_);
    }

  private:
    pid_t pid_ = -1;
    int out_[2] = {-1, -1};
    std::string output_;
};

}  // namespace orvane::test
