// SPDX-License-Identifier: MIT
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ddc/DDCError.h"
#include "platform/sim/SimMonitor.h"
#include "support/SimFixture.h"

namespace orvane::ddc {
namespace {

using namespace std::chrono_literals;
using platform::sim::SimDDCPath;
using platform::sim::SimFaultKind;
using platform::sim::SimTransaction;
using test::errorOf;
using test::rigOf;
using test::runTask;
using test::simDisplay;
using ::testing::ElementsAre;

class DDCManagerTest : public test::SimFixture {
  protected:
    DDCManagerTest() : SimFixture(rigOf({simDisplay(2, SimDDCPath::i2c)})) {}

    std::vector<SimTransaction> i2cTransactions() {
        std::vector<SimTransaction> out;
        for (auto& t : machine_->transcript()) {
            if (t.kind == SimTransaction::Kind::i2cRequest) out.push_back(t);
        }
        return out;
    }
};

TEST_F(DDCManagerTest, ReadSendsOneFullRecordAndDecodesTheReply) {
    auto value = runTask(executor(), i2c()->readVCP(2, VCPCode::brightness));
    EXPECT_EQ(value, (VCPValue{50, 100}));
    auto ts = i2cTransactions();
    ASSERT_EQ(ts.size(), 1u);
    const auto& r = ts[0].record;
    EXPECT_EQ(r.sendTransactionType, platform::sim::kIOI2CSimpleTransactionType);
    EXPECT_EQ(r.sendAddress, 0x6Eu);
    EXPECT_EQ(r.sendBytes, 5u);
    EXPECT_EQ(r.replyTransactionType, platform::sim::kIOI2CSimpleTransactionType);
    EXPECT_EQ(r.replyAddress, 0x6Fu);
    EXPECT_EQ(r.replyBytes, 11u);
    EXPECT_EQ(r.minReplyDelay, 50'000'000u);
    EXPECT_EQ(r.sendSubAddress, 0);
    EXPECT_EQ(r.replySubAddress, 0);
    EXPECT_EQ(r.commFlags, 0u);
    EXPECT_EQ(r.result, platform::sim::kIOReturnSuccess);
    EXPECT_THAT(ts[0].sent, ElementsAre(0x51, 0x82, 0x01, 0x10, 0xAC));
    EXPECT_THAT(ts[0].received,
                ElementsAre(0x6E, 0x88, 0x02, 0x00, 0x10, 0x00, 0x00, 0x64, 0x00, 0x32, 0xF2));
    EXPECT_EQ(now(), runtime::TimePoint(50ms)) << "a read costs the reply delay";
    EXPECT_TRUE(lines().empty());
}

TEST_F(DDCManagerTest, WriteHasNoReplyTransactionAndChangesTheMonitor) {
    runTask(executor(), i2c()->writeVCP(2, VCPCode::brightness, 75));
    auto ts = i2cTransactions();
    ASSERT_EQ(ts.size(), 1u);
    const auto& r = ts[0].record;
    EXPECT_EQ(r.replyTransactionType, platform::sim::kIOI2CNoTransactionType);
    EXPECT_EQ(r.replyAddress, 0u);
    EXPECT_EQ(r.replyBytes, 0u);
    EXPECT_EQ(r.minReplyDelay, 0u);
    EXPECT_THAT(ts[0].sent, ElementsAre(0x51, 0x84, 0x03, 0x10, 0x00, 0x4B,
                                        0x6E ^ 0x51 ^ 0x84 ^ 0x03 ^ 0x10 ^ 0x4B));
    EXPECT_EQ(monitor(2).feature(0x10)->current, 75);
    EXPECT_EQ(now(), runtime::TimePoint(0ms));
}

TEST_F(DDCManagerTest, UnsupportedCodeCostsThreeAttemptsAndTwoSleeps) {
    addFault(2, SimFaultKind::unsupported, 0x62);
    EXPECT_EQ(
        errorOf(executor(), i2c()->readVCP(2, VCPCode::volume)),
        "DDC operation failed after 3 retries: VCP code Volume (0x62) not supported by display");
    EXPECT_THAT(
        lines(),
        ElementsAre("[DDCManager] readVCP(Volume) attempt 1 failed: VCP code Volume (0x62) not "
                    "supported by display. Retrying...",
                    "[DDCManager] readVCP(Volume) attempt 2 failed: VCP code Volume (0x62) not "
                    "supported by display. Retrying..."));
    auto ts = i2cTransactions();
    ASSERT_EQ(ts.size(), 3u);
    // Each attempt: 50 ms reply delay, then 40 ms of sleep before the next one.
    EXPECT_EQ(ts[0].time, runtime::TimePoint(0ms));
    EXPECT_EQ(ts[1].time, runtime::TimePoint(90ms));
    EXPECT_EQ(ts[2].time, runtime::TimePoint(180ms));
    EXPECT_EQ(now(), runtime::TimePoint(230ms));
}

TEST_F(DDCManagerTest, BadChecksumIsLoggedAndAccepted) {
    addFault(2, SimFaultKind::badChecksum, 0x10, 1);
    EXPECT_EQ(runTask(executor(), i2c()->readVCP(2, VCPCode::brightness)), (VCPValue{50, 100}));
    EXPECT_THAT(lines(),
                ElementsAre("[DDCManager] Checksum mismatch for Brightness: expected 0xf2, got "
                            "0x0. Accepting anyway."));
}

struct FaultCase {
    const char* name;
    SimFaultKind kind;
    std::uint32_t status;
    int bytes;
    const char* lastError;
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

class DDCManagerFault : public DDCManagerTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(DDCManagerFault, EndsInMaxRetriesWithTheLastErrorAndClosesEverything) {
    const auto& c = GetParam();
    addFault(2, c.kind, std::nullopt, -1, static_cast<platform::sim::IOReturn>(c.status), c.bytes);
    EXPECT_EQ(errorOf(executor(), i2c()->readVCP(2, VCPCode::brightness)),
              std::string("DDC operation failed after 3 retries: ") + c.lastError);
    EXPECT_EQ(lines().size(), 2u);
    EXPECT_EQ(machine_->openConnections(), 0);
    // The framebuffer is cached; the interface references are gone.
    EXPECT_EQ(machine_->outstandingReferences(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DDCManagerFault,
    ::testing::Values(
        FaultCase{"openStatus", SimFaultKind::openStatus, 0xE00002C2u, 0,
                  "Failed to open I2C interface (0xe00002c2)"},
        FaultCase{"nullConnection", SimFaultKind::nullConnection, 0, 0,
                  "Failed to open I2C interface (0x0)"},
        FaultCase{"sendStatus", SimFaultKind::sendStatus, 0xE00002BCu, 0,
                  "I2C send request failed (0xe00002bc)"},
        FaultCase{"resultStatus", SimFaultKind::resultStatus, 0xE00002D8u, 0,
                  "I2C request returned error (0xe00002d8)"},
        FaultCase{"silent", SimFaultKind::silent, 0, 0, "I2C request returned error (0xe00002ed)"},
        FaultCase{"wrongOpcode", SimFaultKind::wrongOpcode, 0, 0,
                  "DDC read response has invalid format"},
        FaultCase{"wrongEcho", SimFaultKind::wrongEcho, 0, 0,
                  "DDC read response has invalid format"},
        FaultCase{"leadingJunk", SimFaultKind::leadingJunk, 0, 1,
                  "DDC read response has invalid format"},
        FaultCase{"allZero", SimFaultKind::allZero, 0, 0, "DDC read response has invalid format"},
        // Eight bytes carry the maximum but not the current value: no zero fill.
        FaultCase{"shortReply", SimFaultKind::shortReply, 0, 8,
                  "DDC reply too short: expected 11 bytes, got 8"},
        FaultCase{"unsupported", SimFaultKind::unsupported, 0, 0,
                  "VCP code Brightness (0x10) not supported by display"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DDCManagerTest, TransportFailuresBeforeTheBus) {
    useRig(
        rigOf({simDisplay(2, SimDDCPath::none), simDisplay(3, SimDDCPath::avService, 0x1e6d, 1)}));
    EXPECT_EQ(errorOf(executor(), i2c()->readVCP(2, VCPCode::brightness)),
              "DDC operation failed after 3 retries: No I2C interface found on framebuffer");
    EXPECT_EQ(errorOf(executor(), i2c()->readVCP(3, VCPCode::brightness)),
              "DDC operation failed after 3 retries: No IOFramebuffer found for display 3");
    EXPECT_EQ(i2c()->ioQueue(2)->label(), "test.orvane.ddc.io.2");
}

class FramebufferLookup : public test::SimFixture {
  protected:
    FramebufferLookup() : SimFixture(rigOf({})) {}
};

TEST_F(FramebufferLookup, IdenticalMonitorsWithoutSerialsGetOneFramebufferEach) {
    machine_->addDisplay(simDisplay(7, SimDDCPath::i2c, 0x1234, 0x42));
    machine_->addDisplay(simDisplay(8, SimDDCPath::i2c, 0x1234, 0x42));
    // The second twin asks first, and after a cache clear: the pairing holds.
    for (int round = 0; round < 2; ++round) {
        auto b = machine_->ddcBuses().framebufferService(8);
        auto a = machine_->ddcBuses().framebufferService(7);
        ASSERT_TRUE(a && b);
        EXPECT_NE(a.get(), b.get());
        runTask(executor(), i2c()->writeVCP(8, VCPCode::brightness, 11 + round));
        runTask(executor(), i2c()->writeVCP(7, VCPCode::brightness, 21 + round));
        EXPECT_EQ(monitor(8).feature(0x10)->current, 11 + round);
        EXPECT_EQ(monitor(7).feature(0x10)->current, 21 + round);
        i2c()->clearCache();
    }
}

}  // namespace
}  // namespace orvane::ddc
