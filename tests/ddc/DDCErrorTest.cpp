// SPDX-License-Identifier: MIT
#include <string>

#include <gtest/gtest.h>

#include "ddc/DDCError.h"

namespace orvane::ddc {
namespace {

// The rest of the texts are asserted where each failure arises.
TEST(DDCError, TextsNoFailureElsewhereShows) {
    const auto noConnector = DDCError::framebufferNotFound(2, "No DRM connector for display 2");
    EXPECT_EQ(noConnector.kind(), DDCError::Kind::framebufferNotFound);
    EXPECT_STREQ(noConnector.what(), "No DRM connector for display 2");
    EXPECT_EQ(DDCError::readChecksumMismatch().errorDescription(), "DDC reply checksum mismatch");
    EXPECT_EQ(DDCError::displayNotFound(4294967295u).errorDescription(),
              "Display 4294967295 not found in IORegistry");
}

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
