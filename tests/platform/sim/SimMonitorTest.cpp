// SPDX-License-Identifier: MIT
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/sim/SimMonitor.h"

namespace orvane::platform::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using ::testing::ElementsAre;

Bytes withChecksum(Bytes m) {
    std::uint8_t x = 0x6E;
    for (auto b : m)
        x ^= b;
    m.push_back(x);
    return m;
}

TEST(SimMonitor, IgnoresMalformedRequestsLikeHardware) {
    SimMonitor m;
    m.setFeature(0x10, {5, 100});
    m.receive(Bytes{0x51, 0x82, 0x01, 0x10, 0x00});     // bad checksum
    m.receive(withChecksum({0x50, 0x82, 0x01, 0x10}));  // wrong source
    m.receive(withChecksum({0x51, 0x83, 0x01, 0x10}));  // length disagrees
    m.receive(withChecksum({0x51, 0x84, 0x03, 0x10, 0x00, 0x09}));
    EXPECT_EQ(m.malformedCount(), 3u);
    EXPECT_EQ(m.feature(0x10)->current, 9);
    // Nothing pending: the null message.
    EXPECT_THAT(m.reply(4), ElementsAre(0x6E, 0x80, 0xBE, 0x00));
}

TEST(SimMonitor, ReplyFaultsShapeTheBytes) {
    SimMonitor m;
    m.setFeature(0x10, {50, 100});
    auto ask = [&] { m.receive(withChecksum({0x51, 0x82, 0x01, 0x10})); };
    auto fault = [&](SimFaultKind k, int bytes = 1) {
        SimFault f;
        f.kind = k;
        f.times = 1;
        f.bytes = bytes;
        m.addFault(f);
    };
    fault(SimFaultKind::leadingJunk, 2);
    ask();
    EXPECT_THAT(m.reply(12),
                ElementsAre(0, 0, 0x6E, 0x88, 0x02, 0x00, 0x10, 0x00, 0x00, 0x64, 0x00, 0x32));
    fault(SimFaultKind::shortReply, 4);
    ask();
    EXPECT_THAT(m.reply(11), ElementsAre(0x6E, 0x88, 0x02, 0x00));
    fault(SimFaultKind::wrongEcho);
    ask();
    EXPECT_EQ(m.reply(11)[4], 0x11);
    fault(SimFaultKind::wrongOpcode);
    ask();
    EXPECT_NE(m.reply(11)[2], 0x02);
    fault(SimFaultKind::badChecksum);
    ask();
    EXPECT_EQ(m.reply(11)[10], 0x00);
    ask();
    EXPECT_EQ(m.reply(11)[10], 0xF2) << "healed after one reply";
}

}  // namespace
}  // namespace orvane::platform::sim
