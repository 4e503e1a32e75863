// SPDX-License-Identifier: MIT
// Key names in the user's layout through libxkbcommon: the same key
// position reads differently on German and French keyboards.

#include <gtest/gtest.h>

#include "input/KeyCombo.h"
#include "platform/linux/XkbKeyboardLayout.h"

namespace orvane::platform::linux_ {
namespace {

TEST(XkbKeyboardLayout, KeysAreNamedByTheirPositionInTheLayout) {
    auto us = XkbKeyboardLayout::named("us");
    auto de = XkbKeyboardLayout::named("de");
    auto fr = XkbKeyboardLayout::named("fr");
    if (!us || !de || !fr) GTEST_SKIP() << "no XKB keymaps here (package xkb-data)";
    // 6 is Z on a US keyboard, 12 is Q, 41 is the semicolon.
    EXPECT_EQ(input::KeyCombo::keyName(6, *us), "Z");
    EXPECT_EQ(input::KeyCombo::keyName(6, *de), "Y");
    EXPECT_EQ(input::KeyCombo::keyName(12, *fr), "A");
    EXPECT_EQ(input::KeyCombo::keyName(41, *de), "Ö");
    // A dead key has no character of its own; a code outside the table none.
    EXPECT_EQ(input::KeyCombo::keyName(50, *de), "Key50");
    EXPECT_EQ(input::KeyCombo::keyName(200, *us), "Key200");
    // Upper case in every script: A is Ф on a Russian keyboard, Α on a Greek one.
    auto ru = XkbKeyboardLayout::named("ru");
    auto gr = XkbKeyboardLayout::named("gr");
    ASSERT_TRUE(ru && gr);
    EXPECT_EQ(input::KeyCombo::keyName(0, *ru), "Ф");
    EXPECT_EQ(input::KeyCombo::keyName(0, *gr), "Α");
    EXPECT_EQ((input::KeyCombo{0, input::kControlKey}.displayString(*ru)), "⌃Ф");
}

}  // namespace
}  // namespace orvane::platform::linux_
