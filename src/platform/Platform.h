// SPDX-License-Identifier: MIT
#pragma once

#include "platform/Accessibility.h"
#include "platform/AudioSinks.h"
#include "platform/DDCBuses.h"
#include "platform/DesktopOSD.h"
#include "platform/DesktopShortcuts.h"
#include "platform/DisplayConnectors.h"
#include "platform/FileSystem.h"
#include "platform/GlobalShortcuts.h"
#include "platform/KeyboardLayout.h"
#include "platform/MechanismTexts.h"
#include "platform/MediaKeys.h"
#include "platform/WindowServer.h"
#include "platform/WindowToolkit.h"

namespace orvane::platform {

/// Every platform service the core calls, as one bundle the app wires up.
struct Platform {
    WindowServer& windowServer;
    DisplayConnectors& connectors;
    DDCBuses& ddc;
    WindowToolkit& windowToolkit;
    AudioSinks& audio;
    FileSystem& fileSystem;
    MediaKeys& mediaKeys;
    GlobalShortcuts& shortcuts;
    KeyboardLayout& keyboardLayout;
    Accessibility& accessibility;
    /// How the platform's log lines name its mechanisms.
    const MechanismTexts& texts;
    /// The desktop's own shortcuts Orvane may add its key commands to; null
    /// where the desktop has none Orvane knows.
    DesktopShortcuts* desktopShortcuts;
    /// The desktop's own on-screen display, used instead of Orvane's panel;
    /// null where Orvane's panel is the one to show.
    DesktopOSD* desktopOSD;
};

}  // namespace orvane::platform
