// SPDX-License-Identifier: MIT
#pragma once

#include "platform/MechanismTexts.h"

namespace orvane::platform::sim {

/// The simulated machine speaks as the original platform does.
inline const MechanismTexts kSimMechanismTexts{
    .avServiceMissing =
        "[AVServiceDDC] IOAVService functions not found - Apple Silicon HDMI DDC not available",
    .keysTrusted = "[AppDelegate] Accessibility permission granted",
    .keysNotTrusted = "[AppDelegate] Accessibility permission not granted - system prompt shown",
    .eventTapFailed =
        "[MediaKeyInterceptor] Failed to create event tap - is Accessibility permission granted?",
    .hotKeyHandlerFailed = "[ShortcutManager] Failed to install handler: ",
    .hotKeyHandlerInstalled = "[ShortcutManager] Carbon hot key handler installed",
    .gammaFailed = "[SoftwareDimmer] CGSetDisplayTransferByTable failed for display ",
    .builtInBrightnessSource = "IOKit",
    .builtInBrightnessFailed =
        "[DisplayManager] IOKit built-in brightness failed, falling back to software dimmer",
    .storeFailed = "Failed to create SwiftData container: ",
};

}  // namespace orvane::platform::sim
