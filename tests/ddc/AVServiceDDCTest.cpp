// SPDX-License-Identifier: MIT
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/sim/SimMonitor.h"
#include "support/SimFixture.h"

namespace orvane::ddc {
namespace {

using namespace std::chrono_literals;
using platform::sim::SimDDCPath;
using platform::sim::SimDisplaySpec;
using platform::sim::SimFaultKind;
using platform::sim::SimRegistryNumber;
using platform::sim::SimTransaction;
using test::errorOf;
using test::rigOf;
using test::runTask;
using test::simDisplay;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

SimDisplaySpec hdmi(DisplayID id, std::uint32_t vendor, std::uint32_t model) {
    return simDisplay(id, SimDDCPath::avService, vendor, model);
}

class AVServiceDDCTest : public test::SimFixture {
  protected:
    AVServiceDDCTest() : SimFixture(rigOf({hdmi(3, 0x1e6d, 0x7750)})) {}

    /// Whether the machine's service serves the display, once the transport is up.
    bool served(DisplayID display) {
        av();
        return static_cast<bool>(machine_->ddcBuses().avService(display));
    }
};

TEST_F(AVServiceDDCTest, StartUpLineSaysWhetherTheFunctionsLoaded) {
    av();
    EXPECT_THAT(lines(),
                ElementsAre("[AVServiceDDC] IOAVService functions loaded - Apple Silicon HDMI "
                            "DDC available"));
    for (bool framework : {false, true}) {
        auto rig = rigOf({hdmi(3, 0x1e6d, 0x7750)});
        rig.avFramework = framework;
        if (framework) rig.avFunctions = {"IOAVServiceCreateWithService", "IOAVServiceReadI2C"};
        useRig(rig);
        log_.clear();
        EXPECT_FALSE(av()->functionsAvailable());
        EXPECT_THAT(lines(),
                    ElementsAre("[AVServiceDDC] IOAVService functions not found - Apple Silicon "
                                "HDMI DDC not available"));
        EXPECT_EQ(
            errorOf(executor(), av()->readVCP(3, VCPCode::brightness)),
            "DDC operation failed after 3 retries: IOAVService not available for this display");
    }
}

TEST_F(AVServiceDDCTest, ReadWritesTheUnframedRequestPausesThenReadsTwelveBytes) {
    EXPECT_EQ(runTask(executor(), av()->readVCP(3, VCPCode::brightness)), (VCPValue{50, 100}));
    auto ts = machine_->transcript();
    ASSERT_EQ(ts.size(), 2u);
    EXPECT_EQ(ts[0].kind, SimTransaction::Kind::avWrite);
    EXPECT_EQ(ts[0].chipAddress, 0x37u);
    EXPECT_EQ(ts[0].dataAddress, 0x51u);
    EXPECT_THAT(ts[0].sent, ElementsAre(0x82, 0x01, 0x10, 0xAC));
    EXPECT_EQ(ts[0].time, runtime::TimePoint(0ms));
    EXPECT_EQ(ts[1].kind, SimTransaction::Kind::avRead);
    EXPECT_EQ(ts[1].received.size(), 12u);
    EXPECT_EQ(ts[1].time, runtime::TimePoint(50ms));
    EXPECT_EQ(av()->ioQueue(3)->label(), "test.orvane.avservice.io.3");
}

TEST_F(AVServiceDDCTest, WriteSendsSixBytesWithoutPause) {
    runTask(executor(), av()->writeVCP(3, VCPCode::contrast, 50));
    auto ts = machine_->transcript();
    ASSERT_EQ(ts.size(), 1u);
    EXPECT_THAT(ts[0].sent, ElementsAre(0x84, 0x03, 0x12, 0x00, 0x32, 0x98));
    EXPECT_EQ(monitor(3).feature(0x12)->current, 50);
    EXPECT_EQ(now(), runtime::TimePoint(0ms));
}

TEST_F(AVServiceDDCTest, RetriesLogWithTheServiceLabels) {
    addFault(3, SimFaultKind::allZero, 0x10);
    EXPECT_EQ(errorOf(executor(), av()->readVCP(3, VCPCode::brightness)),
              "DDC operation failed after 3 retries: DDC read response has invalid format");
    EXPECT_THAT(lines(),
                ElementsAre(::testing::_,
                            "[AVServiceDDC] AVService.readVCP(Brightness) attempt 1 failed: DDC "
                            "read response has invalid format. Retrying...",
                            "[AVServiceDDC] AVService.readVCP(Brightness) attempt 2 failed: DDC "
                            "read response has invalid format. Retrying..."));
    // Each attempt pauses 50 ms; two 40 ms sleeps between them.
    EXPECT_EQ(now(), runtime::TimePoint(230ms));
    log_.clear();
    addFault(3, SimFaultKind::sendStatus, 0x12, 1,
             static_cast<platform::sim::IOReturn>(0xE00002C2u));
    runTask(executor(), av()->writeVCP(3, VCPCode::contrast, 9));
    EXPECT_THAT(lines(),
                ElementsAre("[AVServiceDDC] AVService.writeVCP(Contrast=9) attempt 1 failed: I2C "
                            "send request failed (0xe00002c2). Retrying..."));
}

TEST_F(AVServiceDDCTest, ALoneProxyServesOnlyTheDisplayItMatches) {
    // An AirPlay TV the window server lists beside the HDMI monitor.
    machine_->addDisplay(test::airPlayDisplay(42, "Living Room TV"));
    EXPECT_FALSE(served(42));
    EXPECT_TRUE(served(3));
    EXPECT_EQ(lines().size(), 1u) << "only the start-up line";
    runTask(executor(), av()->writeVCP(3, VCPCode::brightness, 33));
    EXPECT_EQ(monitor(3).feature(0x10)->current, 33);
    EXPECT_NE(errorOf(executor(), av()->writeVCP(42, VCPCode::brightness, 10)), "");
    EXPECT_EQ(monitor(3).feature(0x10)->current, 33);
}

TEST_F(AVServiceDDCTest, TwinsBehindTwoProxiesGetOneEachAndKeepIt) {
    useRig(rigOf({hdmi(3, 0x1e6d, 0x7750), hdmi(4, 0x1e6d, 0x7750)}));
    // Detection asks in the scan's order; later transactions come in any order.
    ASSERT_TRUE(served(3) && served(4));
    for (std::uint16_t v : {44, 45}) {
        runTask(executor(), av()->writeVCP(4, VCPCode::brightness, v));
        runTask(executor(), av()->writeVCP(3, VCPCode::brightness, v - 11));
        EXPECT_EQ(monitor(4).feature(0x10)->current, v);
        EXPECT_EQ(monitor(3).feature(0x10)->current, v - 11);
    }
}

TEST_F(AVServiceDDCTest, SeveralProxiesAreMatchedByVendorAndProduct) {
    useRig(rigOf({hdmi(3, 0x1e6d, 0x7750), hdmi(4, 0x10ac, 0x4242)}));
    // The window server knows display 9 as the second monitor.
    auto known = simDisplay(9, SimDDCPath::none, 0x10ac, 0x4242);
    machine_->addDisplay(known);
    runTask(executor(), av()->writeVCP(9, VCPCode::brightness, 33));
    EXPECT_EQ(monitor(4).feature(0x10)->current, 33);
    EXPECT_EQ(monitor(3).feature(0x10)->current, 50);
    EXPECT_EQ(lines().size(), 1u);
}

TEST_F(AVServiceDDCTest, SeveralProxiesWithoutAMatchFallBackToTheFirst) {
    // Their children describe monitors the window server lists as none of its displays.
    auto a = hdmi(3, 0x1111, 1), b = hdmi(4, 0x2222, 2);
    a.registryVendor = {platform::sim::SimRegistryNumber::Mode::value, 0x7777};
    b.registryVendor = {platform::sim::SimRegistryNumber::Mode::value, 0x8888};
    useRig(rigOf({a, b}));
    machine_->addDisplay(simDisplay(9, SimDDCPath::none, 0x3333, 3));
    runTask(executor(), av()->writeVCP(9, VCPCode::brightness, 33));
    EXPECT_EQ(monitor(3).feature(0x10)->current, 33);
    EXPECT_THAT(lines(),
                ElementsAre(::testing::_,
                            "[AVServiceDDC] Could not match IOAVService to display 9 - using first "
                            "available (multi-HDMI setups may target wrong display)"));
}

TEST_F(AVServiceDDCTest, ADisplayWithoutABusNeverTakesAnotherDisplaysProxy) {
    useRig(rigOf({hdmi(3, 0x1111, 1), hdmi(4, 0x2222, 2)}));
    // A DisplayPort monitor without DDC, asking before the HDMI ones do.
    machine_->addDisplay(simDisplay(9, SimDDCPath::none, 0x3333, 3));
    EXPECT_FALSE(served(9));
    EXPECT_NE(errorOf(executor(), av()->writeVCP(9, VCPCode::brightness, 33)), "");
    EXPECT_EQ(monitor(3).feature(0x10)->current, 50);
    EXPECT_EQ(monitor(4).feature(0x10)->current, 50);
    EXPECT_THAT(lines(), Not(Contains(HasSubstr("using first available"))));
    runTask(executor(), av()->writeVCP(4, VCPCode::brightness, 44));
    EXPECT_EQ(monitor(4).feature(0x10)->current, 44);
}

TEST_F(AVServiceDDCTest, AReplyCutShortIsNeverReadAsZero) {
    // Six bytes arrive; the rest of the 12-byte buffer is its zero fill.
    addFault(3, SimFaultKind::shortReply, 0x10, 1, platform::sim::kIOReturnError, 6);
    const auto value = runTask(executor(), av()->readVCP(3, VCPCode::brightness));
    EXPECT_EQ(value.current, 50) << "the second attempt's answer";
    EXPECT_THAT(lines(),
                Contains(HasSubstr("attempt 1 failed: DDC read response has invalid format")));
}

TEST_F(AVServiceDDCTest, FailedProxyEnumerationFallsBackToFramebufferClasses) {
    for (const char* cls : {"AppleCLCD2", "IOMobileFramebufferShim"}) {
        auto d = hdmi(3, 0x1e6d, 0x7750);
        d.avServiceClass = cls;
        auto rig = rigOf({d});
        rig.failingEnumerations["DCPAVServiceProxy"] = platform::sim::kIOReturnError;
        useRig(rig);
        EXPECT_TRUE(served(3)) << cls;
    }
    auto rig = rigOf({hdmi(3, 0x1e6d, 0x7750)});
    rig.failingEnumerations["DCPAVServiceProxy"] = platform::sim::kIOReturnError;
    useRig(rig);
    EXPECT_FALSE(served(3));
    useRig(rigOf({}));
    EXPECT_FALSE(served(3)) << "no proxy at all";
}

TEST_F(AVServiceDDCTest, AttemptsAfterTheTransportIsGoneFail) {
    auto transport = AVServiceDDC::create(runtime_, machine_->platform(), log_, "test.orvane");
    auto task = transport->readVCP(3, VCPCode::brightness);
    transport.reset();
    EXPECT_EQ(errorOf(executor(), std::move(task)),
              "DDC operation failed after 3 retries: IOAVService not available for this display");
}

}  // namespace
}  // namespace orvane::ddc
