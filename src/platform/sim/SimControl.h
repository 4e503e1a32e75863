// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <vector>

#include "platform/FramebufferI2C.h"
#include "platform/PlatformTypes.h"
#include "platform/sim/SimFault.h"
#include "runtime/Clock.h"

namespace orvane::platform::sim {

class SimMonitor;

/// One transaction as the simulated bus saw it.
struct SimTransaction {
    enum class Kind { i2cRequest, avWrite, avRead };
    Kind kind = Kind::i2cRequest;
    DisplayID display = 0;
    runtime::TimePoint time{0};
    /// i2cRequest: the record after the transaction (buffer pointers cleared).
    IOI2CRequest record{};
    std::vector<std::uint8_t> sent;
    std::vector<std::uint8_t> received;
    /// avWrite, avRead: the addresses passed.
    std::uint32_t chipAddress = 0;
    std::uint32_t dataAddress = 0;
    /// What the call returned.
    IOReturn status = kIOReturnSuccess;
};

/// The simulated machine's controls, for tests and rigs only: the core never sees these.
class SimControl {
  public:
    virtual ~SimControl() = default;
    /// The monitor of a display; null when there is none.
    virtual SimMonitor* monitor(DisplayID display) = 0;
    virtual void addFault(DisplayID display, SimFault fault) = 0;
    virtual std::vector<SimTransaction> transcript() const = 0;
    virtual void clearTranscript() = 0;
    /// I2C connections opened and not closed.
    virtual long openConnections() const = 0;
    /// Audio/video service objects created and not released.
    virtual long liveAVServices() const = 0;
    /// Registry references handed out and not released.
    virtual long outstandingReferences() const = 0;
};

}  // namespace orvane::platform::sim
