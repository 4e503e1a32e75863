// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "runtime/Format.h"

namespace orvane::runtime {
namespace {

TEST(Text, InvalidUTF8IsReplacedAndValidTextKept) {
    EXPECT_EQ(validUTF8("Salon T\xc3\xa9l\xc3\xa9"), "Salon T\xc3\xa9l\xc3\xa9");
    EXPECT_EQ(validUTF8("\xef\xbf\xbd"), "\xef\xbf\xbd");  // a real U+FFFD stays one
    EXPECT_EQ(validUTF8("a\xff"
                        "b"),
              "a\xef\xbf\xbd"
              "b");
    EXPECT_EQ(validUTF8("\xc0\xaf"), "\xef\xbf\xbd\xef\xbf\xbd");                  // overlong '/'
    EXPECT_EQ(validUTF8("\xed\xa0\x80"), "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd");  // surrogate
    EXPECT_EQ(validUTF8("\xe2\x82"), "\xef\xbf\xbd\xef\xbf\xbd");  // cut short at the end
    EXPECT_EQ(validUTF8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Text, LowerCaseCoversUnicodeWhateverTheLocale) {
    EXPECT_EQ(lowercased("SALON T\xc3\x89L\xc3\x89"), "salon t\xc3\xa9l\xc3\xa9");
    EXPECT_EQ(lowercased("\xce\xa3\xce\x91\xce\x9b"), "\xcf\x83\xce\xb1\xce\xbb");  // ΣΑΛ
    EXPECT_EQ(lowercased("EXTERNAL"), "external");
    EXPECT_EQ(lowercased("\xff"), "\xef\xbf\xbd");
}

}  // namespace
}  // namespace orvane::runtime
