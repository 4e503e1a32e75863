// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <variant>
#include <vector>

#include "platform/PlatformError.h"
#include "platform/PlatformTypes.h"

namespace orvane::platform {

/// How DDC/CI bytes reach a monitor.
enum class DDCLink {
    /// An I2C bus of the display's own (/dev/i2c-N on Linux), addressed at
    /// 0x6E/0x6F: messages go as framed on the wire after the address byte.
    i2c,
    /// A service that addresses the monitor itself: messages go without the
    /// source address, which the service adds. Only the simulated machine has one.
    avService,
};

/// A transfer that did not happen, or failed on the bus.
struct DDCBusFailure {
    enum class Step {
        noDisplay,  // nothing on the link belongs to the display
        noBus,      // it has no bus on that link
        open,       // the bus could not be opened
        send,       // the transaction could not start, or the service refused it
        transfer,   // the bus failed it (EIO, a NACK, held by another program)
    };
    Step step;
    PlatformError error;
};

/// The machine's DDC buses, by display.
class DDCBuses {
  public:
    virtual ~DDCBuses() = default;

    /// Whether the machine has the link at all. Main thread, at start.
    virtual bool offers(DDCLink link) = 0;
    /// Whether the link reaches the display: a bus is there, which says
    /// nothing of whether a monitor answers on it. Main thread; keeps nothing open.
    virtual bool reaches(DDCLink link, DisplayID display) = 0;
    /// One DDC/CI transaction: writes message and, when replyLength is not 0,
    /// waits delay and reads up to replyLength bytes, which it returns as
    /// received (fewer when the bus delivered fewer). Called on the display's
    /// DDC queue, one transaction per display at a time; the bus is held for
    /// the whole transaction.
    virtual std::variant<std::vector<std::uint8_t>, DDCBusFailure> transfer(
        DDCLink link, DisplayID display, std::span<const std::uint8_t> message,
        std::chrono::nanoseconds delay, std::size_t replyLength) = 0;
    /// Forgets which bus serves which display, after displays changed. Any thread.
    virtual void forget() = 0;
};

}  // namespace orvane::platform
