// SPDX-License-Identifier: MIT
#include "app/DemoApp.h"

#include <algorithm>
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
    // Until the settings store restores the user's bindings, the demo binds one.
    auto& shortcuts = *manager->shortcutManager();
    std::weak_ptr<displays::DisplayManager> weak = manager;
    shortcuts.onAction = [weak](input::ShortcutAction action) {
        if (auto m = weak.lock()) m->performShortcutAction(action);
    };
    shortcuts.registerShortcut(input::ShortcutAction::brightnessUp,
                               {126, input::kControlKey | input::kOptionKey});

    for (const auto& state : manager->externalDisplays()) {
        state->brightness = 60.0;
        co_await manager->brightnessControllers().at(state->info.id)->setBrightness(60.0);
    }

    // Each connect or disconnect leads to one rescan; wait for all of them and
    // for the key presses to have been handled.
    int expected = 1;
    std::int64_t lastEventMs = 0;
    for (const auto& e : machine.rigEvents()) {
        expected += e.connect || e.disconnect;
        lastEventMs = std::max(lastEventMs, e.afterMs);
    }
    const auto started = runtime.clock().now();
    machine.scheduleEvents(runtime.main());
    for (int waited = 0; waited < 200; ++waited) {
        const bool eventsDone =
            runtime.clock().now() - started > std::chrono::milliseconds(lastEventMs + 100);
        if (scans >= expected && eventsDone) break;
        co_await runtime::sleepFor(runtime.main(), 50ms);
    }

    for (const auto& state : manager->displays()) {
        log.line("[Demo] " + state->info.summary() + ": " +
                 displays::rawValue(state->info.connectionType) + ", brightness " +
                 std::to_string(static_cast<int>(state->brightness)) + "%, volume " +
                 displays::rawValue(state->volumeControlType) + " " +
                 std::to_string(static_cast<int>(state->volume)) + "%");
    }
    std::size_t panels = 0;
    for (const auto& [id, view] : manager->osdManager()->customOSDs())
        panels += view->hasWindow();
    log.line("[Demo] On-screen panels shown on " + std::to_string(panels) + " displays");
    manager->stop();
    std::size_t overlays = 0;
    for (const auto& w : machine.windows())
        overlays += w.level == platform::kScreenSaverWindowLevel;
    log.line("[Demo] Done after " + std::to_string(scans) + " scans; " + std::to_string(overlays) +
             " overlay windows left");
}

}  // namespace orvane::app
