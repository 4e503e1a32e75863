// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "platform/sim/SimMachine.h"
#include "runtime/Logger.h"
#include "runtime/Runtime.h"
#include "runtime/Task.h"

namespace orvane::app {

inline constexpr const char* kBundleIdentifier = "app.orvane.Orvane";

/// The headless demo: starts the DDC engine on a machine, probes every external
/// display in turn and logs what each one answers.
runtime::Task<void> runDemo(runtime::Runtime& runtime, platform::sim::SimMachine& machine,
                            runtime::Logger& log);

}  // namespace orvane::app
