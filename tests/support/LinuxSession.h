// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/WindowToolkit.h"
#include "platform/linux/LinuxMachine.h"
#include "runtime/EventLoop.h"
#include "runtime/Logger.h"
#include "support/SysfsTree.h"

namespace orvane::test {

/// The Linux machine of a fixture tree whose buses cannot be opened, with a
/// desktop session, following it.
inline std::unique_ptr<platform::linux_::LinuxMachine> sessionMachine(
    const SysfsTree& tree, runtime::Clock& clock, runtime::Logger& log,
    platform::linux_::DesktopSession session, runtime::Executor* main = nullptr) {
    auto machine = std::make_unique<platform::linux_::LinuxMachine>(
        tree.root().string(),
        [](int, int& error) -> std::unique_ptr<platform::linux_::I2CBus> {
            error = ENOENT;
            return nullptr;
        },
        clock, log, std::move(session));
    if (main) machine->setMainExecutor(*main);
    machine->startSession();
    return machine;
}

/// A toolkit without screens or windows: what a dimmer uses only for gamma.
struct NoScreens final : platform::WindowToolkit {
    std::vector<platform::Screen> screens() override { return {}; }
    std::optional<platform::Screen> mainScreen() override { return std::nullopt; }
    std::unique_ptr<platform::Window> makeWindow(platform::WindowRole, platform::Rect,
                                                 const platform::Screen&) override {
        return nullptr;
    }
    std::unique_ptr<platform::EventMonitor> addLocalMonitorForEvents(
        std::uint64_t,
        std::function<std::optional<platform::KeyEvent>(const platform::KeyEvent&)>) override {
        return nullptr;
    }
};

/// Waits, on the real clock, for what another thread, a server or a bus does.
class Signal {
  public:
    void notify() {
        std::lock_guard lock(mutex_);
        ++count_;
        cv_.notify_all();
    }
    bool waitFor(int count, std::chrono::seconds limit = std::chrono::seconds(5)) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, limit, [&] { return count_ >= count; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    int count_ = 0;
};

/// Waits, on the real clock, for a service's answer to show in the log.
inline bool waitForLine(const runtime::CapturingLogger& log, const std::string& line) {
    for (int i = 0; i < 500; ++i) {
        const auto lines = log.lines();
        if (std::find(lines.begin(), lines.end(), line) != lines.end()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

/// Media keys an interception saw; pass: hand them back instead of taking them.
struct Presses {
    Signal signal;
    std::mutex lock;
    std::vector<platform::MediaKey> keys;
    std::atomic<bool> pass = false;

    platform::MediaKeys::Handler handler() {
        return [this](platform::MediaKey key) {
            {
                std::lock_guard hold(lock);
                keys.push_back(key);
            }
            signal.notify();
            return !pass;
        };
    }
};

/// Shortcut ids a listener saw (on the main loop); each stops the loop.
struct HotKeyHits {
    runtime::EventLoop* loop;
    std::vector<std::uint32_t> ids;

    std::function<void(std::uint32_t)> listener() {
        return [this](std::uint32_t id) {
            ids.push_back(id);
            loop->stop();
        };
    }
};

}  // namespace orvane::test
