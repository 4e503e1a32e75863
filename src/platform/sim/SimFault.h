// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/sim/IOReturn.h"

namespace orvane::platform::sim {

/// What can go wrong with a simulated monitor. Status kinds act on the transport;
/// reply kinds change the bytes the monitor sends back.
enum class SimFaultKind {
    unsupported,     // reply result code 0x01 for the code
    openStatus,      // IOI2CInterfaceOpen returns status
    nullConnection,  // IOI2CInterfaceOpen returns 0 and no connection
    sendStatus,      // IOI2CSendRequest, or the service's write, returns status
    resultStatus,    // the I2C record's result field is status
    readStatus,      // the service's read returns status
    shortReply,      // only `bytes` reply bytes arrive
    wrongOpcode,     // reply opcode is not 0x02
    wrongEcho,       // reply echoes another VCP code
    badChecksum,     // reply checksum byte is wrong
    leadingJunk,     // `bytes` zero bytes precede the reply
    allZero,         // every reply byte is zero
    nullReply,       // the DDC/CI null message instead of the reply
    doubledAddress,  // the reply starts with its source address twice
    badLength,       // the reply's length byte is beyond the largest a frame has
    ignoresWrite,    // a Set VCP is acknowledged but not applied
    reverts,         // a Set VCP is applied, and undone `bytes` ms later
    lockUp,          // after `bytes` writes under 100 ms apart, answers nothing
                     // until left alone for 2 s
    hangs,           // holds the bus `bytes` ms, then does not acknowledge
    slow,            // needs twice the standard reply delay: asked sooner, it
                     // sends the null message
    quantises,       // stores a Set VCP value rounded down to a multiple of `bytes`
    silent,          // the monitor does not acknowledge at all (keep last)
};

struct SimFault {
    SimFaultKind kind = SimFaultKind::silent;
    /// Only transactions for this VCP code; none for all. Open-stage faults ignore it.
    std::optional<std::uint8_t> code;
    /// How many transactions it spoils before it heals; negative for ever.
    int times = -1;
    IOReturn status = kIOReturnError;
    int bytes = 1;
    /// Only Set VCP Feature transactions (a bus that drops writes but answers reads).
    bool writesOnly = false;
};

/// Largest `bytes` a rig may give: more than any reply, far less than memory.
inline constexpr int kMaxSimFaultBytes = 4096;

/// The names rig files give the kinds.
inline constexpr auto kSimFaultNames = std::to_array<std::pair<SimFaultKind, std::string_view>>({
    {SimFaultKind::unsupported, "unsupported"},
    {SimFaultKind::openStatus, "openStatus"},
    {SimFaultKind::nullConnection, "nullConnection"},
    {SimFaultKind::sendStatus, "sendStatus"},
    {SimFaultKind::resultStatus, "resultStatus"},
    {SimFaultKind::readStatus, "readStatus"},
    {SimFaultKind::shortReply, "shortReply"},
    {SimFaultKind::wrongOpcode, "wrongOpcode"},
    {SimFaultKind::wrongEcho, "wrongEcho"},
    {SimFaultKind::badChecksum, "badChecksum"},
    {SimFaultKind::leadingJunk, "leadingJunk"},
    {SimFaultKind::allZero, "allZero"},
    {SimFaultKind::nullReply, "nullReply"},
    {SimFaultKind::doubledAddress, "doubledAddress"},
    {SimFaultKind::badLength, "badLength"},
    {SimFaultKind::ignoresWrite, "ignoresWrite"},
    {SimFaultKind::reverts, "reverts"},
    {SimFaultKind::lockUp, "lockUp"},
    {SimFaultKind::hangs, "hangs"},
    {SimFaultKind::slow, "slow"},
    {SimFaultKind::quantises, "quantises"},
    {SimFaultKind::silent, "silent"},
});

std::optional<SimFaultKind> simFaultKindFromName(std::string_view name);
std::string_view nameOf(SimFaultKind kind);

}  // namespace orvane::platform::sim
