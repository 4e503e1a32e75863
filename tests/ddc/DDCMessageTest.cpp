// SPDX-License-Identifier: MIT
#include <array>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ddc/DDCError.h"
#include "ddc/DDCMessage.h"
#include "runtime/Logger.h"

namespace orvane::ddc {
namespace {

using Bytes = std::vector<std::uint8_t>;
using ::testing::ElementsAre;

std::string decodeError(const Bytes& reply, VCPCode code, bool scanning) {
    try {
        if (scanning) {
            DDCMessage::decodeScanning(reply, code);
        } else {
            DDCMessage::decodeFramed(reply, code, nullptr);
        }
    } catch (const DDCError& e) {
        return e.errorDescription();
    }
    return "decoded";
}

TEST(DDCMessage, EncodesRequestsByteForByte) {
    EXPECT_THAT(DDCMessage::encodeGetVCP(VCPCode::brightness),
                ElementsAre(0x51, 0x82, 0x01, 0x10, 0xAC));
    EXPECT_THAT(DDCMessage::encodeSetVCP(VCPCode::contrast, 50),
                ElementsAre(0x51, 0x84, 0x03, 0x12, 0x00, 0x32, 0x98));
    auto big = DDCMessage::encodeSetVCP(VCPCode::volume, 0x1234);
    EXPECT_EQ(big[4], 0x12);
    EXPECT_EQ(big[5], 0x34);
    // Every request's checksum makes the XOR over 0x6E and all bytes zero.
    for (VCPCode code : kAllVCPCodes) {
        for (std::uint16_t v : {0, 1, 0xFF, 0x100, 0xFFFF}) {
            auto m = DDCMessage::encodeSetVCP(code, v);
            EXPECT_EQ(DDCMessage::checksum(0x6E, m), 0) << displayName(code) << " " << v;
        }
        auto g = DDCMessage::encodeGetVCP(code);
        EXPECT_EQ(g[4], rawValue(code) ^ 0xBC);
    }
}

TEST(DDCMessage, FramedDecoderChecksInOrder) {
    const Bytes good{0x6E, 0x88, 0x02, 0x00, 0x10, 0x00, 0x01, 0x2C, 0x00, 0x96, 0x00};
    Bytes b = good;
    EXPECT_EQ(decodeError(Bytes(good.begin(), good.begin() + 10), VCPCode::brightness, false),
              "DDC reply too short: expected 11 bytes, got 10");
    EXPECT_EQ(decodeError({}, VCPCode::brightness, false),
              "DDC reply too short: expected 11 bytes, got 0");
    b[2] = 0x03;
    b[3] = 0x01;  // opcode wins over result code
    EXPECT_EQ(decodeError(b, VCPCode::brightness, false), "DDC read response has invalid format");
    b = good;
    b[3] = 0x01;
    b[4] = 0x62;  // unsupported wins over a wrong echo, and names the requested code
    EXPECT_EQ(decodeError(b, VCPCode::brightness, false),
              "VCP code Brightness (0x10) not supported by display");
    b = good;
    b[4] = 0x12;
    EXPECT_EQ(decodeError(b, VCPCode::brightness, false), "DDC read response has invalid format");
    // 16-bit values, high byte first: max 0x012C = 300, current 0x0096 = 150.
    EXPECT_EQ(DDCMessage::decodeFramed(good, VCPCode::brightness, nullptr), (VCPValue{150, 300}));
}

TEST(DDCMessage, ScanningDecoderFindsTheOpcodeAfterJunk) {
    Bytes junk{0x00, 0x6E, 0x88, 0x02, 0x00, 0x10, 0x00, 0x00, 0x64, 0x00, 0x32, 0x00};
    EXPECT_EQ(DDCMessage::decodeScanning(junk, VCPCode::brightness), (VCPValue{50, 100}));
    Bytes noChecksumCheck{0x6E, 0x88, 0x02, 0x00, 0x62, 0x00, 0x00, 0x64, 0x00, 0x1E, 0xAA, 0x00};
    EXPECT_EQ(DDCMessage::decodeScanning(noChecksumCheck, VCPCode::volume), (VCPValue{30, 100}));

    EXPECT_EQ(decodeError(Bytes(12, 0), VCPCode::brightness, true),
              "DDC read response has invalid format");
    EXPECT_EQ(decodeError({}, VCPCode::brightness, true), "DDC read response has invalid format");
    Bytes late(12, 0);
    late[5] = 0x02;
    EXPECT_EQ(decodeError(late, VCPCode::brightness, true),
              "DDC reply too short: expected 13 bytes, got 12");
    Bytes unsupported{0x6E, 0x88, 0x02, 0x01, 0x62, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(decodeError(unsupported, VCPCode::volume, true),
              "VCP code Volume (0x62) not supported by display");
    Bytes echo{0x6E, 0x88, 0x02, 0x00, 0x12, 0, 0, 0x64, 0, 0x32, 0, 0};
    EXPECT_EQ(decodeError(echo, VCPCode::brightness, true), "DDC read response has invalid format");
    // Exactly i + 8 bytes is enough.
    Bytes exact{0x02, 0x00, 0x10, 0x00, 0x00, 0x64, 0x00, 0x0A};
    EXPECT_EQ(DDCMessage::decodeScanning(exact, VCPCode::brightness), (VCPValue{10, 100}));
}

}  // namespace
}  // namespace orvane::ddc
