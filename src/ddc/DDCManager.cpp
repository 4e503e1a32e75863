// SPDX-License-Identifier: MIT
#include "ddc/DDCManager.h"

#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <string>

#include "ddc/DDCError.h"
#include "ddc/DDCMessage.h"
#include "platform/Platform.h"

namespace orvane::ddc {

using platform::IOObjectRef;

namespace {
constexpr std::uint64_t kMinReplyDelayNs = 50'000'000;
// Some monitors need more than the standard pause before they can answer.
constexpr std::uint64_t kMaxReplyDelayNs = 200'000'000;
// A monitor that was slow once (waking up) is given the standard pause again
// after this many good replies in a row.
constexpr int kGoodRepliesToRelax = 10;
}  // namespace

std::shared_ptr<DDCManager> DDCManager::create(runtime::Runtime& runtime,
                                               const platform::Platform& platform,
                                               runtime::Logger& log,
                                               std::string_view bundleIdentifier) {
    return std::make_shared<DDCManager>(Key{}, runtime, platform, log, bundleIdentifier);
}

DDCManager::DDCManager(Key, runtime::Runtime& runtime, const platform::Platform& platform,
                       runtime::Logger& log, std::string_view bundleIdentifier)
    : DDCTransport(runtime, log, std::string(bundleIdentifier) + ".ddc.io", "[DDCManager] ", "",
                   &DDCError::displayNotFound),
      registry_(platform.registry),
      windowServer_(platform.windowServer),
      framebufferI2C_(platform.framebufferI2C) {}

DDCManager::~DDCManager() = default;

IOObjectRef DDCManager::framebufferService(DisplayID display) {
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
    if (registry_.matchingServices("IODisplayConnect", services) != platform::kIOReturnSuccess) {
        return {};
    }
    std::vector<Candidate> candidates;
    for (const IOObjectRef& service : services) {
        auto info =
            registry_.displayInfoDictionary(service.get(), platform::kIODisplayOnlyPreferredName);
        if (!info) continue;
        IOObjectRef parent;
        if (registry_.parentEntry(service.get(), platform::kIOServicePlane, parent) !=
                platform::kIOReturnSuccess ||
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
    std::vector<DisplayID> active = platform::listedDisplays(windowServer_, 16);
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

void DDCManager::clearCache() {
    std::unordered_map<DisplayID, IOObjectRef> released;
    {
        std::lock_guard lock(cacheLock_);
        released.swap(framebufferCache_);
    }
}

std::size_t DDCManager::cachedFramebufferCount() const {
    std::lock_guard lock(cacheLock_);
    return framebufferCache_.size();
}

bool DDCManager::reaches(DisplayID display) {
    IOObjectRef framebuffer = framebufferService(display);
    if (!framebuffer) return false;
    IOObjectRef interface;
    return framebufferI2C_.copyI2CInterfaceForBus(framebuffer.get(), 0, interface) ==
               platform::kIOReturnSuccess &&
           interface;  // released here, at once
}

IOObjectRef DDCManager::i2cInterface(DisplayID display) {
    IOObjectRef framebuffer = framebufferService(display);
    if (!framebuffer) throw DDCError::framebufferNotFound(display);
    IOObjectRef interface;
    if (framebufferI2C_.copyI2CInterfaceForBus(framebuffer.get(), 0, interface) !=
            platform::kIOReturnSuccess ||
        !interface) {
        throw DDCError::i2cInterfaceNotFound();
    }
    return interface;
}

VCPValue DDCManager::performRead(DisplayID display, VCPCode code) {
    IOObjectRef interface = i2cInterface(display);
    auto request = DDCMessage::encodeGetVCP(code);
    std::uint64_t delay = kMinReplyDelayNs;
    {
        std::lock_guard lock(cacheLock_);
        if (auto it = replyDelay_.find(display); it != replyDelay_.end()) delay = it->second;
    }
    auto reply = sendI2CRequest(interface.get(), request, DDCMessage::kFramedReplyLength, delay);
    interface.reset();
    try {
        VCPValue value = DDCMessage::decodeFramed(reply, code, &log_);
        if (delay > kMinReplyDelayNs) {
            bool relaxed = false;
            {
                std::lock_guard lock(cacheLock_);
                if (++goodReplies_[display] >= kGoodRepliesToRelax) {
                    replyDelay_.erase(display);
                    goodReplies_.erase(display);
                    relaxed = true;
                }
            }
            if (relaxed) {
                log_.line("[DDCManager] Display " + std::to_string(display) + ": " +
                          std::to_string(kGoodRepliesToRelax) + " good replies - back to " +
                          std::to_string(kMinReplyDelayNs / 1'000'000) + " ms");
            }
        }
        return value;
    } catch (const DDCError&) {
        {
            std::lock_guard lock(cacheLock_);
            goodReplies_.erase(display);
        }
        // The null message (from 0x6E, length 0) is a monitor's "not ready
        // yet": later attempts give it twice the time.
        const bool notReady =
            reply.size() >= 2 && reply[0] == DDCMessage::kDisplayWriteAddress && reply[1] == 0x80;
        if (notReady && delay < kMaxReplyDelayNs) {
            const auto longer = std::min(delay * 2, kMaxReplyDelayNs);
            {
                std::lock_guard lock(cacheLock_);
                replyDelay_[display] = longer;
            }
            log_.line("[DDCManager] Display " + std::to_string(display) +
                      ": no valid reply after " + std::to_string(delay / 1'000'000) +
                      " ms - waiting " + std::to_string(longer / 1'000'000) + " ms from now on");
        }
        throw;
    }
}

void DDCManager::performWrite(DisplayID display, VCPCode code, std::uint16_t value) {
    IOObjectRef interface = i2cInterface(display);
    auto request = DDCMessage::encodeSetVCP(code, value);
    sendI2CRequest(interface.get(), request, 0);
}

std::vector<std::uint8_t> DDCManager::sendI2CRequest(platform::IOObject interface,
                                                     std::span<const std::uint8_t> request,
                                                     std::size_t replyLength,
                                                     std::uint64_t replyDelayNs) {
    if (request.size() > std::numeric_limits<std::uint32_t>::max() ||
        replyLength > std::numeric_limits<std::uint32_t>::max()) {
        throw DDCError::i2cSendFailed(platform::kIOReturnError);
    }
    std::vector<std::uint8_t> sendBuffer(request.begin(), request.end());
    std::vector<std::uint8_t> replyBuffer(std::max<std::size_t>(replyLength, 1), 0);

    platform::IOI2CConnectRef connect = 0;
    platform::IOReturn status = framebufferI2C_.i2cInterfaceOpen(interface, 0, connect);
    if (status != platform::kIOReturnSuccess || !connect) throw DDCError::i2cOpenFailed(status);
    platform::IOI2CConnection connection(framebufferI2C_, connect);

    platform::IOI2CRequest record{};
    record.sendTransactionType = platform::kIOI2CSimpleTransactionType;
    record.sendAddress = DDCMessage::kDisplayWriteAddress;
    record.sendBuffer = sendBuffer.data();
    record.sendBytes = static_cast<std::uint32_t>(sendBuffer.size());
    if (replyLength >= 1) {
        record.replyTransactionType = platform::kIOI2CSimpleTransactionType;
        record.replyAddress = DDCMessage::kDisplayReadAddress;
        record.replyBuffer = replyBuffer.data();
        record.replyBytes = static_cast<std::uint32_t>(replyLength);
        record.minReplyDelay = std::max(replyDelayNs, kMinReplyDelayNs);
    }
    status = framebufferI2C_.i2cSendRequest(connection.get(), 0, record);
    if (status != platform::kIOReturnSuccess) throw DDCError::i2cSendFailed(status);
    if (record.result != platform::kIOReturnSuccess)
        throw DDCError::i2cRequestFailed(record.result, record.resultText);
    if (replyLength == 0) return {};
    // A bus that delivered fewer bytes than asked says so in replyBytes; decoding
    // the zero fill as a value would report a wrong level as success.
    replyBuffer.resize(std::min<std::size_t>(replyLength, record.replyBytes));
    return replyBuffer;
}

}  // namespace orvane::ddc
