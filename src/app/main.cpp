// SPDX-License-Identifier: MIT
// Orvane's headless demo on a simulated machine (the built-in default rig, or
// the one given with --rig FILE).

#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "app/DemoApp.h"
#include "platform/sim/SimMachine.h"
#include "platform/sim/SimRig.h"
#include "runtime/EventLoop.h"
#include "runtime/Logger.h"
#include "runtime/Runtime.h"
#include "runtime/Spawn.h"

int main(int argc, char** argv) {
    using namespace orvane;
    std::string rigPath;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--rig" && i + 1 < argc) {
            rigPath = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--rig FILE]\n", argv[0]);
            return 2;
        }
    }

    platform::sim::SimRig rig;
    try {
        rig = rigPath.empty() ? platform::sim::SimRig::defaultRig()
                              : platform::sim::SimRig::load(rigPath);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }

    runtime::StdoutLogger log;
    runtime::ThreadedRuntime rt;
    platform::sim::SimMachine machine(rig, rt.clock());
    machine.setMainExecutor(rt.main());
    log.line("[Orvane] Running on simulated machine \"" + machine.name() + "\" with " +
             std::to_string(machine.displayIDs().size()) + " displays");

    int status = 0;
    runtime::spawn(rt.main(), app::runDemo(rt, machine, log), [&](std::exception_ptr error) {
        if (error) {
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "demo failed: %s\n", e.what());
            }
            status = 1;
        }
        rt.loop().stop();
    });
    rt.loop().run();
    return status;
}
