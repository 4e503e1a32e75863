// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <vector>

#include "platform/sim/FramebufferI2C.h"
#include "platform/sim/IOReturn.h"
#include "runtime/Clock.h"

namespace orvane::platform::sim {

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

}  // namespace orvane::platform::sim
