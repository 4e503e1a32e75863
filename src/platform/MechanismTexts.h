// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace orvane::platform {

/// The log lines that name the mechanism a platform does a thing with. The
/// defaults are the simulated machine's, which speaks as the original
/// platform does; a backend gives its own words, and an empty text leaves
/// the line out where the platform has no such mechanism (or says why
/// itself, once).
struct MechanismTexts {
    std::string avServiceMissing =
        "[AVServiceDDC] IOAVService functions not found - Apple Silicon HDMI DDC not available";
    std::string keysTrusted = "[AppDelegate] Accessibility permission granted";
    std::string keysNotTrusted =
        "[AppDelegate] Accessibility permission not granted - system prompt shown";
    std::string eventTapFailed =
        "[MediaKeyInterceptor] Failed to create event tap - is Accessibility permission "
        "granted?";
    /// Followed by the status code.
    std::string hotKeyHandlerFailed = "[ShortcutManager] Failed to install handler: ";
    std::string hotKeyHandlerInstalled = "[ShortcutManager] Carbon hot key handler installed";
    /// "<gammaFailed><display>: <error>".
    std::string gammaFailed = "[SoftwareDimmer] CGSetDisplayTransferByTable failed for display ";
    /// Where the panel's brightness comes from: "... Built-in brightness from <it>: 40%".
    std::string builtInBrightnessSource = "IOKit";
    std::string builtInBrightnessFailed =
        "[DisplayManager] IOKit built-in brightness failed, falling back to software dimmer";
    /// Followed by the store's error.
    std::string storeFailed = "Failed to create SwiftData container: ";
};

/// The simulated machine's words, and those of whatever is given no others.
inline const MechanismTexts kOriginalMechanismTexts{};

}  // namespace orvane::platform
