// SPDX-License-Identifier: MIT
#pragma once

#include "platform/AudioHardware.h"
#include "platform/DynamicLoader.h"
#include "platform/FileSystem.h"
#include "platform/FramebufferI2C.h"
#include "platform/IORegistry.h"
#include "platform/WindowServer.h"
#include "platform/WindowToolkit.h"

namespace orvane::platform {

/// Every platform service the core calls, as one bundle the app wires up.
struct Platform {
    WindowServer& windowServer;
    IORegistry& registry;
    FramebufferI2C& framebufferI2C;
    DynamicLoader& loader;
    WindowToolkit& windowToolkit;
    AudioHardware& audio;
    FileSystem& fileSystem;
};

}  // namespace orvane::platform
