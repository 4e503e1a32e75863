// SPDX-License-Identifier: MIT
// Launch at login as an XDG autostart entry in a private configuration folder.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/posix/XdgAutostart.h"
#include "support/TempDirectory.h"

namespace orvane::platform::posix {
namespace {

std::string contents(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(XdgAutostart, TheEntryIsWrittenWholeAndRemovedAgain) {
    test::TempDirectory dir;
    XdgAutostart autostart((dir.path() / "config").string(), "/opt/My Apps/orvane");
    EXPECT_FALSE(autostart.isRegistered());
    EXPECT_EQ(autostart.registerApp(), std::nullopt);
    ASSERT_TRUE(autostart.isRegistered());
    const auto text = contents(autostart.entryPath());
    EXPECT_NE(text.find("[Desktop Entry]\nType=Application\nName=Orvane\n"), std::string::npos);
    EXPECT_NE(text.find("Exec=\"/opt/My Apps/orvane\"\n"), std::string::npos) << text;
    EXPECT_FALSE(std::filesystem::exists(autostart.entryPath() + ".tmp"));
    // Registering again rewrites it; unregistering twice is no error.
    EXPECT_EQ(autostart.registerApp(), std::nullopt);
    EXPECT_EQ(autostart.unregisterApp(), std::nullopt);
    EXPECT_FALSE(autostart.isRegistered());
    EXPECT_EQ(autostart.unregisterApp(), std::nullopt);
}

TEST(XdgAutostart, AFolderThatCannotBeWrittenIsAReasonNotASuccess) {
    if (geteuid() == 0) {
        // Root writes anywhere: a file in the folder's place stands in.
        test::TempDirectory dir;
        std::ofstream(dir.path() / "config");
        XdgAutostart autostart((dir.path() / "config").string(), "/usr/bin/orvane");
        const auto error = autostart.registerApp();
        ASSERT_TRUE(error);
        EXPECT_NE(error->find("cannot create"), std::string::npos) << *error;
        EXPECT_FALSE(autostart.isRegistered());
        return;
    }
    test::TempDirectory dir;
    std::filesystem::create_directories(dir.path() / "config/autostart");
    chmod((dir.path() / "config/autostart").c_str(), 0500);
    XdgAutostart autostart((dir.path() / "config").string(), "/usr/bin/orvane");
    const auto error = autostart.registerApp();
    ASSERT_TRUE(error);
    EXPECT_NE(error->find("cannot write"), std::string::npos) << *error;
    chmod((dir.path() / "config/autostart").c_str(), 0700);
}

}  // namespace
}  // namespace orvane::platform::posix
