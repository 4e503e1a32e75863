// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "ddc/VCPCode.h"

namespace orvane::runtime {
class Logger;
}

namespace orvane::ddc {

/// The DDC/CI message layer: the two requests the system sends and the two
/// decoders of the Get VCP Feature reply. Pure functions; only the framed
/// decoder has a side effect (its checksum-mismatch log line).
struct DDCMessage {
    static constexpr std::uint8_t kDisplayWriteAddress = 0x6E;
    static constexpr std::uint8_t kDisplayReadAddress = 0x6F;
    static constexpr std::uint8_t kDisplayChipAddress = 0x37;
    static constexpr std::uint8_t kHostSourceAddress = 0x51;
    static constexpr std::uint8_t kHostReplySeed = 0x50;
    static constexpr std::size_t kFramedReplyLength = 11;
    static constexpr std::size_t kScanningReplyLength = 12;
    /// The longest Capabilities Reply: address, length, opcode, offset, 32 bytes, checksum.
    static constexpr std::size_t kCapabilitiesReplyLength = 38;

    /// Get VCP Feature, framed: 51 82 01 code checksum.
    static std::array<std::uint8_t, 5> encodeGetVCP(VCPCode code);
    /// Set VCP Feature, framed: 51 84 03 code high low checksum.
    static std::array<std::uint8_t, 7> encodeSetVCP(VCPCode code, std::uint16_t value);
    /// Capabilities Request, framed: 51 83 F3 offset-high offset-low checksum.
    static std::array<std::uint8_t, 6> encodeCapabilitiesRequest(std::uint16_t offset);
    /// The part of the capabilities string in a Capabilities Reply read from
    /// 0x6F, which must echo offset; empty at the end of the string. Throws
    /// DDCError (a bad checksum too: a corrupt string is worse than a retry).
    static std::vector<std::uint8_t> decodeCapabilitiesReply(std::span<const std::uint8_t> reply,
                                                             std::uint16_t offset);
    /// The unframed form (without the leading source address) that the
    /// audio/video service transport writes; the checksum still covers 0x51.
    template <std::size_t N>
    static std::span<const std::uint8_t> unframed(const std::array<std::uint8_t, N>& framed) {
        return std::span<const std::uint8_t>(framed).subspan(1);
    }

    /// Decodes an 11-byte reply read from 0x6F. A checksum mismatch is logged
    /// (when log is set) and the reply accepted. Throws DDCError.
    static VCPValue decodeFramed(std::span<const std::uint8_t> reply, VCPCode requested,
                                 runtime::Logger* log);
    /// Decodes a reply that may start with junk by finding its opcode. Throws DDCError.
    static VCPValue decodeScanning(std::span<const std::uint8_t> reply, VCPCode requested);

    /// XOR of seed and every byte.
    static std::uint8_t checksum(std::uint8_t seed, std::span<const std::uint8_t> bytes);
};

}  // namespace orvane::ddc
