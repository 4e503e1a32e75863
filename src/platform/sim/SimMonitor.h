// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/sim/SimFault.h"
#include "runtime/Clock.h"

namespace orvane::platform::sim {

/// A monitor's DDC/CI side, byte for byte: it parses requests as they arrive on
/// the bus (source address 0x51 first, checksum seeded with 0x6E), keeps a value
/// and a maximum per VCP code, applies Set VCP writes and answers Get VCP
/// requests with VESA reply frames. It shares no code with the host's encoder so
/// that each checks the other. Thread-safe.
class SimMonitor {
  public:
    struct Feature {
        std::uint16_t current = 0;
        std::uint16_t max = 0;
    };

    void setFeature(std::uint8_t code, Feature feature);
    void removeFeature(std::uint8_t code);
    std::optional<Feature> feature(std::uint8_t code) const;
    std::map<std::uint8_t, Feature> features() const;

    /// The string answered to Capabilities Request, 32 bytes a fragment;
    /// empty: the request goes unanswered (the null message).
    void setCapabilities(std::string text);
    /// Capabilities Requests received.
    std::size_t capabilityRequests() const;
    void addFault(SimFault fault);
    void clearFaults();
    /// The first live fault of one of kinds that applies to code (and to a
    /// write, for write-only faults); it is used up once.
    std::optional<SimFault> takeFault(std::initializer_list<SimFaultKind> kinds,
                                      std::optional<std::uint8_t> code, bool isWrite = false);

    /// A message from the host, starting with the source address. Malformed
    /// messages and bad checksums are ignored, as a monitor would.
    /// now is the machine's clock (writes that revert, lock-ups).
    void receive(std::span<const std::uint8_t> message, runtime::TimePoint now = {});
    /// The code of the Get request awaiting its reply, if any.
    std::optional<std::uint8_t> pendingCode() const;
    /// The next length bytes the monitor sends; fewer when a short-reply fault cuts them.
    std::vector<std::uint8_t> reply(std::size_t length, runtime::TimePoint now = {});
    /// The null message a monitor sends when asked before it is ready; the
    /// request it was asked stays pending.
    std::vector<std::uint8_t> notReady(std::size_t length) const;
    /// False while locked up; a request meanwhile keeps it locked.
    bool answers(runtime::TimePoint now);

    std::size_t setCount() const;
    std::size_t malformedCount() const;

  private:
    mutable std::mutex mutex_;
    std::map<std::uint8_t, Feature> features_;
    std::vector<SimFault> faults_;
    std::optional<std::uint8_t> pending_;
    std::optional<std::uint16_t> pendingCapabilities_;  // the offset asked for
    std::string capabilities_;
    std::size_t capabilityRequests_ = 0;
    std::size_t sets_ = 0;
    struct Revert {
        std::uint8_t code;
        std::uint16_t value;
        runtime::TimePoint at;
    };
    std::vector<Revert> reverts_;
    std::optional<runtime::TimePoint> lastWrite_;
    int fastWrites_ = 0;
    std::optional<runtime::TimePoint> lockedUntil_;
    void applyReverts(runtime::TimePoint now);
    std::size_t malformed_ = 0;

    std::optional<SimFault> takeFaultLocked(std::initializer_list<SimFaultKind> kinds,
                                            std::optional<std::uint8_t> code, bool isWrite = false);
};

}  // namespace orvane::platform::sim
