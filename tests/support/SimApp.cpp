// SPDX-License-Identifier: MIT
#include "support/SimApp.h"

namespace orvane::test {

SimApp::SimApp(const platform::sim::SimRig& rig, const std::string& directory)
    : machine(rig, runtime.clock()) {
    machine.setMainExecutor(executor());
    app::OrvaneApp::Options options;
    options.storePath = directory + "/Orvane.store";
    options.defaultsPath = directory + "/defaults.json";
    app = std::make_unique<app::OrvaneApp>(runtime, machine.platform(), options, processes_, files_,
                                           log);
    // Timers that would keep a virtual run going for minutes.
    app->registry().reprobeOnTimer = false;
    app->delegate().applyDefaultPresetAtLaunch = false;
}

SimApp::~SimApp() {
    app.reset();
    executor().runUntilIdle();
}

void SimApp::launch() {
    app->delegate().applicationDidFinishLaunching();
    executor().runUntilIdle();
}

}  // namespace orvane::test
