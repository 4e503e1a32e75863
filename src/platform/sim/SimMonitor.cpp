// SPDX-License-Identifier: MIT
#include "platform/sim/SimMonitor.h"

#include <algorithm>
#include <array>

namespace orvane::platform::sim {

namespace {
static_assert(kSimFaultNames.size() == static_cast<std::size_t>(SimFaultKind::silent) + 1,
              "every fault kind has its rig name");

constexpr std::uint8_t kHostSource = 0x51;
constexpr std::uint8_t kRequestSeed = 0x6E;  // the display's write address
constexpr std::uint8_t kReplySeed = 0x50;    // the host's virtual address
constexpr std::uint8_t kDisplaySource = 0x6E;

std::uint8_t xorAll(std::uint8_t seed, std::span<const std::uint8_t> bytes) {
    for (auto b : bytes)
        seed ^= b;
    return seed;
}
}  // namespace

std::optional<SimFaultKind> simFaultKindFromName(std::string_view name) {
    for (const auto& [kind, n] : kSimFaultNames) {
        if (n == name) return kind;
    }
    return std::nullopt;
}

std::string_view nameOf(SimFaultKind kind) {
    for (const auto& [k, name] : kSimFaultNames) {
        if (k == kind) return name;
    }
    return "?";
}

void SimMonitor::setFeature(std::uint8_t code, Feature feature) {
    std::lock_guard lock(mutex_);
    features_[code] = feature;
}

void SimMonitor::removeFeature(std::uint8_t code) {
    std::lock_guard lock(mutex_);
    features_.erase(code);
}

std::optional<SimMonitor::Feature> SimMonitor::feature(std::uint8_t code) const {
    std::lock_guard lock(mutex_);
    if (auto it = features_.find(code); it != features_.end()) return it->second;
    return std::nullopt;
}

std::map<std::uint8_t, SimMonitor::Feature> SimMonitor::features() const {
    std::lock_guard lock(mutex_);
    return features_;
}

void SimMonitor::addFault(SimFault fault) {
    if (fault.times == 0) return;  // healed before its first use
    std::lock_guard lock(mutex_);
    faults_.push_back(fault);
}

void SimMonitor::clearFaults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
}

std::optional<SimFault> SimMonitor::takeFault(std::initializer_list<SimFaultKind> kinds,
                                              std::optional<std::uint8_t> code, bool isWrite) {
    std::lock_guard lock(mutex_);
    return takeFaultLocked(kinds, code, isWrite);
}

std::optional<SimFault> SimMonitor::takeFaultLocked(std::initializer_list<SimFaultKind> kinds,
                                                    std::optional<std::uint8_t> code,
                                                    bool isWrite) {
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (std::find(kinds.begin(), kinds.end(), it->kind) == kinds.end()) continue;
        if (it->writesOnly && !isWrite) continue;
        if (it->code && (!code || *it->code != *code)) continue;
        SimFault fault = *it;
        if (it->times > 0 && --it->times == 0) faults_.erase(it);
        return fault;
    }
    return std::nullopt;
}

void SimMonitor::applyReverts(runtime::TimePoint now) {
    std::erase_if(reverts_, [&](const Revert& r) {
        if (r.at > now) return false;
        if (auto it = features_.find(r.code); it != features_.end()) it->second.current = r.value;
        return true;
    });
}

std::vector<std::uint8_t> SimMonitor::notReady(std::size_t length) const {
    std::vector<std::uint8_t> frame{kDisplaySource, 0x80,
                                    static_cast<std::uint8_t>(kDisplaySource ^ 0x80 ^ kReplySeed)};
    frame.resize(length, 0x00);
    return frame;
}

bool SimMonitor::answers(runtime::TimePoint now) {
    std::lock_guard lock(mutex_);
    if (!lockedUntil_) return true;
    if (now >= *lockedUntil_) {
        lockedUntil_.reset();
        return true;
    }
    lockedUntil_ = now + std::chrono::seconds(2);
    return false;
}

void SimMonitor::receive(std::span<const std::uint8_t> m, runtime::TimePoint now) {
    std::lock_guard lock(mutex_);
    applyReverts(now);
    pending_.reset();
    pendingCapabilities_.reset();
    const bool framed = m.size() >= 4 && m[0] == kHostSource && (m[1] & 0x80) &&
                        m.size() == static_cast<std::size_t>(m[1] & 0x7F) + 3 &&
                        xorAll(kRequestSeed, m.first(m.size() - 1)) == m.back();
    if (!framed) {
        ++malformed_;
        return;
    }
    const std::uint8_t length = m[1] & 0x7F;
    const std::uint8_t opcode = m[2];
    if (opcode == 0x01 && length == 2) {
        pending_ = m[3];
    } else if (opcode == 0xF3 && length == 3) {
        ++capabilityRequests_;
        pendingCapabilities_ = static_cast<std::uint16_t>((m[3] << 8) | m[4]);
    } else if (opcode == 0x03 && length == 4) {
        ++sets_;
        const std::uint8_t code = m[3];
        // Writes that come too fast in a row lock some monitors up.
        fastWrites_ =
            lastWrite_ && now - *lastWrite_ < std::chrono::milliseconds(100) ? fastWrites_ + 1 : 1;
        lastWrite_ = now;
        for (const auto& f : faults_) {
            if (f.kind == SimFaultKind::lockUp && fastWrites_ >= std::max(f.bytes, 1) &&
                takeFaultLocked({SimFaultKind::lockUp}, code, true)) {
                lockedUntil_ = now + std::chrono::seconds(2);
                fastWrites_ = 0;
                break;
            }
        }
        auto it = features_.find(code);
        if (it != features_.end() && !takeFaultLocked({SimFaultKind::ignoresWrite}, code, true)) {
            auto value = static_cast<std::uint16_t>((m[4] << 8) | m[5]);
            if (auto step = takeFaultLocked({SimFaultKind::quantises}, code, true))
                value = static_cast<std::uint16_t>(value - value % std::max(step->bytes, 1));
            if (auto revert = takeFaultLocked({SimFaultKind::reverts}, code, true)) {
                reverts_.push_back({code, it->second.current,
                                    now + std::chrono::milliseconds(std::max(revert->bytes, 1))});
            }
            it->second.current = std::min(value, it->second.max);
        }
    } else {
        ++malformed_;
    }
}

