// SPDX-License-Identifier: MIT
#include "ddc/AVServiceDDC.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "ddc/DDCError.h"
#include "ddc/DDCMessage.h"
#include "platform/Platform.h"

namespace orvane::ddc {

using platform::IOAVServiceRef;
using platform::IOObjectRef;

namespace {
constexpr std::chrono::microseconds kReplyPause{50'000};

template <typename Fn>
Fn resolve(platform::DynamicLibrary& library, std::string_view name) {
    platform::Symbol symbol = library.symbol(name);
    if (auto* fn = std::get_if<Fn>(&symbol)) return *fn;
    return {};
}
}  // namespace

std::shared_ptr<AVServiceDDC> AVServiceDDC::create(runtime::Runtime& runtime,
                                                   const platform::Platform& platform,
                                                   runtime::Logger& log,
                                                   std::string_view bundleIdentifier) {
    return std::make_shared<AVServiceDDC>(Key{}, runtime, platform, log, bundleIdentifier);
}

AVServiceDDC::AVServiceDDC(Key, runtime::Runtime& runtime, const platform::Platform& platform,
                           runtime::Logger& log, std::string_view bundleIdentifier)
    : DDCTransport(runtime, log, std::string(bundleIdentifier) + ".avservice.io", "[AVServiceDDC] ",
                   "AVService.", [](DisplayID) { return DDCError::avServiceNotAvailable(); }),
      clock_(runtime.clock()),
      loader_(platform.loader),
      registry_(platform.registry),
      windowServer_(platform.windowServer) {
    framework_ = loader_.open(kFrameworkPath, platform::kRTLDNow);
    if (framework_) {
        readI2C_ = resolve<platform::IOAVServiceReadI2CFn>(*framework_, "IOAVServiceReadI2C");
        writeI2C_ = resolve<platform::IOAVServiceWriteI2CFn>(*framework_, "IOAVServiceWriteI2C");
    }
    if (functionsAvailable()) {
        log_.line("[AVServiceDDC] IOAVService functions loaded - Apple Silicon HDMI DDC available");
    } else if (!platform.texts.avServiceMissing.empty()) {
        log_.line(platform.texts.avServiceMissing);
    }
}

IOAVServiceRef AVServiceDDC::serviceFromFirst(
    const platform::IOAVServiceCreateWithServiceFn& create, std::string_view className) {
    std::vector<IOObjectRef> services;
    if (registry_.matchingServices(className, services) != platform::kIOReturnSuccess ||
        services.empty()) {
        return nullptr;
    }
    return create(platform::kCFAllocatorDefault, services.front().get());
}

IOAVServiceRef AVServiceDDC::avService(DisplayID display) {
    auto framework = loader_.open(kFrameworkPath, platform::kRTLDNow);
    if (!framework) return nullptr;
    auto create = resolve<platform::IOAVServiceCreateWithServiceFn>(*framework,
                                                                    "IOAVServiceCreateWithService");
    if (!create) return nullptr;

    std::vector<IOObjectRef> proxies;
    if (registry_.matchingServices("DCPAVServiceProxy", proxies) != platform::kIOReturnSuccess) {
        if (auto service = serviceFromFirst(create, "AppleCLCD2")) return service;
        return serviceFromFirst(create, "IOMobileFramebufferShim");
    }
    if (proxies.empty()) return nullptr;

    // A proxy serves one display: the first to ask for it keeps it while active.
    std::lock_guard lock(claimsLock_);
    std::set<DisplayID> active;
    {
        auto listed = windowServer_.activeDisplays(16);
        if (auto* ids = std::get_if<std::vector<DisplayID>>(&listed)) {
            active.insert(ids->begin(), ids->end());
            std::erase_if(claims_, [&](const auto& c) { return !active.count(c.first); });
        }
    }
    const auto claimedByOther = [&](const IOObjectRef& proxy) {
        return std::any_of(claims_.begin(), claims_.end(), [&](const auto& c) {
            return c.first != display && c.second == proxy.get();
        });
    };
    const auto claim = [&](const IOObjectRef& proxy) {
        claims_[display] = proxy.get();
        return create(platform::kCFAllocatorDefault, proxy.get());
    };
    if (auto it = claims_.find(display); it != claims_.end()) {
        for (const IOObjectRef& proxy : proxies) {
            if (proxy.get() == it->second) return claim(proxy);
        }
        claims_.erase(it);
    }

    // Whether one of proxy's children describes the display of that vendor and model.
    const auto serves = [&](const IOObjectRef& proxy, std::uint32_t vendor, std::uint32_t model) {
        std::vector<IOObjectRef> children;
        if (registry_.childEntries(proxy.get(), platform::kIOServicePlane, children) !=
            platform::kIOReturnSuccess) {
            return false;
        }
        for (const IOObjectRef& child : children) {
            auto info =
                registry_.displayInfoDictionary(child.get(), platform::kIODisplayOnlyPreferredName);
            if (!info) continue;
            const std::uint32_t childVendor = info->number("DisplayVendorID").value_or(0);
            const auto childProduct = info->number("DisplayProductID");
            if (childVendor == vendor && (childProduct ? *childProduct == model : model == 0))
                return true;
        }
        return false;
    };
    const std::uint32_t vendor = windowServer_.vendorNumber(display);
    const std::uint32_t model = windowServer_.modelNumber(display);
    const IOObjectRef* chosen = nullptr;
    for (const IOObjectRef& proxy : proxies) {
        if (!claimedByOther(proxy) && serves(proxy, vendor, model)) {
            chosen = &proxy;
            break;
        }
    }
    // A lone proxy belongs to some other display (an HDMI monitor, say) as
    // often as to this one: without a match it serves nobody.
    if (!chosen && proxies.size() == 1) return nullptr;
    if (!chosen) {
        // Nor does one that describes another display on the desk: a display
        // without a bus of its own would write to that one's monitor.
        const auto another = [&](const IOObjectRef& proxy) {
            return std::any_of(active.begin(), active.end(), [&](DisplayID other) {
                return other != display && serves(proxy, windowServer_.vendorNumber(other),
                                                  windowServer_.modelNumber(other));
            });
        };
        auto free = std::find_if(proxies.begin(), proxies.end(), [&](const IOObjectRef& p) {
            return !claimedByOther(p) && !another(p);
        });
        if (free == proxies.end()) return nullptr;
        log_.line("[AVServiceDDC] Could not match IOAVService to display " +
                  std::to_string(display) +
                  " - using first available (multi-HDMI setups may target wrong display)");
        chosen = &*free;
    }
    return claim(*chosen);
}

bool AVServiceDDC::reaches(DisplayID display) {
    return functionsAvailable() && avService(display);
}

VCPValue AVServiceDDC::performRead(DisplayID display, VCPCode code) {
    if (!functionsAvailable()) throw DDCError::avServiceNotAvailable();
    IOAVServiceRef service = avService(display);
    if (!service) throw DDCError::avServiceNotAvailable();

    auto framed = DDCMessage::encodeGetVCP(code);
    auto request = DDCMessage::unframed(framed);
    platform::IOReturn status =
        writeI2C_(*service, DDCMessage::kDisplayChipAddress, DDCMessage::kHostSourceAddress,
                  request.data(), static_cast<std::uint32_t>(request.size()));
    if (status != platform::kIOReturnSuccess) throw DDCError::i2cSendFailed(status);

    clock_.sleepFor(kReplyPause);

    std::array<std::uint8_t, DDCMessage::kScanningReplyLength> reply{};
    status = readI2C_(*service, DDCMessage::kDisplayChipAddress, DDCMessage::kHostSourceAddress,
                      reply.data(), static_cast<std::uint32_t>(reply.size()));
    if (status != platform::kIOReturnSuccess) throw DDCError::i2cSendFailed(status);
    return DDCMessage::decodeScanning(reply, code);
}

void AVServiceDDC::performWrite(DisplayID display, VCPCode code, std::uint16_t value) {
    if (!functionsAvailable()) throw DDCError::avServiceNotAvailable();
    IOAVServiceRef service = avService(display);
    if (!service) throw DDCError::avServiceNotAvailable();

    auto framed = DDCMessage::encodeSetVCP(code, value);
    auto request = DDCMessage::unframed(framed);
    platform::IOReturn status =
        writeI2C_(*service, DDCMessage::kDisplayChipAddress, DDCMessage::kHostSourceAddress,
                  request.data(), static_cast<std::uint32_t>(request.size()));
    if (status != platform::kIOReturnSuccess) throw DDCError::i2cSendFailed(status);
}

}  // namespace orvane::ddc
