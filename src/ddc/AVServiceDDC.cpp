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

namespace {
constexpr std::chrono::microseconds kReplyPause{50'000};
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
      buses_(platform.ddc),
      available_(buses_.offers(platform::DDCLink::avService)) {
    if (available_) {
        log_.line("[AVServiceDDC] IOAVService functions loaded - Apple Silicon HDMI DDC available");
    } else if (!platform.texts.avServiceMissing.empty()) {
        log_.line(platform.texts.avServiceMissing);
    }
}

bool AVServiceDDC::reaches(DisplayID display) {
    return available_ && buses_.reaches(platform::DDCLink::avService, display);
}

std::vector<std::uint8_t> AVServiceDDC::send(DisplayID display,
                                             std::span<const std::uint8_t> message,
                                             std::size_t replyLength) {
    if (!available_) throw DDCError::avServiceNotAvailable();
    auto result = buses_.transfer(
        platform::DDCLink::avService, display, message,
        replyLength ? std::chrono::nanoseconds(kReplyPause) : std::chrono::nanoseconds(0),
        replyLength);
    if (auto* failure = std::get_if<platform::DDCBusFailure>(&result)) {
        if (failure->step == platform::DDCBusFailure::Step::send ||
            failure->step == platform::DDCBusFailure::Step::transfer) {
            throw DDCError::i2cSendFailed(failure->error);
        }
        throw DDCError::avServiceNotAvailable();
    }
    return std::get<std::vector<std::uint8_t>>(std::move(result));
}

VCPValue AVServiceDDC::performRead(DisplayID display, VCPCode code) {
    auto framed = DDCMessage::encodeGetVCP(code);
    auto reply = send(display, DDCMessage::unframed(framed), DDCMessage::kScanningReplyLength);
    // The service reads a whole reply or fails: a short one is zero-filled.
    reply.resize(DDCMessage::kScanningReplyLength, 0);
    return DDCMessage::decodeScanning(reply, code);
}

void AVServiceDDC::performWrite(DisplayID display, VCPCode code, std::uint16_t value) {
    auto framed = DDCMessage::encodeSetVCP(code, value);
    send(display, DDCMessage::unframed(framed), 0);
}

}  // namespace orvane::ddc
