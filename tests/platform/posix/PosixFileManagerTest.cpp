// SPDX-License-Identifier: MIT
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/posix/PosixFileManager.h"
#include "support/TempDirectory.h"

namespace orvane::platform::posix {
namespace {

std::string contents(const std::filesystem::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(PosixFileManager, TrashFollowsTheFreedesktopLayout) {
    test::TempDirectory dir;
    const auto data = dir.path() / "data";
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    const auto trash = data / "Trash";
    PosixFileManager files;
    for (int i = 0; i < 2; ++i) {
        std::ofstream(dir / "Orvane 1.0.dmg") << "image " << i;
        ASSERT_TRUE(files.trashItem(dir / "Orvane 1.0.dmg"));
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "Orvane 1.0.dmg"));
    // Two items of one name: the second gets a name of its own, with its own info.
    EXPECT_EQ(contents(trash / "files/Orvane 1.0.dmg"), "image 0");
    EXPECT_EQ(contents(trash / "files/Orvane 1.0.dmg.2"), "image 1");
    const auto info = contents(trash / "info/Orvane 1.0.dmg.2.trashinfo");
    EXPECT_THAT(info, ::testing::StartsWith(
                          "[Trash Info]\nPath=" + (dir.path() / "Orvane%201.0.dmg").string() +
                          "\nDeletionDate="));
    EXPECT_THAT(info,
                ::testing::MatchesRegex(
                    ".*DeletionDate=[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\n"));

    // What is not there cannot be trashed, and leaves no info behind.
    EXPECT_FALSE(files.trashItem(dir / "missing.dmg"));
    EXPECT_FALSE(std::filesystem::exists(trash / "info/missing.dmg.trashinfo"));
    unsetenv("XDG_DATA_HOME");
}

}  // namespace
}  // namespace orvane::platform::posix
