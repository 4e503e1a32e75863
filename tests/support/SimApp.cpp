// SPDX-License-Identifier: MIT
#include "support/SimApp.h"

namespace orvane::test {

SimApp::SimApp(const platform::sim::SimRig& rig, const std::string& directory,
               platform::DesktopShortcuts* desktop)
    : machine(rig, runtime.clock()) {
    machine.setMainExecutor(executor());
    machine.setLog(log);
    app::OrvaneApp::Options options;
    options.storePath = directory + "/Orvane.store";
    options.defaultsPath = directory + "/defaults.json";
    auto platform = machine.platform();
    platform.desktopShortcuts = desktop;
    app = std::make_unique<app::OrvaneApp>(runtime, platform, options, processes_, files_, log);
    // Timers that would keep a virtual run going for minutes.
    app->registry().reprobeOnTimer = false;
    app->delegate().applyDefaultPresetAtLaunch = false;
}

SimApp::~SimApp() {
    // What the test left queued runs while the application is still whole,
    // as the loop of a real run would have run it.
    executor().runUntilIdle();
    app.reset();
    executor().runUntilIdle();
}

void SimApp::launch() {
    app->delegate().applicationDidFinishLaunching();
    executor().runUntilIdle();
}

}  // namespace orvane::test
