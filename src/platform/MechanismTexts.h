// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace orvane::platform {

/// The log lines that name the mechanism a platform does a thing with. Each
/// backend gives its own words; an empty text leaves the line out where the
/// platform has no such mechanism (or says why itself, once).
struct MechanismTexts {
    /// The audio/video service's functions are missing.
    std::string avServiceMissing{};
    /// Whether the keys may be watched.
    std::string keysTrusted{};
    std::string keysNotTrusted{};
    /// The keys could not be watched.
    std::string eventTapFailed{};
    /// Followed by the platform's error.
    std::string hotKeyHandlerFailed{};
    std::string hotKeyHandlerInstalled{};
    /// "<gammaFailed><display>: <error>".
    std::string gammaFailed{};
    /// Where the panel's brightness comes from: "... Built-in brightness from <it>: 40%".
    std::string builtInBrightnessSource{};
    std::string builtInBrightnessFailed{};
    /// Followed by the store's error.
    std::string storeFailed{};
};

}  // namespace orvane::platform
