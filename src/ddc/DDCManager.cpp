// SPDX-License-Identifier: MIT
#include "ddc/DDCManager.h"

#include <algorithm>
#include <array>
#include <string>

#include "ddc/DDCError.h"
#include "ddc/DDCMessage.h"
#include "platform/Platform.h"

namespace orvane::ddc {

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
      buses_(platform.ddc) {}

DDCManager::~DDCManager() = default;

void DDCManager::clearCache() {
    buses_.forget();
}

bool DDCManager::reaches(DisplayID display) {
    return buses_.reaches(platform::DDCLink::i2c, display);
}

VCPValue DDCManager::performRead(DisplayID display, VCPCode code) {
    auto request = DDCMessage::encodeGetVCP(code);
    std::uint64_t delay = kMinReplyDelayNs;
    {
        std::lock_guard lock(cacheLock_);
        if (auto it = replyDelay_.find(display); it != replyDelay_.end()) delay = it->second;
    }
    auto reply = sendI2CRequest(display, request, DDCMessage::kFramedReplyLength, delay);
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
    auto request = DDCMessage::encodeSetVCP(code, value);
    sendI2CRequest(display, request, 0);
}

std::vector<std::uint8_t> DDCManager::performCapabilitiesRead(DisplayID display,
                                                              std::uint16_t offset) {
    auto request = DDCMessage::encodeCapabilitiesRequest(offset);
    auto reply = sendI2CRequest(display, request, DDCMessage::kCapabilitiesReplyLength);
    return DDCMessage::decodeCapabilitiesReply(reply, offset);
}

std::vector<std::uint8_t> DDCManager::sendI2CRequest(DisplayID display,
                                                     std::span<const std::uint8_t> request,
                                                     std::size_t replyLength,
                                                     std::uint64_t replyDelayNs) {
    const auto delay =
        std::chrono::nanoseconds(replyLength ? std::max(replyDelayNs, kMinReplyDelayNs) : 0);
    auto result = buses_.transfer(platform::DDCLink::i2c, display, request, delay, replyLength);
    if (auto* failure = std::get_if<platform::DDCBusFailure>(&result)) {
        using Step = platform::DDCBusFailure::Step;
        switch (failure->step) {
            case Step::noDisplay:
                throw DDCError::framebufferNotFound(display, failure->error.text);
            case Step::noBus:
                throw DDCError::i2cInterfaceNotFound(failure->error.text);
            case Step::open:
                throw DDCError::i2cOpenFailed(failure->error);
            case Step::send:
                throw DDCError::i2cSendFailed(failure->error);
            case Step::transfer:
                throw DDCError::i2cRequestFailed(failure->error);
        }
    }
    // A bus that delivered fewer bytes than asked returns fewer: decoding a
    // zero fill as a value would report a wrong level as success.
    return std::get<std::vector<std::uint8_t>>(std::move(result));
}

}  // namespace orvane::ddc
