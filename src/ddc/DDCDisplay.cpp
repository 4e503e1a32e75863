// SPDX-License-Identifier: MIT
#include "ddc/DDCDisplay.h"

#include "ddc/MCCSNames.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <functional>

#include "ddc/DDCError.h"
#include "ddc/DDCRetry.h"

namespace orvane::ddc {

DDCDisplay::DDCDisplay(DisplayID displayID, DDCTransports transports)
    : displayID_(displayID), transports_(std::move(transports)) {
    detectTransport();
}

std::string DDCDisplay::prefix() const {
    return "[DDCDisplay] Display " + std::to_string(displayID_) + ": ";
}

DDCTransportType DDCDisplay::detectTransport() {
    transport_.reset();
    for (const auto& transport : transports_.transports) {
        if (transport && transport->reaches(displayID_)) {
            transport_ = transport;
            break;
        }
    }
    transportType_ = transport_ ? transport_->type() : DDCTransportType::none;
    transports_.log.line(prefix() +
                         (transport_ ? transport_->choiceText() : "no DDC transport available"));
    return transportType_;
}

runtime::Task<bool> DDCDisplay::probe(VCPCode code) {
    try {
        // The pair as the monitor sent it, a maximum of 0 included.
        VCPValue value = co_await readRaw(code);
        supportedCodes_.insert(code);
        missedCodes_.erase(code);
        transports_.log.line(prefix() + displayName(code) +
                             " supported (current: " + std::to_string(value.current) +
                             ", max: " + std::to_string(value.max) + ")");
        co_return true;
    } catch (const DDCError& error) {
        const DDCError& last = error.underlying() ? *error.underlying() : error;
        // Said unsupported is an answer; anything else is worth asking again.
        if (last.kind() == DDCError::Kind::vcpCodeUnsupported) {
            missedCodes_.erase(code);
        } else {
            missedCodes_.insert(code);
            if (onProbeMiss) onProbeMiss();
        }
        transports_.log.line(prefix() + displayName(code) + " not supported - " +
                             error.errorDescription());
    }
    co_return false;
}

runtime::Task<void> DDCDisplay::probeCapabilities() {
    if (transportType_ == DDCTransportType::none) co_return;
    for (VCPCode code : kProbedVCPCodes)
        co_await probe(code);
}

runtime::Task<bool> DDCDisplay::probeMissed() {
    bool answered = false;
    for (VCPCode code : std::set<VCPCode>(missedCodes_)) {
        if (co_await probe(code)) answered = true;
    }
    co_return answered;
}

runtime::Task<std::optional<Capabilities>> DDCDisplay::capabilities() {
    if (capabilities_) co_return *capabilities_;
    const std::string display = "[DDCDisplay] Display " + std::to_string(displayID_) + ": ";
    std::optional<Capabilities> parsed;
    if (transport_) {
        auto transport = transport_;  // alive across the await
        try {
            auto text = co_await transport->readCapabilities(displayID_);
            if (text) parsed = parseCapabilities(*text);
            if (!text) {
                transports_.log.line(display + "this transport cannot ask for capabilities");
            } else if (!parsed) {
                transports_.log.line(display + "capabilities string lists no features (" +
                                     std::to_string(text->size()) + " bytes)");
            } else {
                transports_.log.line(display + "capabilities list " +
                                     std::to_string(parsed->features.size()) + " features" +
                                     (parsed->complete ? "" : " (string cut short)"));
            }
        } catch (const DDCError& error) {
            transports_.log.line(display + "no capabilities string: " + error.errorDescription());
        }
    }
    if (!capabilities_) capabilities_ = parsed;
    co_return *capabilities_;
}

runtime::Task<VCPValue> DDCDisplay::readValue(VCPCode code) {
    co_return usableRange(code, co_await readRaw(code));
}

runtime::Task<VCPValue> DDCDisplay::readRaw(VCPCode code) {
    if (!transport_) throw DDCError::i2cInterfaceNotFound();
    auto transport = transport_;  // alive across the await
    const VCPValue raw = co_await transport->readVCP(displayID_, code);
    const VCPValue value = usableRange(code, raw);
    std::lock_guard lock(cacheLock_);
    valueCache_[code] = value;
    lastReadTime_ = transports_.clock.now();
    held_[code] = {value.current, *lastReadTime_};
    seen_[code] = value.current;
    co_return raw;
}

VCPValue DDCDisplay::usableRange(VCPCode code, VCPValue value) {
    if (value.max != 0) return value;
    // Only levels are scaled; an input's raw value needs no range.
    const bool level =
        code == VCPCode::brightness || code == VCPCode::contrast || code == VCPCode::volume;
    if (level && !zeroMaximumNoted_.exchange(true)) {
        transports_.log.line(prefix() + displayName(code) +
                             " reports a maximum of 0 - scaling to 100");
    }
    value.max = 100;
    return value;
}

const DDCDisplay::Held* DDCDisplay::held(VCPCode code) const {
    auto it = held_.find(code);
    if (it == held_.end() || transports_.clock.now() - it->second.since >= kHeldTrust)
        return nullptr;
    return &it->second;
}

runtime::Task<bool> DDCDisplay::writeValue(std::uint16_t value, VCPCode code) {
    if (!transport_) throw DDCError::i2cInterfaceNotFound();
    auto transport = transport_;
    WriteSlot& slot = writes_[code];
    const std::uint64_t mine = ++*slot.generation;
    while (slot.inFlight) {
        co_await slot.idle.wait();
        if (*slot.generation != mine) co_return false;
    }
    std::function<bool()> stillWanted = [generation = slot.generation, mine] {
        return *generation == mine;
    };
    std::optional<std::uint16_t> before;
    // The same value written moments ago but not read back yet (a key held at
    // 100): it is not sent again, but its read-back still happens.
    bool sent = false;
    {
        std::lock_guard lock(cacheLock_);
        if (const auto* h = held(code); h && h->value == value) {
            if (h->confirmed) co_return true;
            sent = true;
        }
        // What the monitor was last seen to hold, not what was last written:
        // a burst to a monitor that ignores writes must not compare with itself.
        if (auto it = seen_.find(code); it != seen_.end()) before = it->second;
    }
    slot.inFlight = true;
    std::exception_ptr failure;
    try {
        for (int attempt = 1;; ++attempt) {
            if (!std::exchange(sent, false)) {
                co_await transport->paceWrite(displayID_);
                // A newer value that came during the pause goes instead.
                if (!stillWanted()) break;
                std::exception_ptr refused;
                try {
                    co_await transport->writeVCP(displayID_, code, value, stillWanted);
                } catch (const DDCError&) {
                    refused = std::current_exception();
                }
                // Some monitors apply a write and still report it failed: what
                // they read back decides, or an overlay would dim them twice.
                if (refused && !co_await landedAnyway(transport, code, value))
                    std::rethrow_exception(refused);
                std::lock_guard lock(cacheLock_);
                held_[code] = {value, transports_.clock.now(), false};
                if (auto it = valueCache_.find(code); it != valueCache_.end())
                    it->second.current = value;
                if (refused) {
                    held_[code].confirmed = stillWanted();
                    transports_.log.line(prefix() + displayName(code) + "=" +
                                         std::to_string(value) +
                                         " applied, though the monitor reported the write failed");
                    break;
                }
            }
            if (co_await confirmWrite(transport, code, value, before, stillWanted)) {
                std::lock_guard lock(cacheLock_);
                if (auto it = held_.find(code); it != held_.end() && it->second.value == value)
                    it->second.confirmed = stillWanted();
                break;
            }
            const std::uint16_t holds = cachedValue(code)->current;
            if (attempt == kDDCAttempts) {
                throw DDCError::maxRetriesExceeded(DDCError::writeNotApplied(code, value, holds));
            }
            transports_.log.line(prefix() + displayName(code) + "=" + std::to_string(value) +
                                 " not applied (still " + std::to_string(holds) +
                                 ") - sending it again");
        }
    } catch (...) {
        failure = std::current_exception();
        std::lock_guard lock(cacheLock_);
        held_.erase(code);
    }
    slot.inFlight = false;
    const bool current = *slot.generation == mine;
    // The newest waiter goes next; the ones it replaced end as superseded.
    slot.idle.resumeAll();
    if (!current) co_return false;
    if (failure) std::rethrow_exception(failure);
    co_return true;
}

namespace {
/// The levels: what a read after a write can confirm.
bool readsBack(VCPCode code) {
    return code == VCPCode::brightness || code == VCPCode::contrast || code == VCPCode::volume ||
           mccsLevel(rawValue(code));
}
}  // namespace

runtime::Task<bool> DDCDisplay::confirmWrite(std::shared_ptr<DDCTransport> transport, VCPCode code,
                                             std::uint16_t value,
                                             std::optional<std::uint16_t> before,
                                             const std::function<bool()>& stillWanted) {
    // Input and power switch the monitor away from answering; only levels are
    // read back, and only where a read has worked before.
    if (!readsBack(code)) co_return true;
    if (!cachedValue(code)) co_return true;
    // The monitor needs the write spacing to apply a value; a newer value
    // that came meanwhile is the one worth checking.
    co_await transport->settleAfterWrite();
    if (!stillWanted()) co_return true;
    VCPValue reads;
    try {
        reads = co_await readValue(code);
    } catch (const DDCError&) {
        std::lock_guard lock(cacheLock_);
        held_.erase(code);  // unknown, so the next write of it is sent
        co_return true;
    }
    co_return writeLanded(value, reads.current, before, reads.max);
}

runtime::Task<bool> DDCDisplay::landedAnyway(std::shared_ptr<DDCTransport> transport, VCPCode code,
                                             std::uint16_t value) {
    if (!readsBack(code)) co_return false;
    if (!cachedValue(code)) co_return false;
    co_await transport->settleAfterWrite();
    try {
        const VCPValue reads = co_await readValue(code);
        co_return writeLanded(value, reads.current, std::nullopt, reads.max);
    } catch (const DDCError&) {
        co_return false;
    }
}

bool writeLanded(std::uint16_t asked, std::uint16_t reads, std::optional<std::uint16_t> before,
                 std::uint16_t max) {
    const int tolerance = std::max(1, max / 20);
    if (std::abs(int{reads} - int{asked}) <= tolerance) return true;
    return before && reads != *before;
}

std::uint16_t rawValueForPercent(double percent, std::uint16_t max) {
    // The negated test also sends NaN to 0.
    const double clamped = !(percent > 0) ? 0.0 : percent > 100 ? 100.0 : percent;
    // The nudge absorbs rounding in percentages that came from a raw value
    // (323 of 1000 is 32.3%, which scales back to 322.99999...).
    return static_cast<std::uint16_t>(clamped * max / 100.0 + 1e-6);
}

double percentForRawValue(std::uint16_t value, std::uint16_t max) {
    const double range = max > 0 ? max : 100.0;
    return std::min(static_cast<double>(value) * 100.0 / range, 100.0);
}

runtime::Task<bool> DDCDisplay::setPercent(double percent, VCPCode code) {
    std::uint16_t max = 100;
    {
        std::lock_guard lock(cacheLock_);
        if (auto it = valueCache_.find(code); it != valueCache_.end()) max = it->second.max;
    }
    co_return co_await writeValue(rawValueForPercent(percent, max), code);
}

std::optional<VCPValue> DDCDisplay::cachedValue(VCPCode code) const {
    std::lock_guard lock(cacheLock_);
    if (auto it = valueCache_.find(code); it != valueCache_.end()) return it->second;
    return std::nullopt;
}

std::optional<std::uint16_t> DDCDisplay::lastValue(VCPCode code) const {
    std::lock_guard lock(cacheLock_);
    if (auto it = held_.find(code); it != held_.end()) return it->second.value;
    if (auto it = valueCache_.find(code); it != valueCache_.end()) return it->second.current;
    return std::nullopt;
}

std::optional<runtime::TimePoint> DDCDisplay::lastReadTime() const {
    std::lock_guard lock(cacheLock_);
    return lastReadTime_;
}

}  // namespace orvane::ddc
