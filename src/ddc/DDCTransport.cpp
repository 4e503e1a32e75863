// SPDX-License-Identifier: MIT
#include "ddc/DDCTransport.h"

#include "ddc/DDCRetry.h"

#include <algorithm>

namespace orvane::ddc {

const std::string& rawValue(DDCTransportType type) {
    static const std::string i2c = "I2C", av = "AVService", none = "None";
    switch (type) {
        case DDCTransportType::i2c:
            return i2c;
        case DDCTransportType::avService:
            return av;
        case DDCTransportType::none:
            return none;
    }
    return none;
}

DDCTransport::DDCTransport(runtime::Runtime& runtime, runtime::Logger& log, std::string queueLabel,
                           std::string logPrefix, std::string operationPrefix,
                           std::function<DDCError(DisplayID)> gone)
    : runtime_(runtime),
      main_(runtime.main()),
      log_(log),
      queueLabel_(std::move(queueLabel)),
      logPrefix_(std::move(logPrefix)),
      operationPrefix_(std::move(operationPrefix)),
      gone_(std::move(gone)) {}

std::shared_ptr<runtime::SerialQueue> DDCTransport::ioQueue(DisplayID display) {
    std::lock_guard lock(queuesLock_);
    auto& queue = queues_[display];
    if (!queue) queue = runtime_.makeSerialQueue(queueLabel_ + "." + std::to_string(display));
    return queue;
}

runtime::Task<void> DDCTransport::paceWrite(DisplayID display) {
    const auto now = runtime_.clock().now();
    auto& next = nextWrite_[display];
    const auto at = std::max(now, next);
    next = at + kDDCWriteSpacing;
    if (at > now) co_await runtime::sleepFor(main_, at - now);
}

runtime::Task<void> DDCTransport::settleAfterWrite() {
    co_await runtime::sleepFor(main_, kDDCWriteSpacing);
}

runtime::Task<VCPValue> DDCTransport::readVCP(DisplayID display, VCPCode code) {
    std::weak_ptr<DDCTransport> weak = weak_from_this();
    return runWithRetries<VCPValue>(ioQueue(display), main_, log_, logPrefix_,
                                    operationPrefix_ + "readVCP(" + displayName(code) + ")",
                                    [weak, gone = gone_, display, code] {
                                        auto self = weak.lock();
                                        if (!self) throw gone(display);
                                        return self->performRead(display, code);
                                    });
}

runtime::Task<void> DDCTransport::writeVCP(DisplayID display, VCPCode code, std::uint16_t value,
                                           std::function<bool()> stillWanted) {
    std::weak_ptr<DDCTransport> weak = weak_from_this();
    return runWithRetries<void>(
        ioQueue(display), main_, log_, logPrefix_,
        operationPrefix_ + "writeVCP(" + displayName(code) + "=" + std::to_string(value) + ")",
        [weak, gone = gone_, display, code, value] {
            auto self = weak.lock();
            if (!self) throw gone(display);
            self->performWrite(display, code, value);
        },
        // A retried write is still a write: at most 20 a second to one display.
        std::move(stillWanted), std::max(kDDCRetryDelay, kDDCWriteSpacing));
}

std::vector<std::uint8_t> DDCTransport::performCapabilitiesRead(DisplayID, std::uint16_t) {
    throw DDCError::readResponseInvalid();
}

runtime::Task<std::vector<std::uint8_t>> DDCTransport::readCapabilitiesAt(DisplayID display,
                                                                          std::uint16_t offset) {
    std::weak_ptr<DDCTransport> weak = weak_from_this();
    return runWithRetries<std::vector<std::uint8_t>>(
        ioQueue(display), main_, log_, logPrefix_,
        operationPrefix_ + "capabilities(" + std::to_string(offset) + ")",
        [weak, gone = gone_, display, offset] {
            auto self = weak.lock();
            if (!self) throw gone(display);
            return self->performCapabilitiesRead(display, offset);
        });
}

runtime::Task<std::optional<std::string>> DDCTransport::readCapabilities(DisplayID display) {
    if (!readsCapabilities()) co_return std::nullopt;
    auto self = shared_from_this();  // alive to the last fragment
    std::string text;
    // Far longer than any monitor's string: a monitor that never says "end"
    // is not asked for ever.
    while (text.size() < kMaxCapabilitiesLength) {
        auto pace = self->paceWrite(display);
        co_await std::move(pace);
        auto read = self->readCapabilitiesAt(display, static_cast<std::uint16_t>(text.size()));
        const std::vector<std::uint8_t> fragment = co_await std::move(read);
        if (fragment.empty()) break;
        text.append(fragment.begin(), fragment.end());
    }
    co_return text;
}

}  // namespace orvane::ddc
