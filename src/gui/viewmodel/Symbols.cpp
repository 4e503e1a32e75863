// SPDX-License-Identifier: MIT
#include "gui/viewmodel/Symbols.h"

namespace orvane::gui {

using displays::ConnectionType;

const char* brightnessSymbol(double brightness) {
    if (brightness > 66) return "sun.max.fill";
    if (brightness > 33) return "sun.min.fill";
    return "sun.min";
}

const char* volumeSymbol(double volume) {
    if (volume > 66) return "speaker.wave.3.fill";
    if (volume > 33) return "speaker.wave.2.fill";
    if (volume > 0) return "speaker.wave.1.fill";
    return "speaker.slash.fill";
}

const char* displaySymbol(bool isBuiltIn) {
    return isBuiltIn ? "laptopcomputer" : "display";
}

ConnectionBadge connectionBadge(ConnectionType type) {
    const char* symbol = "questionmark.circle";
    switch (type) {
        case ConnectionType::thunderbolt:
            symbol = "bolt.fill";
            break;
        case ConnectionType::usbc:
            symbol = "cable.connector";
            break;
        case ConnectionType::hdmi:
            symbol = "tv";
            break;
        case ConnectionType::displayPort:
        case ConnectionType::dvi:
        case ConnectionType::vga:
            symbol = "rectangle.connected.to.line.below";
            break;
        case ConnectionType::airplay:
            symbol = "airplayvideo";
            break;
        case ConnectionType::builtIn:
            symbol = "laptopcomputer";
            break;
        case ConnectionType::unknown:
            break;
    }
    return {symbol, displays::rawValue(type)};
}

}  // namespace orvane::gui