std::optional<std::uint8_t> SimMonitor::pendingCode() const {
    std::lock_guard lock(mutex_);
    return pending_;
}

std::vector<std::uint8_t> SimMonitor::reply(std::size_t length, runtime::TimePoint now) {
    std::lock_guard lock(mutex_);
    applyReverts(now);
    std::vector<std::uint8_t> frame;
    const auto nullMessage = [&] {
        frame = {kDisplaySource, 0x80,
                 static_cast<std::uint8_t>(kDisplaySource ^ 0x80 ^ kReplySeed)};
    };
    if (pendingCapabilities_ && !capabilities_.empty()) {
        const std::size_t offset =
            std::min<std::size_t>(*pendingCapabilities_, capabilities_.size());
        const std::size_t n = std::min<std::size_t>(32, capabilities_.size() - offset);
        frame = {kDisplaySource, static_cast<std::uint8_t>(0x80 | (3 + n)), 0xE3,
                 static_cast<std::uint8_t>(*pendingCapabilities_ >> 8),
                 static_cast<std::uint8_t>(*pendingCapabilities_ & 0xFF)};
        frame.insert(frame.end(), capabilities_.begin() + static_cast<std::ptrdiff_t>(offset),
                     capabilities_.begin() + static_cast<std::ptrdiff_t>(offset + n));
        frame.push_back(xorAll(kReplySeed, frame));
        pendingCapabilities_.reset();
        if (takeFaultLocked({SimFaultKind::badChecksum}, std::nullopt)) frame.back() ^= 0xFF;
    } else if (pendingCapabilities_) {
        pendingCapabilities_.reset();
        nullMessage();
    } else if (pending_ && takeFaultLocked({SimFaultKind::nullReply}, *pending_)) {
        pending_.reset();
        nullMessage();
    } else if (!pending_) {
        nullMessage();  // nothing asked
    } else {
        const std::uint8_t code = *pending_;
        pending_.reset();
        auto it = features_.find(code);
        const bool unsupported =
            it == features_.end() || takeFaultLocked({SimFaultKind::unsupported}, code).has_value();
        const Feature f = unsupported ? Feature{} : it->second;
        frame = {kDisplaySource,
                 0x88,
                 0x02,
                 static_cast<std::uint8_t>(unsupported ? 0x01 : 0x00),
                 code,
                 0x00,
                 static_cast<std::uint8_t>(f.max >> 8),
                 static_cast<std::uint8_t>(f.max & 0xFF),
                 static_cast<std::uint8_t>(f.current >> 8),
                 static_cast<std::uint8_t>(f.current & 0xFF),
                 0};
        if (takeFaultLocked({SimFaultKind::wrongOpcode}, code)) frame[2] = 0x04;
        if (takeFaultLocked({SimFaultKind::wrongEcho}, code))
            frame[4] = static_cast<std::uint8_t>(code + 1);
        if (takeFaultLocked({SimFaultKind::badLength}, code)) frame[1] = 0xFF;
        frame[10] = xorAll(kReplySeed, std::span(frame).first(10));
        if (takeFaultLocked({SimFaultKind::badChecksum}, code)) frame[10] = frame[10] ? 0x00 : 0xFF;
        if (takeFaultLocked({SimFaultKind::doubledAddress}, code))
            frame.insert(frame.begin(), kDisplaySource);
        if (auto junk = takeFaultLocked({SimFaultKind::leadingJunk}, code)) {
            frame.insert(frame.begin(), static_cast<std::size_t>(std::max(junk->bytes, 0)), 0x00);
        }
        if (takeFaultLocked({SimFaultKind::allZero}, code))
            std::fill(frame.begin(), frame.end(), 0);
        if (auto cut = takeFaultLocked({SimFaultKind::shortReply}, code)) {
            frame.resize(std::min(frame.size(), static_cast<std::size_t>(std::max(cut->bytes, 0))));
            if (frame.size() < length) length = frame.size();
        }
    }
    frame.resize(length, 0x00);
    return frame;
}

void SimMonitor::setCapabilities(std::string text) {
    std::lock_guard lock(mutex_);
    capabilities_ = std::move(text);
}

std::size_t SimMonitor::capabilityRequests() const {
    std::lock_guard lock(mutex_);
    return capabilityRequests_;
}

std::size_t SimMonitor::setCount() const {
    std::lock_guard lock(mutex_);
    return sets_;
}

std::size_t SimMonitor::malformedCount() const {
    std::lock_guard lock(mutex_);
    return malformed_;
}

}  // namespace orvane::platform::sim
