// SPDX-License-Identifier: MIT
#include "displays/DisplayInfo.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <vector>

#include "runtime/Format.h"

namespace orvane::displays {

using runtime::integerPart;
using runtime::lowercased;

using platform::InfoDictionary;
using platform::IOObjectRef;

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

constexpr std::uint32_t kAppleVendor = 0x0610;

bool contains(std::string_view haystack, std::string_view needle) {
    return haystack.find(needle) != std::string_view::npos;
}

/// A registry display entry belongs to the display when the vendor matches and
/// the product matches, or, lacking a product ID, when the display's model is 0.
bool belongsTo(const InfoDictionary& info, std::uint32_t vendor, std::uint32_t model) {
    const auto regVendor = info.number("DisplayVendorID");
    if (!regVendor || *regVendor != vendor) return false;
    const auto regProduct = info.number("DisplayProductID");
    return regProduct ? *regProduct == model : model == 0;
}

std::optional<std::string> productName(const InfoDictionary& info) {
    const auto* value = info.find("DisplayProductName");
    if (!value) return std::nullopt;
    if (const auto* names = value->asDictionary()) {
        if (!names->entries().empty()) {
            if (const auto* s = names->entries().front().second.asString(); s && !s->empty())
                return *s;
        }
        return std::nullopt;
    }
    if (const auto* s = value->asString(); s && !s->empty()) return *s;
    return std::nullopt;
}

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

    const std::uint32_t vendor = p.windowServer.vendorNumber(d);
    const std::uint32_t model = p.windowServer.modelNumber(d);
    std::vector<IOObjectRef> services_;
    if (p.registry.matchingServices("IODisplayConnect", services_) == platform::kIOReturnSuccess) {
        for (const auto& service : services_) {
            auto info = p.registry.displayInfoDictionary(service.get(),
                                                         platform::kIODisplayOnlyPreferredName);
            if (!info || !belongsTo(*info, vendor, model)) continue;
            if (auto name = productName(*info)) return name;
        }
    }

    if (p.windowServer.displayIsBuiltin(d)) return "Built-in Display";

    if (screen && screen->colorSpace && screen->colorSpace->localizedName) {
        const std::string& cs = *screen->colorSpace->localizedName;
        // Colour-space names, not display names.
        static constexpr std::array<std::string_view, 4> generic{"sRGB", "Display P3", "Color LCD",
                                                                 "Generic RGB"};
        const bool isGeneric = std::any_of(generic.begin(), generic.end(),
                                           [&](std::string_view g) { return contains(cs, g); });
        if (!cs.empty() && !isGeneric) return cs;
    }
    return std::nullopt;
}

ConnectionType detectConnectionType(DisplayID d, bool isBuiltIn, const DisplayServices& services) {
    if (isBuiltIn) return ConnectionType::builtIn;
    // Where the platform knows the connector itself, no registry is walked
    // and no display is guessed to be a network one.
    if (auto name = services.platform.windowServer.connectionName(d)) {
        return connectionTypeFromRaw(*name).value_or(ConnectionType::unknown);
    }
    auto& reg = services.platform.registry;
    const std::uint32_t vendor = services.platform.windowServer.vendorNumber(d);
    const std::uint32_t model = services.platform.windowServer.modelNumber(d);

    std::vector<IOObjectRef> connects;
    if (reg.matchingServices("IODisplayConnect", connects) == platform::kIOReturnSuccess) {
        for (const auto& service : connects) {
            auto info =
                reg.displayInfoDictionary(service.get(), platform::kIODisplayOnlyPreferredName);
            if (!info || !belongsTo(*info, vendor, model)) continue;
            IOObjectRef entry = service;
            for (int level = 0; level < 5; ++level) {
                IOObjectRef parent;
                if (reg.parentEntry(entry.get(), platform::kIOServicePlane, parent) !=
                        platform::kIOReturnSuccess ||
                    !parent) {
                    break;
                }
                const std::string cls = lowercased(reg.className(parent.get()).substr(0, 127));
                if (contains(cls, "thunderbolt")) return ConnectionType::thunderbolt;
                if (contains(cls, "hdmi")) return ConnectionType::hdmi;
                if (contains(cls, "avservice")) return ConnectionType::hdmi;
                if (contains(cls, "displayport")) return ConnectionType::displayPort;
                if (contains(cls, "dvi")) return ConnectionType::dvi;
                if (contains(cls, "vga")) return ConnectionType::vga;
                if (contains(cls, "usb") && !contains(cls, "iousbhost"))
                    return ConnectionType::usbc;
                entry = std::move(parent);
            }
        }
    }
    return isAirPlayDisplay(d, services) ? ConnectionType::airplay : ConnectionType::usbc;
}

bool isAirPlayDisplay(DisplayID d, const DisplayServices& services) {
    const auto& p = services.platform;
    const std::uint32_t vendor = p.windowServer.vendorNumber(d);
    const std::uint32_t model = p.windowServer.modelNumber(d);
    if (vendor == kAppleVendor || vendor > 65535) return true;

    if (auto screen = platform::screenForDisplay(p.windowToolkit, d)) {
        if (screen->colorSpace && screen->colorSpace->localizedName) {
            const std::string cs = lowercased(*screen->colorSpace->localizedName);
            if (contains(cs, "airplay") || contains(cs, "apple tv")) return true;
        }
    }
    if (canReachDDC(d, services)) return false;

    std::vector<IOObjectRef> connects;
    if (p.registry.matchingServices("IODisplayConnect", connects) != platform::kIOReturnSuccess)
        return false;
    for (const auto& service : connects) {
        auto info =
            p.registry.displayInfoDictionary(service.get(), platform::kIODisplayOnlyPreferredName);
        if (!info) continue;
        const auto regVendor = info->number("DisplayVendorID");
        const auto regProduct = info->number("DisplayProductID");
        if (regVendor && regProduct && *regVendor == vendor && *regProduct == model) return false;
    }
    return true;
}

bool canReachDDC(DisplayID d, const DisplayServices& services) {
    const auto transports = services.transports();
    return std::any_of(transports.begin(), transports.end(),
                       [d](const auto& t) { return t && t->reaches(d); });
}

}  // namespace orvane::displays
