// SPDX-License-Identifier: MIT
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <mutex>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/InstanceChannel.h"
#include "support/TempDirectory.h"

namespace orvane::app {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::chrono::steady_clock::time_point soon() {
    return std::chrono::steady_clock::now() + std::chrono::seconds(10);
}

/// A raw peer of path that sends one URL and then reads nothing.
int connectPeer(const std::string& path, const char* message = nullptr) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return -1;
    if (message) {
        [[maybe_unused]] auto n = send(fd, message, std::strlen(message), 0);
        shutdown(fd, SHUT_WR);
    }
    return fd;
}

/// A socket file no instance listens on, as one that died leaves.
void leaveStaleSocket(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    close(fd);
}

TEST(InstanceChannel, HandsURLsToTheRunningInstanceOnly) {
    test::TempDirectory dir;
    const auto path = dir / "orvane.sock";
    EXPECT_FALSE(InstanceChannel::forward(path, {"orvane://info"}, soon()));  // nobody listens

    std::mutex m;
    std::vector<std::string> got;
    {
        InstanceChannel channel(
            path, [&](std::vector<std::string> urls, InstanceChannel::Reply reply) {
                std::lock_guard lock(m);
                got.insert(got.end(), urls.begin(), urls.end());
                reply(InstanceChannel::answer("handled " + std::to_string(urls.size()) + "\n",
                                              urls.size() == 2 ? 0 : 1));
            });
        // forward() returns the instance's answer once it has handled the message.
        const auto answer = InstanceChannel::forward(
            path, {"orvane://info", "orvane://bad\nline", "orvane://brightness?value=5"}, soon());
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->text, "handled 2\n");
        EXPECT_EQ(answer->status, 0);
        {
            std::lock_guard lock(m);
            EXPECT_THAT(got, ElementsAre("orvane://info", "orvane://brightness?value=5"));
        }
        EXPECT_THAT([&] { InstanceChannel second(path, {}); },
                    ::testing::ThrowsMessage<InstanceRunning>(HasSubstr("another instance")));
    }
    EXPECT_FALSE(std::filesystem::exists(path));

    // A socket left behind by an instance that died is taken over.
    leaveStaleSocket(path);
    ASSERT_TRUE(std::filesystem::exists(path));
    // An answer dropped unsent still ends the peer's wait, and is no success.
    InstanceChannel again(path, [](std::vector<std::string>, InstanceChannel::Reply) {});
    const auto none = InstanceChannel::forward(path, {}, soon());
    ASSERT_TRUE(none);
    EXPECT_EQ(none->text, "");
    EXPECT_EQ(none->status, InstanceChannel::kNoAnswer);
}

TEST(InstanceChannel, OfManyStartsAtOnceOverAStaleSocketExactlyOneListens) {
    test::TempDirectory dir;
    const std::string path = dir / "orvane.sock";
    const char* env = std::getenv("ORVANE_RACE_TRIALS");
    const int trials = env ? std::atoi(env) : 100;
    for (int trial = 0; trial < trials; ++trial) {
        leaveStaleSocket(path);
        const int starts = 2 + trial % 7;
        std::atomic<int> ready{0};
        std::atomic<bool> go{false};
        std::mutex m;
        std::vector<std::unique_ptr<InstanceChannel>> winners;
        int refused = 0;
        std::vector<std::thread> threads;
        for (int i = 0; i < starts; ++i) {
            threads.emplace_back([&] {
                ++ready;
                while (!go) {
                }
                try {
                    auto channel = std::make_unique<InstanceChannel>(
                        path, [](std::vector<std::string> urls, InstanceChannel::Reply reply) {
                            reply(InstanceChannel::answer(std::to_string(urls.size()), 0));
                        });
                    std::lock_guard lock(m);
                    winners.push_back(std::move(channel));
                } catch (const InstanceRunning&) {
                    std::lock_guard lock(m);
                    ++refused;
                }
            });
        }
        while (ready < starts) {
        }
        go = true;
        for (auto& t : threads)
            t.join();
        ASSERT_EQ(winners.size(), 1u) << "trial " << trial;
        ASSERT_EQ(refused, starts - 1);
        // The winner's socket is the one at the path: nobody deleted it.
        ASSERT_EQ(InstanceChannel::forward(path, {"orvane://info"}, soon())->text, "1")
            << "trial " << trial;
        winners.clear();
        ASSERT_FALSE(std::filesystem::exists(path));
    }
}

