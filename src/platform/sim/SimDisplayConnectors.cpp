// SPDX-License-Identifier: MIT
#include "platform/sim/SimDisplayConnectors.h"

#include <algorithm>
#include <array>
#include <set>
#include <string_view>

#include "platform/sim/SimStatus.h"
#include "runtime/Format.h"

namespace orvane::platform::sim {

namespace {

constexpr std::uint32_t kAppleVendor = 0x0610;
constexpr std::size_t kMaxDisplays = 16;
constexpr std::string_view kBrightnessKey = "brightness";

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

std::optional<std::string> productNameOf(const InfoDictionary& info) {
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

std::optional<std::string> SimDisplayConnectors::productName(DisplayID d) {
    const std::uint32_t vendor = windowServer_.vendorNumber(d);
    const std::uint32_t model = windowServer_.modelNumber(d);
    std::vector<IOObjectRef> services;
    if (registry_.matchingServices("IODisplayConnect", services) != kIOReturnSuccess)
        return std::nullopt;
    for (const auto& service : services) {
        auto info = registry_.displayInfoDictionary(service.get(), kIODisplayOnlyPreferredName);
        if (!info || !belongsTo(*info, vendor, model)) continue;
        if (auto name = productNameOf(*info)) return name;
    }
    return std::nullopt;
}

std::optional<std::string> SimDisplayConnectors::connectionName(DisplayID d) {
    const std::uint32_t vendor = windowServer_.vendorNumber(d);
    const std::uint32_t model = windowServer_.modelNumber(d);
    std::vector<IOObjectRef> connects;
    if (registry_.matchingServices("IODisplayConnect", connects) == kIOReturnSuccess) {
        for (const auto& service : connects) {
            auto info = registry_.displayInfoDictionary(service.get(), kIODisplayOnlyPreferredName);
            if (!info || !belongsTo(*info, vendor, model)) continue;
            IOObjectRef entry = service;
            for (int level = 0; level < 5; ++level) {
                IOObjectRef parent;
                if (registry_.parentEntry(entry.get(), kIOServicePlane, parent) !=
                        kIOReturnSuccess ||
                    !parent) {
                    break;
                }
                const std::string cls =
                    runtime::lowercased(registry_.className(parent.get()).substr(0, 127));
                if (contains(cls, "thunderbolt")) return "Thunderbolt";
                if (contains(cls, "hdmi")) return "HDMI";
                if (contains(cls, "avservice")) return "HDMI";
                if (contains(cls, "displayport")) return "DisplayPort";
                if (contains(cls, "dvi")) return "DVI";
                if (contains(cls, "vga")) return "VGA";
                if (contains(cls, "usb") && !contains(cls, "iousbhost")) return "USB-C";
                entry = std::move(parent);
            }
        }
    }
    return isAirPlay(d) ? "AirPlay" : "USB-C";
}

bool SimDisplayConnectors::reachesDDC(DisplayID d) {
    return buses_.reaches(DDCLink::i2c, d) ||
           (buses_.offers(DDCLink::avService) && buses_.reaches(DDCLink::avService, d));
}

bool SimDisplayConnectors::isAirPlay(DisplayID d) {
    const std::uint32_t vendor = windowServer_.vendorNumber(d);
    const std::uint32_t model = windowServer_.modelNumber(d);
    if (vendor == kAppleVendor || vendor > 65535) return true;

    if (auto screen = screenForDisplay(toolkit_, d)) {
        if (screen->colorSpace && screen->colorSpace->localizedName) {
            const std::string cs = runtime::lowercased(*screen->colorSpace->localizedName);
            if (contains(cs, "airplay") || contains(cs, "apple tv")) return true;
        }
    }
    if (reachesDDC(d)) return false;

    std::vector<IOObjectRef> connects;
    if (registry_.matchingServices("IODisplayConnect", connects) != kIOReturnSuccess) return false;
    for (const auto& service : connects) {
        auto info = registry_.displayInfoDictionary(service.get(), kIODisplayOnlyPreferredName);
        if (!info) continue;
        const auto regVendor = info->number("DisplayVendorID");
        const auto regProduct = info->number("DisplayProductID");
        if (regVendor && regProduct && *regVendor == vendor && *regProduct == model) return false;
    }
    return true;
}

std::vector<IOObjectRef> SimDisplayConnectors::panelServices(bool logFailure) {
    std::vector<IOObjectRef> services;
    if (auto status = registry_.matchingServices("IODisplayConnect", services)) {
        if (logFailure && log_)
            log_->line("[DisplayManager] IOServiceGetMatchingServices failed: " +
                       std::to_string(status));
        return {};
    }
    const auto ids = listedDisplays(windowServer_, kMaxDisplays);
    std::optional<std::pair<std::uint32_t, std::uint32_t>> panel;
    std::set<std::pair<std::uint32_t, std::uint32_t>> externals;
    for (DisplayID id : ids) {
        const std::pair identity{windowServer_.vendorNumber(id), windowServer_.modelNumber(id)};
        if (windowServer_.displayIsBuiltin(id)) {
            panel = identity;
        } else {
            externals.insert(identity);
        }
    }
    std::vector<IOObjectRef> own, unplaced;
    for (auto& service : services) {
        auto info = registry_.displayInfoDictionary(service.get(), kIODisplayOnlyPreferredName);
        std::optional<std::pair<std::uint32_t, std::uint32_t>> identity;
        if (info) {
            auto vendor = info->number("DisplayVendorID");
            auto product = info->number("DisplayProductID");
            if (vendor && product) identity = std::pair{*vendor, *product};
        }
        if (identity && panel && *identity == *panel) {
            own.push_back(std::move(service));
        } else if (!identity || !externals.count(*identity)) {
            unplaced.push_back(std::move(service));
        }
    }
    own.insert(own.end(), std::make_move_iterator(unplaced.begin()),
               std::make_move_iterator(unplaced.end()));
    return own;
}

std::optional<float> SimDisplayConnectors::panelBrightness() {
    for (const auto& service : panelServices(false)) {
        float value = 0;
        if (registry_.displayGetFloatParameter(service.get(), 0, kBrightnessKey, value) ==
            kIOReturnSuccess) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<PlatformError> SimDisplayConnectors::setPanelBrightness(float level) {
    IOReturn last = kIOReturnNotFound;
    for (const auto& service : panelServices(true)) {
        last = registry_.displaySetFloatParameter(service.get(), 0, kBrightnessKey, level);
        if (last == kIOReturnSuccess) return std::nullopt;
    }
    return hexStatusError(last);
}

}  // namespace orvane::platform::sim
