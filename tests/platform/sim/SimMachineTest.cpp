// SPDX-License-Identifier: MIT
#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/sim/SimMachine.h"
#include "runtime/EventLoop.h"

namespace orvane::platform::sim {
namespace {

SimDisplaySpec i2cDisplay(DisplayID id) {
    SimDisplaySpec d;
    d.id = id;
    d.vendor = 1;
    d.model = id;
    d.ddc = SimDDCPath::i2c;
    d.monitor.features[0x10] = {0, 1000};
    return d;
}

// The machine is driven from worker threads in production: hammer it.
TEST(SimMachine, ConcurrentTransactionsStayConsistent) {
    runtime::EventLoop clock;  // a real clock; the requests ask for no reply delay
    SimRig rig;
    rig.displays = {i2cDisplay(1), i2cDisplay(2)};
    SimMachine machine(rig, clock);
    auto& buses = machine.ddcBuses();
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                std::uint8_t msg[] = {0x51, 0x84, 0x03, 0x10, 0x00, static_cast<std::uint8_t>(i),
                                      0};
                for (int k = 0; k < 6; ++k)
                    msg[6] ^= msg[k];
                msg[6] ^= 0x6E;
                auto result = buses.transfer(DDCLink::i2c, 1 + t % 2, msg, {}, 0);
                if (!std::holds_alternative<std::vector<std::uint8_t>>(result)) ++failures;
                if (i % 50 == 0) buses.forget();
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(machine.transcript().size(), 800u);
    EXPECT_EQ(machine.openConnections(), 0);
    buses.forget();
    EXPECT_EQ(machine.outstandingReferences(), 0);
    EXPECT_EQ(machine.monitor(1)->setCount() + machine.monitor(2)->setCount(), 800u);
}

}  // namespace
}  // namespace orvane::platform::sim
