// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ddc/Capabilities.h"
#include "ddc/DDCTransport.h"
#include "ddc/VCPCode.h"
#include "runtime/Clock.h"
#include "runtime/Logger.h"
#include "runtime/Task.h"
#include "runtime/WaitList.h"

namespace orvane::ddc {

/// How long a value read from or written to a monitor is taken as still held:
/// monitors change their own settings too (OSD buttons, picture modes).
inline constexpr std::chrono::seconds kHeldTrust{1};

/// Whether a monitor that reads back `reads` after being set to `asked` (from
/// `before`, when known) applied the write: it landed within a twentieth of
/// max, or moved at all. Monitors store fewer steps than they report, or clamp
/// to a range of their own; only one that kept its old value ignored the write.
bool writeLanded(std::uint16_t asked, std::uint16_t reads, std::optional<std::uint16_t> before,
                 std::uint16_t max);

/// A percentage (clamped to 0..100; NaN counts as 0) scaled to a feature's
/// maximum and truncated. Multiplying before dividing keeps whole percentages
/// exact: 29 / 100 * 100 is 28.999..., which would truncate to 28.
std::uint16_t rawValueForPercent(double percent, std::uint16_t max);
/// The inverse: a raw value as a percentage of max (of 100 when max is 0, a
/// range no monitor can mean), again multiplying first so that 29 of 100 reads
/// as 29, not 28.999..., and held to 0...100 (a monitor may report 150 of 100).
/// Scaling the result back gives the same raw value.
double percentForRawValue(std::uint16_t value, std::uint16_t max);

/// What a display handle talks through: the transports in order of
/// preference (null ones are skipped), the clock of its read times, the log.
struct DDCTransports {
    std::vector<std::shared_ptr<DDCTransport>> transports;
    runtime::Clock& clock;
    runtime::Logger& log;
};

/// The one object through which the system speaks DDC/CI to one display: it
/// picks the transport, probes the five controllable features and caches what
/// it has read. Callers keep the handle alive while they await it.
class DDCDisplay {
  public:
    DDCDisplay(DisplayID displayID, DDCTransports transports);

    DisplayID displayID() const { return displayID_; }
    DDCTransportType transportType() const { return transportType_; }
    const std::set<VCPCode>& supportedCodes() const { return supportedCodes_; }
    /// Probed codes that got no answer (the monitor was silent, busy, waking
    /// up), as against ones it said it does not support.
    const std::set<VCPCode>& missedCodes() const { return missedCodes_; }
    std::optional<runtime::TimePoint> lastReadTime() const;

    /// Chooses the first transport that reaches the display and logs it.
    DDCTransportType detectTransport();
    /// Reads the five probed codes in turn; never fails.
    runtime::Task<void> probeCapabilities();
    /// Called (main thread) each time a probed code gets no answer.
    std::function<void()> onProbeMiss;
    /// Reads the missed codes again; true when one of them answered now.
    runtime::Task<bool> probeMissed();
    /// A reported maximum of 0 comes back (and is cached) as 100.
    runtime::Task<VCPValue> readValue(VCPCode code);
    /// Writes value unless a newer write of the same code replaces it first:
    /// per code one write is on the wire at a time, a burst collapses to its
    /// last value, and a replaced value is never retried. Writes to the display
    /// are paced (paceWrite), and a value the monitor is known to hold (read or
    /// written within kHeldTrust) is not sent again. The last write of a burst
    /// of brightness, contrast or volume is read back: a monitor that
    /// acknowledges a value and keeps its old one is sent it again, and fails
    /// the write after kDDCAttempts. True when value was written or already
    /// held, false when a newer write took over (its caller reports the
    /// outcome); throws when value itself could not be written.
    runtime::Task<bool> writeValue(std::uint16_t value, VCPCode code);
    /// Writes percent (clamped to 0...100) of the cached maximum, or of 100 if
    /// none is cached; the result is writeValue's.
    runtime::Task<bool> setPercent(double percent, VCPCode code);
    std::optional<VCPValue> cachedValue(VCPCode code) const;
    /// The value the monitor last showed this run: read, or written and taken.
    std::optional<std::uint16_t> lastValue(VCPCode code) const;
    /// The features the monitor lists in its capabilities string, read once
    /// through the chosen transport (fragment by fragment, paced) and kept;
    /// none when it cannot be asked, does not answer, or lists no features.
    /// Logs what came of it once. Main thread.
    runtime::Task<std::optional<Capabilities>> capabilities();

  private:
    struct WriteSlot {
        bool inFlight = false;
        std::shared_ptr<std::uint64_t> generation = std::make_shared<std::uint64_t>(0);
        runtime::WaitList idle;
    };

    std::string prefix() const;
    /// Reads and caches code; returns the pair as the monitor sent it.
    runtime::Task<VCPValue> readRaw(VCPCode code);
    VCPValue usableRange(VCPCode code, VCPValue value);
    struct Held;
    const Held* held(VCPCode code) const;  // under cacheLock_; none once kHeldTrust is over
    /// Reads code back after a write of value; true when the write counts as
    /// done (landed, replaced meanwhile, or not readable here).
    /// After a write the monitor reported failed: whether it shows value all
    /// the same. Only for levels, and only where a read has worked before.
    runtime::Task<bool> landedAnyway(std::shared_ptr<DDCTransport> transport, VCPCode code,
                                     std::uint16_t value);
    runtime::Task<bool> confirmWrite(std::shared_ptr<DDCTransport> transport, VCPCode code,
                                     std::uint16_t value, std::optional<std::uint16_t> before,
                                     const std::function<bool()>& stillWanted);

    DisplayID displayID_;
    DDCTransports transports_;
    std::shared_ptr<DDCTransport> transport_;  // the chosen one; null for none
    DDCTransportType transportType_ = DDCTransportType::none;
    std::set<VCPCode> supportedCodes_;
    std::optional<std::optional<Capabilities>> capabilities_;  // set once asked
    std::set<VCPCode> missedCodes_;
    runtime::Task<bool> probe(VCPCode code);
    mutable std::mutex cacheLock_;
    std::map<VCPCode, VCPValue> valueCache_;
    struct Held {
        std::uint16_t value;
        runtime::TimePoint since;
        /// Read, or written and read back (or not read back for its code):
        /// an unconfirmed write of a burst still needs its read-back.
        bool confirmed = true;
    };
    /// What the monitor holds, as far as Orvane knows: gone after a failed write.
    std::map<VCPCode, Held> held_;
    /// The value each code was last read as: what a read-back compares with,
    /// never a value only written.
    std::map<VCPCode, std::uint16_t> seen_;
    std::optional<runtime::TimePoint> lastReadTime_;
    std::map<VCPCode, WriteSlot> writes_;        // main thread only
    std::atomic<bool> zeroMaximumNoted_{false};  // said once per display
};

}  // namespace orvane::ddc
