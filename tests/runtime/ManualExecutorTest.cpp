// SPDX-License-Identifier: MIT
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/ManualExecutor.h"
#include "runtime/OnQueue.h"
#include "runtime/Spawn.h"
#include "support/SimFixture.h"

namespace orvane::runtime {
namespace {

using namespace std::chrono_literals;

TEST(ManualExecutor, RunsInTimeOrderThenPostOrder) {
    ManualExecutor ex;
    std::vector<int> order;
    ex.postAfter(20ms, [&] { order.push_back(4); });
    ex.post([&] { order.push_back(1); });
    ex.postAfter(10ms, [&] { order.push_back(3); });
    ex.post([&] {
        order.push_back(2);
        ex.post([&] { order.push_back(5); });  // posted "now" while at t=0
    });
    EXPECT_EQ(ex.runUntilIdle(), 5u);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 5, 3, 4}));
    EXPECT_EQ(ex.now(), TimePoint(20ms));
}

TEST(ManualExecutor, BlockingSleepsOccupyOnlyTheirLane) {
    // Two lanes whose items each block for 50 ms overlap; one lane serialises.
    ManualExecutor ex;
    auto a = ex.makeLane("a");
    auto b = ex.makeLane("b");
    std::vector<std::pair<std::string, TimePoint>> done;
    auto item = [&](std::string name) {
        return [&, name] {
            ex.sleepFor(50ms);
            ex.post([&, name] { done.emplace_back(name, ex.now()); });
        };
    };
    a->async(item("a1"));
    a->async(item("a2"));
    b->async(item("b1"));
    ex.runUntilIdle();
    ASSERT_EQ(done.size(), 3u);
    EXPECT_EQ(done[0], std::make_pair(std::string("a1"), TimePoint(50ms)));
    EXPECT_EQ(done[1], std::make_pair(std::string("b1"), TimePoint(50ms)));
    EXPECT_EQ(done[2], std::make_pair(std::string("a2"), TimePoint(100ms)));
}

}  // namespace
}  // namespace orvane::runtime
