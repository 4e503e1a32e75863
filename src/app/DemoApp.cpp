// SPDX-License-Identifier: MIT
#include "app/DemoApp.h"

#include <chrono>
#include <memory>

#include "ddc/AVServiceDDC.h"
#include "ddc/DDCManager.h"
#include "displays/DisplayManager.h"
#include "runtime/Sleep.h"

namespace orvane::app {

using namespace std::chrono_literals;

runtime::Task<void> runDemo(runtime::Runtime& runtime, platform::sim::SimMachine& machine,
                            runtime::Logger& log) {
    const platform::Platform platform = machine.platform();
    displays::DisplayServices services{
        platform, ddc::DDCManager::create(runtime, platform, log, kBundleIdentifier),
        ddc::AVServiceDDC::create(runtime, platform, log, kBundleIdentifier)};
    auto manager = displays::DisplayManager::create(runtime, services, log);

    int scans = 0;
    auto subscription = manager->observe([&](std::string_view field) {
        if (field == "displays") ++scans;
    });
    co_await manager->start();

    for (const auto& state : manager->externalDisplays()) {
        state->brightness = 60.0;
        co_await manager->brightnessControllers().at(state->info.id)->setBrightness(60.0);
    }

    // Each connect or disconnect leads to one rescan; wait for all of them.
    const int expected = 1 + static_cast<int>(machine.rigEvents().size());
    machine.scheduleEvents(runtime.main());
    for (int waited = 0; scans < expected && waited < 200; ++waited)
        co_await runtime::sleepFor(runtime.main(), 50ms);

    for (const auto& state : manager->displays()) {
        log.line("[Demo] " + state->info.summary() + ": " +
                 displays::rawValue(state->info.connectionType) + ", brightness " +
                 std::to_string(static_cast<int>(state->brightness)) + "%, volume " +
                 displays::rawValue(state->volumeControlType) + " " +
                 std::to_string(static_cast<int>(state->volume)) + "%");
    }
    manager->stop();
    log.line("[Demo] Done after " + std::to_string(scans) + " scans; " +
             std::to_string(machine.windows().size()) + " overlay windows left");
}

}  // namespace orvane::app
