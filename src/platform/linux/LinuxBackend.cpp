// SPDX-License-Identifier: MIT
#include "platform/linux/LinuxBackend.h"

#include "platform/linux/NightLight.h"
#include "runtime/Environment.h"

#include <chrono>
#include <thread>

namespace orvane::platform::linux_ {

/// The machine's pauses (DDC reply delays) are real ones here.
class LinuxBackend::SteadyClock final : public runtime::Clock {
  public:
    runtime::TimePoint now() const override {
        return std::chrono::duration_cast<runtime::TimePoint>(
            std::chrono::steady_clock::now().time_since_epoch());
    }
    void sleepFor(runtime::Duration d) override { std::this_thread::sleep_for(d); }
};

LinuxBackend::LinuxBackend(runtime::Logger& log, std::string root)
    : log_(log), root_(root == "/" ? std::string() : std::move(root)) {}

LinuxBackend::~LinuxBackend() {
    stop();
}

bool LinuxBackend::preferredHere() const {
    return DisplayDiscovery(root_, {}).hasDisplayHardware();
}

void LinuxBackend::prepare() {
    if (machine_) return;
    clock_ = std::make_unique<SteadyClock>();
    const std::string root = root_;
    machine_ = std::make_unique<LinuxMachine>(
        root_,
        [root](int bus, int& error) -> std::unique_ptr<I2CBus> {
            return I2CDevBus::open(root + "/dev/i2c-" + std::to_string(bus), error);
        },
        *clock_, log_, DesktopSession{}, true);
    displays_ = machine_->displays().size();
    answering_ = machine_->checkDDC();
}

std::string LinuxBackend::startLine() const {
    return "[Orvane] Running on Linux with " + std::to_string(displays_) + " displays, " +
           std::to_string(answering_) + " answer DDC/CI";
}

Platform LinuxBackend::start(runtime::Runtime& rt) {
    prepare();
    // The start line has been said: what prepare found comes after it.
    machine_->releaseNotes();
    machine_->setSession(DesktopSession::detect(log_));
    const auto desktop = runtime::environmentValue("XDG_CURRENT_DESKTOP").value_or("");
    if (const auto night = activeNightLight(root_, desktop); !night.empty()) {
        // Each sets the ramps when its colour changes; dimming follows then.
        log_.line("[Linux] Night light: " + night +
                  " sets the gamma ramps too - gamma dimming scales its ramp from the next "
                  "change of level on");
    }
    machine_->setMainExecutor(rt.main());
    machine_->startSession();
    hotplug_ = std::make_unique<HotplugMonitor>([machine = machine_.get()] { machine->rescan(); });
    if (!hotplug_->error().empty()) {
        log_.line("[Linux] Hot-plug unavailable: " + hotplug_->error() +
                  " - displays are read once, at start");
        hotplug_.reset();
    }
    sleep_ = std::make_unique<SleepMonitor>([machine = machine_.get()] { machine->resumed(); });
    if (!sleep_->error().empty()) {
        log_.line("[Linux] Resume from suspend is not followed: " + sleep_->error() +
                  " - monitors are read again on hot-plug only");
        sleep_.reset();
    }
    return machine_->platform();
}

void LinuxBackend::stop() {
    hotplug_.reset();  // before the machine its thread calls into
    sleep_.reset();
    machine_.reset();
    clock_.reset();
}

}  // namespace orvane::platform::linux_
