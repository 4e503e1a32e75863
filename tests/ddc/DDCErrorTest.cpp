// SPDX-License-Identifier: MIT
#include <string>

#include <gtest/gtest.h>

#include "ddc/DDCError.h"
#include "platform/sim/SimStatus.h"

namespace orvane::ddc {
namespace {

using platform::sim::hexStatusError;

struct ErrorCase {
    DDCError error;
    DDCError::Kind kind;
    std::string text;
};

// Readable names in test listings instead of the bytes of the case.
void PrintTo(const ErrorCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class DDCErrorText : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(DDCErrorText, RendersExactly) {
    const auto& c = GetParam();
    EXPECT_EQ(c.error.kind(), c.kind);
    EXPECT_EQ(c.error.errorDescription(), c.text);
    EXPECT_STREQ(c.error.what(), c.text.c_str());
}

using K = DDCError::Kind;
INSTANTIATE_TEST_SUITE_P(
    AllCases, DDCErrorText,
    ::testing::Values(
        ErrorCase{DDCError::displayNotFound(4294967295u), K::displayNotFound,
                  "Display 4294967295 not found in IORegistry"},
        ErrorCase{DDCError::framebufferNotFound(2), K::framebufferNotFound,
                  "No IOFramebuffer found for display 2"},
        ErrorCase{DDCError::framebufferNotFound(2, "No DRM connector for display 2"),
                  K::framebufferNotFound, "No DRM connector for display 2"},
        ErrorCase{DDCError::i2cOpenFailed(hexStatusError(static_cast<std::int32_t>(0xE00002C2u))),
                  K::i2cOpenFailed, "Failed to open I2C interface (0xe00002c2)"},
        ErrorCase{DDCError::i2cSendFailed(hexStatusError(-1)), K::i2cSendFailed,
                  "I2C send request failed (0xffffffff)"},
        ErrorCase{DDCError::i2cRequestFailed(platform::errnoError(5, "EIO (Input/output error)")),
                  K::i2cRequestFailed, "I2C request returned error EIO (Input/output error)"},
        ErrorCase{DDCError::readResponseTooShort(11, 3), K::readResponseTooShort,
                  "DDC reply too short: expected 11 bytes, got 3"},
        ErrorCase{DDCError::vcpCodeUnsupported(VCPCode::powerMode), K::vcpCodeUnsupported,
                  "VCP code Power Mode (0xd6) not supported by display"},
        ErrorCase{DDCError::maxRetriesExceeded(DDCError::readResponseInvalid()),
                  K::maxRetriesExceeded,
                  "DDC operation failed after 3 retries: DDC read response has invalid format"},
        ErrorCase{DDCError::i2cInterfaceNotFound(), K::i2cInterfaceNotFound,
                  "No I2C interface found on framebuffer"},
        ErrorCase{DDCError::readChecksumMismatch(), K::readChecksumMismatch,
                  "DDC reply checksum mismatch"},
        ErrorCase{DDCError::avServiceNotAvailable(), K::avServiceNotAvailable,
                  "IOAVService not available for this display"}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(DDCError, MaxRetriesKeepsTheLastErrorWithItsPayload) {
    auto e = DDCError::maxRetriesExceeded(DDCError::vcpCodeUnsupported(VCPCode::volume));
    ASSERT_NE(e.underlying(), nullptr);
    EXPECT_EQ(e.underlying()->kind(), DDCError::Kind::vcpCodeUnsupported);
    EXPECT_EQ(e.underlying()->code(), VCPCode::volume);
    DDCError copy = e;  // copies share the underlying error safely
    EXPECT_EQ(copy.underlying()->errorDescription(),
              "VCP code Volume (0x62) not supported by display");
}

}  // namespace
}  // namespace orvane::ddc
