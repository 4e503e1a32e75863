// SPDX-License-Identifier: MIT
#pragma once

#include <cerrno>
#include <memory>

#include "platform/WindowToolkit.h"
#include "platform/linux/LinuxMachine.h"
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
    std::unique_ptr<platform::Window> makeWindow(platform::Rect, std::uint32_t, int, bool,
                                                 const platform::Screen&) override {
        return nullptr;
    }
    std::unique_ptr<platform::EventMonitor> addLocalMonitorForEvents(
        std::uint64_t,
        std::function<std::optional<platform::KeyEvent>(const platform::KeyEvent&)>) override {
        return nullptr;
    }
};

}  // namespace orvane::test
