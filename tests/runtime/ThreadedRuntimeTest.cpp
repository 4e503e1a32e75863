// SPDX-License-Identifier: MIT
#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/EventLoop.h"
#include "runtime/OnQueue.h"
#include "runtime/Runtime.h"
#include "runtime/Spawn.h"
#include "runtime/ThreadSerialQueue.h"

namespace orvane::runtime {
namespace {

// Real threads, but no timing: only order and which thread runs what.
TEST(ThreadedRuntime, QueueWorkRunsOffMainAndResumesOnMain) {
    ThreadedRuntime rt;
    auto queue = rt.makeSerialQueue("test.orvane.ddc.io");
    const auto mainThread = std::this_thread::get_id();
    std::vector<int> order;
    bool offMain = true, onMain = true;
    auto body = [&]() -> Task<void> {
        for (int i = 0; i < 50; ++i) {
            int v = co_await onQueue(*queue, rt.main(), [&, i] {
                offMain = offMain && std::this_thread::get_id() != mainThread;
                return i;
            });
            onMain = onMain && std::this_thread::get_id() == mainThread;
            order.push_back(v);
        }
    };
    spawn(rt.main(), body(), [&](std::exception_ptr) { rt.loop().stop(); });
    rt.loop().run();
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(order[i], i);
    EXPECT_TRUE(offMain);
    EXPECT_TRUE(onMain);
}

TEST(ThreadSerialQueue, RunsItemsOneAtATimeInOrderAndDrainsOnDestruction) {
    std::vector<int> order;
    std::atomic<int> inFlight{0};
    bool overlapped = false;
    {
        ThreadSerialQueue q("test.serial");
        for (int i = 0; i < 200; ++i) {
            q.async([&, i] {
                if (inFlight.fetch_add(1) != 0) overlapped = true;
                order.push_back(i);
                inFlight.fetch_sub(1);
            });
        }
    }
    ASSERT_EQ(order.size(), 200u);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(order[i], i);
    EXPECT_FALSE(overlapped);
}

}  // namespace
}  // namespace orvane::runtime
