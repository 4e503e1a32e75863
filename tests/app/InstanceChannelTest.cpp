// SPDX-License-Identifier: MIT
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/InstanceChannel.h"
#include "support/TempDirectory.h"

namespace orvane::app {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(InstanceChannel, HandsURLsToTheRunningInstanceOnly) {
    test::TempDirectory dir;
    const auto path = dir / "orvane.sock";
    EXPECT_FALSE(InstanceChannel::forward(path, {"orvane://info"}));  // nobody listens

    std::mutex m;
    std::vector<std::string> got;
    {
        InstanceChannel channel(path, [&](std::string url) {
            std::lock_guard lock(m);
            got.push_back(std::move(url));
        });
        struct stat st {};
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        // forward() returns once the instance has taken the whole message.
        EXPECT_TRUE(InstanceChannel::forward(
            path, {"orvane://info", "orvane://bad\nline", "orvane://brightness?value=5"}));
        {
            std::lock_guard lock(m);
            EXPECT_THAT(got, ElementsAre("orvane://info", "orvane://brightness?value=5"));
        }
        EXPECT_THAT([&] { InstanceChannel second(path, [](std::string) {}); },
                    ::testing::ThrowsMessage<std::runtime_error>(HasSubstr("another instance")));
    }
    EXPECT_FALSE(std::filesystem::exists(path));

    // A socket left behind by an instance that died is taken over.
    {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        close(fd);
    }
    ASSERT_TRUE(std::filesystem::exists(path));
    InstanceChannel again(path, [](std::string) {});
    EXPECT_TRUE(InstanceChannel::forward(path, {}));
}

}  // namespace
}  // namespace orvane::app
