// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "displays/DisplayInfo.h"

namespace orvane::gui {

// Symbol names are the views' vocabulary ("sun.max.fill"); the Qt layer maps
// each to an icon.

/// "sun.max.fill" above 66, "sun.min.fill" above 33, else "sun.min" (strict).
const char* brightnessSymbol(double brightness);
/// "speaker.wave.3.fill" above 66, ".2" above 33, ".1" above 0, else "speaker.slash.fill".
const char* volumeSymbol(double volume);
/// "laptopcomputer" for the built-in panel, "display" otherwise.
const char* displaySymbol(bool isBuiltIn);

/// The badge a card shows for its connection.
struct ConnectionBadge {
    const char* symbol;
    std::string name;
};
ConnectionBadge connectionBadge(displays::ConnectionType type);

}  // namespace orvane::gui
