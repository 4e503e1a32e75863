// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "platform/sim/SimMachine.h"
#include "runtime/Logger.h"
#include "runtime/Runtime.h"
#include "runtime/Task.h"

namespace orvane::app {

inline constexpr const char* kBundleIdentifier = "app.orvane.Orvane";

/// The headless demo: starts the display registry on a machine, sets every
/// external display to 60 % brightness, lets the rig's hot-plug events happen,
/// waits for the rescans they cause, and stops, clearing every dimmer.
runtime::Task<void> runDemo(runtime::Runtime& runtime, platform::sim::SimMachine& machine,
                            runtime::Logger& log);

}  // namespace orvane::app
