// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <string>

#include "app/OrvaneApp.h"
#include "platform/posix/PosixFileManager.h"
#include "platform/posix/PosixProcessRunner.h"
#include "platform/sim/SimMachine.h"
#include "platform/sim/SimRig.h"
#include "runtime/Logger.h"
#include "runtime/ManualExecutor.h"
#include "runtime/Runtime.h"

namespace orvane::test {

/// The whole application on a simulated machine and a virtual clock, with
/// its store and defaults in directory: what the GUI sits on.
class SimApp {
  public:
    /// desktop: the desktop's own shortcuts, where a test has them.
    SimApp(const platform::sim::SimRig& rig, const std::string& directory,
           platform::DesktopShortcuts* desktop = nullptr);
    ~SimApp();

    /// The launch sequence, run until nothing is left to do.
    void launch();
    runtime::ManualExecutor& executor() { return runtime.executor(); }

    runtime::VirtualRuntime runtime;
    runtime::CapturingLogger log;
    platform::sim::SimMachine machine;
    std::unique_ptr<app::OrvaneApp> app;

  private:
    platform::posix::PosixProcessRunner processes_;
    platform::posix::PosixFileManager files_;
};

}  // namespace orvane::test
