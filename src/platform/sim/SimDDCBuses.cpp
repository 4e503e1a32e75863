// SPDX-License-Identifier: MIT
#include "platform/sim/SimDDCBuses.h"

#include <algorithm>
#include <limits>
#include <set>
#include <string>

#include "platform/sim/SimStatus.h"

namespace orvane::platform::sim {

namespace {
constexpr std::uint32_t kBusWriteAddress = 0x6E;
constexpr std::uint32_t kBusReadAddress = 0x6F;
constexpr std::uint32_t kChipAddress = 0x37;
constexpr std::uint32_t kHostSourceAddress = 0x51;

template <typename Fn>
Fn resolve(DynamicLibrary& library, std::string_view name) {
    Symbol symbol = library.symbol(name);
    if (auto* fn = std::get_if<Fn>(&symbol)) return *fn;
    return {};
}

/// The core words a missing display or bus itself; a status is given as
/// the original's DDC errors give it.
DDCBusFailure failure(DDCBusFailure::Step step, IOReturn status = kIOReturnSuccess,
                      const std::string& text = {}) {
    if (step == DDCBusFailure::Step::noDisplay || step == DDCBusFailure::Step::noBus)
        return {step, {}};
    return {step, text.empty() ? hexStatusError(status) : statusError(status, text)};
}
}  // namespace

SimDDCBuses::SimDDCBuses(IORegistry& registry, FramebufferI2C& i2c, DynamicLoader& loader,
                         WindowServer& windowServer, runtime::Clock& clock)
    : registry_(registry), i2c_(i2c), loader_(loader), windowServer_(windowServer), clock_(clock) {}

void SimDDCBuses::resolveFunctions() {
    if (resolved_) return;
    resolved_ = true;
    framework_ = loader_.open(kFrameworkPath, kRTLDNow);
    if (!framework_) return;
    readI2C_ = resolve<IOAVServiceReadI2CFn>(*framework_, "IOAVServiceReadI2C");
    writeI2C_ = resolve<IOAVServiceWriteI2CFn>(*framework_, "IOAVServiceWriteI2C");
}

bool SimDDCBuses::offers(DDCLink link) {
    if (link == DDCLink::i2c) return true;
    resolveFunctions();
    return readI2C_ && writeI2C_;
}

bool SimDDCBuses::reaches(DDCLink link, DisplayID display) {
    if (link == DDCLink::avService) return offers(link) && avService(display);
    IOObjectRef framebuffer = framebufferService(display);
    if (!framebuffer) return false;
    IOObjectRef interface;
    return i2c_.copyI2CInterfaceForBus(framebuffer.get(), 0, interface) == kIOReturnSuccess &&
           interface;  // released here, at once
}

std::variant<std::vector<std::uint8_t>, DDCBusFailure> SimDDCBuses::transfer(
    DDCLink link, DisplayID display, std::span<const std::uint8_t> message,
    std::chrono::nanoseconds delay, std::size_t replyLength) {
    return link == DDCLink::i2c ? i2cTransfer(display, message, delay, replyLength)
                                : avTransfer(display, message, delay, replyLength);
}

IOObjectRef SimDDCBuses::framebufferService(DisplayID display) {
    {
        std::lock_guard lock(cacheLock_);
        if (auto it = framebufferCache_.find(display); it != framebufferCache_.end())
            return it->second;
    }
    // The walk runs unlocked: it creates an info dictionary per service.
    struct Candidate {
        IOObjectRef framebuffer;
        std::uint32_t vendor, product, serial;
        bool taken = false;
    };
    std::vector<IOObjectRef> services;
    if (registry_.matchingServices("IODisplayConnect", services) != kIOReturnSuccess) return {};
    std::vector<Candidate> candidates;
    for (const IOObjectRef& service : services) {
        auto info = registry_.displayInfoDictionary(service.get(), kIODisplayOnlyPreferredName);
        if (!info) continue;
        IOObjectRef parent;
        if (registry_.parentEntry(service.get(), kIOServicePlane, parent) != kIOReturnSuccess ||
            !parent) {
            continue;
        }
        candidates.push_back({std::move(parent), info->number("DisplayVendorID").value_or(0),
                              info->number("DisplayProductID").value_or(0),
                              info->number("DisplaySerialNumber").value_or(0)});
    }

    // Twins (same vendor and model, no serial to tell them apart) must not
    // share one framebuffer: every active display takes its own, exact serial
    // matches first, then the rest in the window server's order.
    std::vector<DisplayID> active = listedDisplays(windowServer_, 16);
    if (std::find(active.begin(), active.end(), display) == active.end()) active.push_back(display);
    {
        std::lock_guard lock(cacheLock_);
        for (auto& c : candidates) {
            for (const auto& [id, fb] : framebufferCache_)
                c.taken = c.taken || (id != display && fb.get() == c.framebuffer.get());
        }
    }
    struct Identity {
        DisplayID id;
        std::uint32_t vendor, model, serial;
    };
    std::vector<Identity> wanting;
    for (DisplayID id : active) {
        std::lock_guard lock(cacheLock_);
        if (id != display && framebufferCache_.count(id)) continue;
        wanting.push_back({id, windowServer_.vendorNumber(id), windowServer_.modelNumber(id),
                           windowServer_.serialNumber(id)});
    }
    std::map<DisplayID, std::size_t> assigned;
    for (const bool exact : {true, false}) {
        for (const Identity& d : wanting) {
            if (assigned.count(d.id)) continue;
            for (std::size_t i = 0; i < candidates.size(); ++i) {
                const Candidate& c = candidates[i];
                if (c.taken || c.vendor != d.vendor || c.product != d.model) continue;
                const bool same = d.serial != 0 && d.serial == c.serial;
                const bool agree = d.serial == 0 || c.serial == 0 || d.serial == c.serial;
                if (exact ? !same : !agree) continue;
                candidates[i].taken = true;
                assigned[d.id] = i;
                break;
            }
        }
    }
    auto it = assigned.find(display);
    if (it == assigned.end()) return {};
    IOObjectRef framebuffer = candidates[it->second].framebuffer;
    std::lock_guard lock(cacheLock_);
    framebufferCache_[display] = framebuffer;
    return framebuffer;
}

void SimDDCBuses::forget() {
    std::unordered_map<DisplayID, IOObjectRef> released;
    std::lock_guard lock(cacheLock_);
    released.swap(framebufferCache_);
}

std::size_t SimDDCBuses::cachedFramebufferCount() const {
    std::lock_guard lock(cacheLock_);
    return framebufferCache_.size();
}

std::variant<std::vector<std::uint8_t>, DDCBusFailure> SimDDCBuses::i2cTransfer(
    DisplayID display, std::span<const std::uint8_t> message, std::chrono::nanoseconds delay,
    std::size_t replyLength) {
    using Step = DDCBusFailure::Step;
    IOObjectRef framebuffer = framebufferService(display);
    if (!framebuffer) return failure(Step::noDisplay);
    IOObjectRef interface;
    if (i2c_.copyI2CInterfaceForBus(framebuffer.get(), 0, interface) != kIOReturnSuccess ||
        !interface) {
        return failure(Step::noBus);
    }
    if (message.size() > std::numeric_limits<std::uint32_t>::max() ||
        replyLength > std::numeric_limits<std::uint32_t>::max()) {
        return failure(Step::send, kIOReturnError);
    }
    std::vector<std::uint8_t> sendBuffer(message.begin(), message.end());
    std::vector<std::uint8_t> replyBuffer(std::max<std::size_t>(replyLength, 1), 0);

    IOI2CConnectRef connect = 0;
    IOReturn status = i2c_.i2cInterfaceOpen(interface.get(), 0, connect);
    if (status != kIOReturnSuccess || !connect) return failure(Step::open, status);
    IOI2CConnection connection(i2c_, connect);
    interface.reset();

    IOI2CRequest record{};
    record.sendTransactionType = kIOI2CSimpleTransactionType;
    record.sendAddress = kBusWriteAddress;
    record.sendBuffer = sendBuffer.data();
    record.sendBytes = static_cast<std::uint32_t>(sendBuffer.size());
    if (replyLength >= 1) {
        record.replyTransactionType = kIOI2CSimpleTransactionType;
        record.replyAddress = kBusReadAddress;
        record.replyBuffer = replyBuffer.data();
        record.replyBytes = static_cast<std::uint32_t>(replyLength);
        record.minReplyDelay = static_cast<std::uint64_t>(delay.count());
    }
    status = i2c_.i2cSendRequest(connection.get(), 0, record);
    if (status != kIOReturnSuccess) return failure(Step::send, status);
    if (record.result != kIOReturnSuccess)
        return failure(Step::transfer, record.result, record.resultText);
    if (replyLength == 0) return std::vector<std::uint8_t>{};
    replyBuffer.resize(std::min<std::size_t>(replyLength, record.replyBytes));
    return replyBuffer;
}

std::variant<std::vector<std::uint8_t>, DDCBusFailure> SimDDCBuses::avTransfer(
    DisplayID display, std::span<const std::uint8_t> message, std::chrono::nanoseconds delay,
    std::size_t replyLength) {
    using Step = DDCBusFailure::Step;
    if (!offers(DDCLink::avService)) return failure(Step::noBus);
    IOAVServiceRef service = avService(display);
    if (!service) return failure(Step::noBus);
    IOReturn status = writeI2C_(*service, kChipAddress, kHostSourceAddress, message.data(),
                                static_cast<std::uint32_t>(message.size()));
    if (status != kIOReturnSuccess) return failure(Step::send, status);
    if (replyLength == 0) return std::vector<std::uint8_t>{};
    clock_.sleepFor(delay);
    std::vector<std::uint8_t> reply(replyLength, 0);
    status = readI2C_(*service, kChipAddress, kHostSourceAddress, reply.data(),
                      static_cast<std::uint32_t>(reply.size()));
    if (status != kIOReturnSuccess) return failure(Step::send, status);
    return reply;
}

IOAVServiceRef SimDDCBuses::serviceFromFirst(const IOAVServiceCreateWithServiceFn& create,
                                             std::string_view className) {
    std::vector<IOObjectRef> services;
    if (registry_.matchingServices(className, services) != kIOReturnSuccess || services.empty())
        return nullptr;
    return create(kCFAllocatorDefault, services.front().get());
}

IOAVServiceRef SimDDCBuses::avService(DisplayID display) {
    auto framework = loader_.open(kFrameworkPath, kRTLDNow);
    if (!framework) return nullptr;
    auto create =
        resolve<IOAVServiceCreateWithServiceFn>(*framework, "IOAVServiceCreateWithService");
    if (!create) return nullptr;

    std::vector<IOObjectRef> proxies;
    if (registry_.matchingServices("DCPAVServiceProxy", proxies) != kIOReturnSuccess) {
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
        return create(kCFAllocatorDefault, proxy.get());
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
        if (registry_.childEntries(proxy.get(), kIOServicePlane, children) != kIOReturnSuccess)
            return false;
        for (const IOObjectRef& child : children) {
            auto info = registry_.displayInfoDictionary(child.get(), kIODisplayOnlyPreferredName);
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
        if (log_) {
            log_->line("[AVServiceDDC] Could not match IOAVService to display " +
                       std::to_string(display) +
                       " - using first available (multi-HDMI setups may target wrong display)");
        }
        chosen = &*free;
    }
    return claim(*chosen);
}

}  // namespace orvane::platform::sim
