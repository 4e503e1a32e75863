// SPDX-License-Identifier: MIT
#include "displays/DisplayInfo.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "runtime/Format.h"

namespace orvane::displays {

using runtime::integerPart;

namespace {

constexpr std::array<std::pair<ConnectionType, std::string_view>, 9> kConnectionTypes{{
    {ConnectionType::thunderbolt, "Thunderbolt"},
    {ConnectionType::usbc, "USB-C"},
    {ConnectionType::hdmi, "HDMI"},
    {ConnectionType::displayPort, "DisplayPort"},
    {ConnectionType::dvi, "DVI"},
    {ConnectionType::vga, "VGA"},
    {ConnectionType::airplay, "AirPlay"},
    {ConnectionType::builtIn, "Built-in"},
    {ConnectionType::unknown, "Unknown"},
}};

}  // namespace

const std::string& rawValue(ConnectionType type) {
    static const auto names = [] {
        std::array<std::string, kConnectionTypes.size()> n;
        for (std::size_t i = 0; i < n.size(); ++i)
            n[i] = std::string(kConnectionTypes[i].second);
        return n;
    }();
    return names[static_cast<std::size_t>(type)];
}

std::optional<ConnectionType> connectionTypeFromRaw(std::string_view raw) {
    for (const auto& [type, name] : kConnectionTypes) {
        if (name == raw) return type;
    }
    return std::nullopt;
}

std::string DisplayInfo::summary() const {
    std::string s = displayName() + " - " + std::to_string(integerPart(currentResolution.width)) +
                    "\u00d7" + std::to_string(integerPart(currentResolution.height));
    if (refreshRate > 0) s += " @ " + std::to_string(integerPart(refreshRate)) + "Hz";
    return s;
}

DisplayInfo makeDisplayInfo(DisplayID d, const DisplayServices& services) {
    auto& ws = services.platform.windowServer;
    DisplayInfo info;
    info.id = d;
    info.isBuiltIn = ws.displayIsBuiltin(d);
    if (auto mode = ws.currentMode(d)) {
        info.currentResolution = {static_cast<double>(mode->width),
                                  static_cast<double>(mode->height)};
        info.refreshRate = mode->refreshRate;
        info.nativeResolution = {static_cast<double>(mode->pixelWidth),
                                 static_cast<double>(mode->pixelHeight)};
    } else {
        info.nativeResolution = {static_cast<double>(ws.pixelsWide(d)),
                                 static_cast<double>(ws.pixelsHigh(d))};
    }
    info.vendorID = ws.vendorNumber(d);
    info.productID = ws.modelNumber(d);
    const std::uint32_t serial = ws.serialNumber(d);
    info.name = resolveDisplayName(d, services)
                    .value_or(ws.displayLabel(d).value_or("Display " + std::to_string(d)));
    info.connectionType = detectConnectionType(d, info.isBuiltIn, services);
    info.ddcSupported = !info.isBuiltIn && canReachDDC(d, services);
    if (serial != 0) info.serialNumber = std::to_string(serial);
    return info;
}

std::optional<std::string> resolveDisplayName(DisplayID d, const DisplayServices& services) {
    const auto& p = services.platform;
    const auto screen = platform::screenForDisplay(p.windowToolkit, d);
    if (screen && !screen->localizedName.empty()) return screen->localizedName;
    if (auto name = p.connectors.productName(d); name && !name->empty()) return name;

    if (p.windowServer.displayIsBuiltin(d)) return "Built-in Display";

    if (screen && screen->colorSpace && screen->colorSpace->localizedName) {
        const std::string& cs = *screen->colorSpace->localizedName;
        // Colour-space names, not display names.
        static constexpr std::array<std::string_view, 4> generic{"sRGB", "Display P3", "Color LCD",
                                                                 "Generic RGB"};
        const bool isGeneric = std::any_of(generic.begin(), generic.end(), [&](std::string_view g) {
            return cs.find(g) != std::string::npos;
        });
        if (!cs.empty() && !isGeneric) return cs;
    }
    return std::nullopt;
}

ConnectionType detectConnectionType(DisplayID d, bool isBuiltIn, const DisplayServices& services) {
    if (isBuiltIn) return ConnectionType::builtIn;
    auto name = services.platform.connectors.connectionName(d);
    return name ? connectionTypeFromRaw(*name).value_or(ConnectionType::unknown)
                : ConnectionType::unknown;
}

bool canReachDDC(DisplayID d, const DisplayServices& services) {
    const auto transports = services.transports();
    return std::any_of(transports.begin(), transports.end(),
                       [d](const auto& t) { return t && t->reaches(d); });
}

}  // namespace orvane::displays
