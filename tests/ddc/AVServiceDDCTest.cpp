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
using platform::sim::SimRegistryNumber;
using platform::sim::SimTransaction;
using test::errorOf;
using test::rigOf;
using test::runTask;
using test::simDisplay;
using ::testing::ElementsAre;

SimDisplaySpec hdmi(DisplayID id, std::uint32_t vendor, std::uint32_t model) {
    return simDisplay(id, SimDDCPath::avService, vendor, model);
}

class AVServiceDDCTest : public test::SimFixture {
  protected:
    AVServiceDDCTest() : SimFixture(rigOf({hdmi(3, 0x1e6d, 0x7750)})) {}
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

TEST_F(AVServiceDDCTest, SeveralProxiesWithoutAMatchFallBackToTheFirst) {
    // Their children describe monitors the window server lists as none of its displays.
    auto a = hdmi(3, 0x1111, 1), b = hdmi(4, 0x2222, 2);
    a.registryVendor = {SimRegistryNumber::Mode::value, 0x7777};
    b.registryVendor = {SimRegistryNumber::Mode::value, 0x8888};
    useRig(rigOf({a, b}));
    machine_->addDisplay(simDisplay(9, SimDDCPath::none, 0x3333, 3));
    runTask(executor(), av()->writeVCP(9, VCPCode::brightness, 33));
    EXPECT_EQ(monitor(3).feature(0x10)->current, 33);
    EXPECT_THAT(lines(),
                ElementsAre(::testing::_,
                            "[AVServiceDDC] Could not match IOAVService to display 9 - using first "
                            "available (multi-HDMI setups may target wrong display)"));
}

}  // namespace
}  // namespace orvane::ddc