TEST(InstanceChannel, NoPeerCanHoldUpTheInstanceOrLeaveAForwardWaitingForEver) {
    test::TempDirectory dir;
    const auto path = dir / "orvane.sock";
    std::mutex m;
    std::vector<InstanceChannel::Reply> held;
    InstanceChannel channel(path, [&](std::vector<std::string> urls, InstanceChannel::Reply reply) {
        if (!urls.empty() && urls.front() == "orvane://hold") {
            std::lock_guard lock(m);
            held.push_back(std::move(reply));  // a busy instance: no answer yet
        } else if (!urls.empty() && urls.front() == "orvane://flood") {
            // Far more than the socket buffer, to a peer that never reads.
            reply(InstanceChannel::answer(std::string(8 << 20, 'x') + "\n", 0));
        } else {
            reply(InstanceChannel::answer("ok\n", 0));
        }
    });
    const int flooder = connectPeer(path, "orvane://flood\n");
    ASSERT_GE(flooder, 0);
    // The instance still answers others, as soon as they ask.
    EXPECT_EQ(InstanceChannel::forward(path, {"orvane://info"}, soon())->text, "ok\n");

    // No answer in time is said as such, not waited for.
    const auto silent = InstanceChannel::forward(
        path, {"orvane://hold"}, std::chrono::steady_clock::now() + std::chrono::milliseconds(200));
    ASSERT_TRUE(silent);
    EXPECT_EQ(silent->status, InstanceChannel::kTimedOut);

    // Past the peer limit a forward waits its turn instead of being closed.
    std::vector<int> idle;
    for (std::size_t i = 0; i < InstanceChannel::kMaxPeers; ++i)
        idle.push_back(connectPeer(path));
    auto waiting = std::async(std::launch::async, [&] {
        return InstanceChannel::forward(path, {"orvane://info"}, soon());
    });
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    for (int fd : idle)
        close(fd);
    const auto turn = waiting.get();
    ASSERT_TRUE(turn);
    EXPECT_EQ(turn->status, 0);
    EXPECT_EQ(turn->text, "ok\n");

    // An answer given once the instance stops taking work still reaches its
    // peer, and says it was not finished.
    auto late = std::async(std::launch::async, [&] {
        return InstanceChannel::forward(path, {"orvane://hold"}, soon());
    });
    while (true) {
        std::lock_guard lock(m);
        if (held.size() == 2) break;
    }
    channel.stopServing();
    held.back()(InstanceChannel::answer("partly\n", InstanceChannel::kUnfinished));
    const auto partly = late.get();
    ASSERT_TRUE(partly);
    EXPECT_EQ(partly->text, "partly\n");
    EXPECT_EQ(partly->status, InstanceChannel::kUnfinished);
    close(flooder);
}

TEST(InstanceChannel, IdlePeersDelayNoForward) {
    test::TempDirectory dir;
    const auto path = dir / "orvane.sock";
    InstanceChannel channel(path, [](std::vector<std::string> urls, InstanceChannel::Reply reply) {
        reply(InstanceChannel::answer(urls.empty() ? "" : urls.front(), 0));
    });
    // Ten clients connect and send nothing; a real forward is answered at once.
    std::vector<int> idle;
    for (int i = 0; i < 10; ++i) {
        const int fd = connectPeer(path);
        ASSERT_GE(fd, 0);
        idle.push_back(fd);
    }
    EXPECT_EQ(InstanceChannel::forward(path, {"orvane://info"}, soon())->text, "orvane://info");
    // Served one after another, the forward would have waited for each idle
    // peer to be dropped; they are all still connected.
    for (int fd : idle) {
        char c;
        EXPECT_EQ(recv(fd, &c, 1, MSG_DONTWAIT), -1);
        EXPECT_TRUE(errno == EAGAIN || errno == EWOULDBLOCK);
        close(fd);
    }
}

TEST(InstanceChannel, AnAnswerTooLongKeepsItsNewestLinesAndItsStatus) {
    const std::string line(1000, 'a');
    std::string text;
    while (text.size() <= InstanceChannel::kMaxAnswer)
        text += line + "\n";
    text += "the last line\n";
    const auto bytes = InstanceChannel::answer(text, InstanceChannel::kFailed);
    const auto end = bytes.rfind('\0');
    ASSERT_NE(end, std::string::npos);
    EXPECT_LE(end, InstanceChannel::kMaxAnswer);
    EXPECT_EQ(bytes.substr(0, 1000), line) << "cut at a line's start";
    EXPECT_EQ(bytes.substr(end - 14, 14), "the last line\n");
    EXPECT_EQ(bytes.substr(end + 1), "1");
}

TEST(InstanceChannel, TheRuntimeDirectoryCountsOnlyWhenItIsPrivate) {
    test::TempDirectory dir;
    const std::string runtime = dir / "run";
    std::filesystem::create_directories(runtime);
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string restore = saved ? saved : "";
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    chmod(runtime.c_str(), 0700);
    EXPECT_EQ(InstanceChannel::defaultPath(), runtime + "/orvane.sock");
    // Open to others: someone else could put a socket of theirs there.
    chmod(runtime.c_str(), 0755);
    const auto fallback = InstanceChannel::defaultPath();
    EXPECT_NE(fallback, runtime + "/orvane.sock");
    // Without the variable, the session's folder is found when it is the user's.
    unsetenv("XDG_RUNTIME_DIR");
    const std::string session = "/run/user/" + std::to_string(getuid());
    struct stat st {};
    if (lstat(session.c_str(), &st) == 0 && st.st_uid == getuid() && (st.st_mode & 077) == 0) {
        EXPECT_EQ(InstanceChannel::defaultPath(), session + "/orvane.sock");
    } else {
        EXPECT_EQ(InstanceChannel::defaultPath(), fallback);
    }
    if (saved) setenv("XDG_RUNTIME_DIR", restore.c_str(), 1);
}

}  // namespace
}  // namespace orvane::app
