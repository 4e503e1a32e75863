// SPDX-License-Identifier: MIT
#include "platform/linux/EDID.h"

#include <gtest/gtest.h>

#include "support/SysfsTree.h"

namespace orvane::platform::linux_ {
namespace {

using test::edidFile;

TEST(EDIDTest, ReadsTheFieldsOfAMonitor) {
    const auto e = EDID::parse(edidFile("office-27.bin"));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->vendor, "DEL");
    EXPECT_EQ(e->vendorNumber, 0x10AC);
    EXPECT_EQ(e->productCode, 0xA0C4);
    EXPECT_EQ(e->serialNumber, 0x4C4F4F42u);
    EXPECT_EQ(e->week, 12);
    EXPECT_EQ(e->year, 2021);
    EXPECT_EQ(e->name, "DELL U2720Q");
    EXPECT_EQ(e->serialText, "7XKD123");
    ASSERT_TRUE(e->preferredMode);
    EXPECT_EQ(e->preferredMode->width, 3840u);
    EXPECT_EQ(e->preferredMode->height, 2160u);
    EXPECT_NEAR(e->preferredMode->refreshRate, 60.0, 0.01);

    // An extension block follows; only the base block is read.
    const auto tv = EDID::parse(edidFile("tv-hdmi.bin"));
    ASSERT_TRUE(tv);
    EXPECT_EQ(tv->name, "SAMSUNG");
    EXPECT_EQ(tv->serialNumber, 0u);
    EXPECT_EQ(tv->week, 255);  // a model year
    EXPECT_EQ(tv->preferredMode->width, 1920u);

    const auto bare = EDID::parse(edidFile("no-descriptors.bin"));
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->vendor, "GSM");
    EXPECT_TRUE(bare->name.empty());
    EXPECT_FALSE(bare->preferredMode);
}

TEST(EDIDTest, UntrustedBytesAreRefusedOrMadeSafe) {
    for (const char* broken : {"bad-checksum.bin", "truncated.bin", "bad-header.bin"})
        EXPECT_FALSE(EDID::parse(edidFile(broken))) << broken;
    EXPECT_FALSE(EDID::parse({}));

    const auto hostile = EDID::parse(edidFile("hostile-name.bin"));
    ASSERT_TRUE(hostile);
    EXPECT_EQ(hostile->name, "Bad???Name");
    EXPECT_EQ(hostile->serialText, "");  // only spaces
}

}  // namespace
}  // namespace orvane::platform::linux_
