// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/Backend.h"
#include "platform/linux/HotplugMonitor.h"
#include "platform/linux/LinuxMachine.h"
#include "platform/linux/SleepMonitor.h"
#include "runtime/Logger.h"

// The namespace is linux_: "linux" is a predefined macro under GNU extensions.
namespace orvane::platform::linux_ {

/// The real machine: DRM connectors, DDC/CI over /dev/i2c-N, the backlight,
/// udev hot-plug. Chosen by default where there is display hardware.
class LinuxBackend final : public Backend {
  public:
    static constexpr std::string_view kName = "linux";

    /// root holds sys/ and dev/: "" for the machine's own.
    LinuxBackend(runtime::Logger& log, std::string root = {});
    ~LinuxBackend() override;

    std::string_view name() const override { return kName; }
    std::optional<std::string> unavailableReason() const override { return std::nullopt; }
    /// Only where a connected connector or a display controller's bus exists.
    bool preferredHere() const override;
    /// Finds the displays and which of them answer at the DDC/CI address.
    void prepare() override;
    /// "[Orvane] Running on Linux with N displays, M answer DDC/CI".
    std::string startLine() const override;
    RuntimeKind runtimeFor(RunMode) const override { return RuntimeKind::threaded; }
    Platform start(runtime::Runtime& rt) override;
    void stop() override;
    LayerShell* layerShell() override { return machine_ ? machine_->layerShell() : nullptr; }

  private:
    class SteadyClock;
    runtime::Logger& log_;
    std::string root_;
    std::unique_ptr<SteadyClock> clock_;
    std::unique_ptr<LinuxMachine> machine_;
    std::unique_ptr<HotplugMonitor> hotplug_;
    std::unique_ptr<SleepMonitor> sleep_;
    std::size_t displays_ = 0;
    std::size_t answering_ = 0;
};

}  // namespace orvane::platform::linux_
