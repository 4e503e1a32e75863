// SPDX-License-Identifier: MIT
#include <stdexcept>
#include <stop_token>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/ManualExecutor.h"
#include "runtime/OnQueue.h"
#include "runtime/Sleep.h"
#include "runtime/Spawn.h"
#include "runtime/Task.h"
#include "support/SimFixture.h"

namespace orvane::runtime {
namespace {

using namespace std::chrono_literals;
using test::runTask;

Task<int> answer(int v) {
    co_return v;
}

Task<int> sumOfAnswers() {
    int a = co_await answer(20);
    int b = co_await answer(22);
    co_return a + b;
}

Task<int> failing(std::string why) {
    co_await answer(0);
    throw std::runtime_error(why);
}

Task<std::string> catches() {
    try {
        co_await failing("inner");
    } catch (const std::runtime_error& e) {
        co_return std::string("caught ") + e.what();
    }
    co_return "not reached";
}

TEST(Task, ValuesAndExceptionsTravelThroughNestedAwaits) {
    ManualExecutor ex;
    EXPECT_EQ(runTask(ex, sumOfAnswers()), 42);
    EXPECT_EQ(runTask(ex, catches()), "caught inner");
    EXPECT_THROW(runTask(ex, failing("outer")), std::runtime_error);
    EXPECT_EQ(ex.liveRoots(), 0u);
}

struct Sentinel {
    int* destroyed;
    ~Sentinel() { ++*destroyed; }
};

TEST(Spawn, ExecutorGoingAwayDestroysSuspendedTasks) {
    int destroyed = 0;
    bool resumed = false;
    {
        ManualExecutor ex;
        auto sleeper = [](ManualExecutor& ex, int* destroyed, bool* resumed) -> Task<void> {
            Sentinel s{destroyed};
            co_await sleepFor(ex, 1h);
            *resumed = true;
        };
        spawn(ex, sleeper(ex, &destroyed, &resumed));
        ex.runFor(1min);
        EXPECT_EQ(ex.liveRoots(), 1u);
        EXPECT_EQ(destroyed, 0);
    }
    EXPECT_EQ(destroyed, 1);
    EXPECT_FALSE(resumed);
}

TEST(Sleep, StopRequestEndsTheSleepEarlyAndInheritsIntoChildren) {
    ManualExecutor ex;
    std::stop_source stop;
    std::vector<std::pair<bool, TimePoint>> wakes;
    auto child = [&]() -> Task<void> {
        bool full = co_await sleepFor(ex, 40ms);
        wakes.emplace_back(full, ex.now());
    };
    auto parent = [&]() -> Task<void> {
        co_await child();                         // the child sees the parent's token
        bool full = co_await sleepFor(ex, 40ms);  // already stopped: wakes at once
        wakes.emplace_back(full, ex.now());
    };
    spawn(ex, parent(), {}, stop.get_token());
    ex.runFor(10ms);
    stop.request_stop();
    ex.runUntilIdle();
    ASSERT_EQ(wakes.size(), 2u);
    EXPECT_EQ(wakes[0], std::make_pair(false, TimePoint(10ms)));
    EXPECT_EQ(wakes[1], std::make_pair(false, TimePoint(10ms)));
    EXPECT_EQ(ex.pending(), 0u) << "the stale timer item ran and did nothing";
}

TEST(OnQueue, ResultsAndExceptionsComeBackOnTheMainExecutor) {
    ManualExecutor ex;
    auto lane = ex.makeLane("test.io");
    auto body = [&]() -> Task<std::string> {
        int v = co_await onQueue(*lane, ex, [] { return 7; });
        try {
            co_await onQueue(*lane, ex, []() -> int { throw std::out_of_range("range"); });
        } catch (const std::out_of_range& e) {
            co_return std::to_string(v) + " " + e.what();
        }
        co_return "no exception";
    };
    EXPECT_EQ(runTask(ex, body()), "7 range");
}

TEST(OnQueue, AwaitingTaskDestroyedWhileItemPendingDropsTheResult) {
    int ran = 0;
    auto lane = std::shared_ptr<SerialQueue>();
    {
        ManualExecutor ex;
        lane = ex.makeLane("test.io");
        auto body = [&]() -> Task<void> {
            co_await onQueue(*lane, ex, [&] { ++ran; });
            ADD_FAILURE() << "resumed after its frame was destroyed";
        };
        auto task = body();
        // Start the task by hand so that we can destroy it while the item is queued.
        spawn(ex, std::move(task));
        ex.runOne();  // starts the root: the item is now on the lane
        EXPECT_EQ(ex.pending(), 1u);
    }
    EXPECT_EQ(ran, 0) << "the executor dropped the item with the frame";
}

}  // namespace
}  // namespace orvane::runtime
