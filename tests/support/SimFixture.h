// SPDX-License-Identifier: MIT
#pragma once

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ddc/AVServiceDDC.h"
#include "ddc/DDCDisplay.h"
#include "ddc/DDCManager.h"
#include "displays/DisplayInfo.h"
#include "platform/sim/SimMachine.h"
#include "platform/sim/SimMechanismTexts.h"
#include "platform/sim/SimRig.h"
#include "runtime/Logger.h"
#include "runtime/ManualExecutor.h"
#include "runtime/Runtime.h"
#include "runtime/Spawn.h"

namespace orvane::test {

using namespace std::chrono_literals;

/// Runs task on the virtual executor until it finishes; returns its value or rethrows.
template <typename T>
T runTask(runtime::ManualExecutor& executor, runtime::Task<T> task) {
    std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> result;
    std::exception_ptr error;
    bool done = false;
    auto wrapper = [](runtime::Task<T> t, auto& result) -> runtime::Task<void> {
        if constexpr (std::is_void_v<T>) {
            co_await std::move(t);
            result.emplace(true);
        } else {
            result.emplace(co_await std::move(t));
        }
    };
    runtime::spawn(executor, wrapper(std::move(task), result), [&](std::exception_ptr e) {
        error = e;
        done = true;
    });
    executor.runUntilIdle();
    if (!done) throw std::logic_error("task did not finish: it awaits something that never comes");
    if (error) std::rethrow_exception(error);
    if constexpr (!std::is_void_v<T>) return std::move(*result);
}

/// The error text a failing task ends with, or "" if it succeeds.
template <typename T>
std::string errorOf(runtime::ManualExecutor& executor, runtime::Task<T> task) {
    try {
        runTask(executor, std::move(task));
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

/// A machine holding just these displays.
platform::sim::SimRig rigOf(std::vector<platform::sim::SimDisplaySpec> displays);

/// A rig display with the given DDC path and all five features answering.
platform::sim::SimDisplaySpec simDisplay(DisplayID id, platform::sim::SimDDCPath path,
                                         std::uint32_t vendor = 0x10ac,
                                         std::uint32_t model = 0xa0c4, std::uint32_t serial = 0);

/// d with its registry and screen named name.
platform::sim::SimDisplaySpec named(platform::sim::SimDisplaySpec d, std::string name);
/// A built-in panel whose "brightness" parameter reads brightness.
platform::sim::SimDisplaySpec builtInPanel(DisplayID id, float brightness);
/// A display the registry does not know, as AirPlay displays are not.
platform::sim::SimDisplaySpec airPlayDisplay(DisplayID id, std::string name);

/// The values Set VCP Feature requests carried to code on display, in order.
std::vector<int> vcpWrites(const platform::sim::SimMachine& machine, DisplayID display,
                           std::uint8_t code);
/// n samples rising evenly from 0 to top.
std::vector<float> linearRamp(std::size_t n, float top = 1.0f);
/// Sets a display's gamma tables as another program would; false if refused.
bool setTables(platform::sim::SimMachine& machine, DisplayID display, const std::vector<float>& red,
               const std::vector<float>& green, const std::vector<float>& blue);
inline bool setTables(platform::sim::SimMachine& machine, DisplayID display,
                      const std::vector<float>& all) {
    return setTables(machine, display, all, all, all);
}

/// A simulated machine on a virtual clock with the DDC engine on top of it.
class SimFixture : public ::testing::Test {
  protected:
    explicit SimFixture(platform::sim::SimRig rig = platform::sim::SimRig::defaultRig());
    ~SimFixture() override;

    /// Builds the transports (and logs their start-up lines) on first use.
    std::shared_ptr<ddc::DDCManager> i2c();
    std::shared_ptr<ddc::AVServiceDDC> av();
    std::shared_ptr<ddc::DDCDisplay> makeDisplay(DisplayID id);
    displays::DisplayServices services() { return {machine_->platform(), i2c(), av()}; }
    /// Replaces the machine with one built from rig.
    void useRig(const platform::sim::SimRig& rig);

    runtime::ManualExecutor& executor() { return runtime_.executor(); }
    runtime::TimePoint now() { return executor().now(); }
    platform::sim::SimMonitor& monitor(DisplayID id) { return *machine_->monitor(id); }
    void addFault(DisplayID id, platform::sim::SimFaultKind kind,
                  std::optional<std::uint8_t> code = std::nullopt, int times = -1,
                  platform::sim::IOReturn status = platform::sim::kIOReturnError, int bytes = 1);
    std::vector<std::string> lines() const { return log_.lines(); }

    runtime::VirtualRuntime runtime_;
    runtime::CapturingLogger log_;
    std::unique_ptr<platform::sim::SimMachine> machine_;

  private:
    std::shared_ptr<ddc::DDCManager> i2c_;
    std::shared_ptr<ddc::AVServiceDDC> av_;
};

}  // namespace orvane::test
