// SPDX-License-Identifier: MIT
#include "ddc/DDCMessage.h"

#include "ddc/DDCError.h"
#include "runtime/Hex.h"
#include "runtime/Logger.h"

namespace orvane::ddc {

namespace {
constexpr std::uint8_t kGetVCPOpcode = 0x01;
constexpr std::uint8_t kGetVCPReplyOpcode = 0x02;
constexpr std::uint8_t kSetVCPOpcode = 0x03;
constexpr std::uint8_t kCapabilitiesOpcode = 0xF3;
constexpr std::uint8_t kCapabilitiesReplyOpcode = 0xE3;
constexpr std::uint8_t kLengthFlag = 0x80;
constexpr std::uint8_t kMaxFrameLength = 32;

std::uint16_t be16(std::uint8_t high, std::uint8_t low) {
    return static_cast<std::uint16_t>((high << 8) | low);
}
}  // namespace

std::uint8_t DDCMessage::checksum(std::uint8_t seed, std::span<const std::uint8_t> bytes) {
    std::uint8_t sum = seed;
    for (std::uint8_t b : bytes)
        sum ^= b;
    return sum;
}

std::array<std::uint8_t, 5> DDCMessage::encodeGetVCP(VCPCode code) {
    std::array<std::uint8_t, 5> m{kHostSourceAddress, kLengthFlag | 2, kGetVCPOpcode,
                                  rawValue(code), 0};
    m[4] = checksum(kDisplayWriteAddress, std::span(m).first(4));
    return m;
}

std::array<std::uint8_t, 7> DDCMessage::encodeSetVCP(VCPCode code, std::uint16_t value) {
    std::array<std::uint8_t, 7> m{kHostSourceAddress,
                                  kLengthFlag | 4,
                                  kSetVCPOpcode,
                                  rawValue(code),
                                  static_cast<std::uint8_t>(value >> 8),
                                  static_cast<std::uint8_t>(value & 0xFF),
                                  0};
    m[6] = checksum(kDisplayWriteAddress, std::span(m).first(6));
    return m;
}

std::array<std::uint8_t, 6> DDCMessage::encodeCapabilitiesRequest(std::uint16_t offset) {
    std::array<std::uint8_t, 6> m{kHostSourceAddress,
                                  kLengthFlag | 3,
                                  kCapabilitiesOpcode,
                                  static_cast<std::uint8_t>(offset >> 8),
                                  static_cast<std::uint8_t>(offset & 0xFF),
                                  0};
    m[5] = checksum(kDisplayWriteAddress, std::span(m).first(5));
    return m;
}

std::vector<std::uint8_t> DDCMessage::decodeCapabilitiesReply(std::span<const std::uint8_t> reply,
                                                              std::uint16_t offset) {
    if (reply.size() < 2) throw DDCError::readResponseTooShort(6, static_cast<int>(reply.size()));
    const std::size_t length = reply[1] & 0x7F;
    // The null message (length 0) is "not ready"; a length past one frame is corrupt.
    if (reply[0] != kDisplayWriteAddress || !(reply[1] & kLengthFlag) || length < 3 ||
        length > kMaxFrameLength + 3) {
        throw DDCError::readResponseInvalid();
    }
    if (reply.size() < length + 3) {
        throw DDCError::readResponseTooShort(static_cast<int>(length + 3),
                                             static_cast<int>(reply.size()));
    }
    if (reply[2] != kCapabilitiesReplyOpcode || be16(reply[3], reply[4]) != offset)
        throw DDCError::readResponseInvalid();
    if (checksum(kHostReplySeed, reply.first(length + 2)) != reply[length + 2])
        throw DDCError::readChecksumMismatch();
    return {reply.begin() + 5, reply.begin() + static_cast<std::ptrdiff_t>(length + 2)};
}

VCPValue DDCMessage::decodeFramed(std::span<const std::uint8_t> reply, VCPCode requested,
                                  runtime::Logger* log) {
    if (reply.size() < kFramedReplyLength) {
        throw DDCError::readResponseTooShort(static_cast<int>(kFramedReplyLength),
                                             static_cast<int>(reply.size()));
    }
    // A length beyond the largest DDC/CI frame (32 bytes) is a corrupt reply.
    if ((reply[1] & 0x7F) > kMaxFrameLength) throw DDCError::readResponseInvalid();
    if (reply[2] != kGetVCPReplyOpcode) throw DDCError::readResponseInvalid();
    if (reply[3] != 0x00) throw DDCError::vcpCodeUnsupported(requested);
    if (reply[4] != rawValue(requested)) throw DDCError::readResponseInvalid();
    std::uint8_t expected = checksum(kHostReplySeed, reply.first(10));
    if (expected != reply[10] && log) {
        log->line("[DDCManager] Checksum mismatch for " + displayName(requested) + ": expected 0x" +
                  runtime::hex(expected) + ", got 0x" + runtime::hex(reply[10]) +
                  ". Accepting anyway.");
    }
    return VCPValue{be16(reply[8], reply[9]), be16(reply[6], reply[7])};
}

VCPValue DDCMessage::decodeScanning(std::span<const std::uint8_t> reply, VCPCode requested) {
    std::size_t i = 0;
    while (i < reply.size() && reply[i] != kGetVCPReplyOpcode)
        ++i;
    if (i == reply.size()) throw DDCError::readResponseInvalid();
    if (reply.size() < i + 8) {
        throw DDCError::readResponseTooShort(static_cast<int>(i + 8),
                                             static_cast<int>(reply.size()));
    }
    if (reply[i + 1] != 0x00) throw DDCError::vcpCodeUnsupported(requested);
    if (reply[i + 2] != rawValue(requested)) throw DDCError::readResponseInvalid();
    const VCPValue value{be16(reply[i + 6], reply[i + 7]), be16(reply[i + 4], reply[i + 5])};
    // The buffer's zero fill where a cut-off reply ended: no monitor holds
    // 0 of 0, and taking it as 0 would send a step from 70 to 5.
    if (value.current == 0 && value.max == 0) throw DDCError::readResponseInvalid();
    return value;
}

}  // namespace orvane::ddc
