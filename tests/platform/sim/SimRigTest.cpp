// SPDX-License-Identifier: MIT
#include <stdexcept>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/sim/SimRig.h"

namespace orvane::platform::sim {
namespace {

using ::testing::HasSubstr;

std::string parseError(const std::string& json) {
    try {
        SimRig::parse(json);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "parsed";
}

TEST(SimRig, ParsesMonitorsFaultsAndRegistryOverrides) {
    SimRig rig = SimRig::parse(R"({
      "name": "desk",
      "avService": {"framework": true, "functions": ["IOAVServiceReadI2C"]},
      "failingEnumerations": {"DCPAVServiceProxy": "0xe00002bc"},
      "displays": [{
        "id": 7, "vendor": 1, "model": 2, "serial": 3, "ddc": "avService",
        "registry": {"serial": null, "product": 9},
        "monitor": {"vcp": {"brightness": [1, 2], "0x60": [3, 4]},
                    "faults": [{"kind": "sendStatus", "code": "volume", "times": 2, "status": "0xe00002c2"}]}
      }]})");
    EXPECT_EQ(rig.name, "desk");
    EXPECT_EQ(rig.avFunctions, std::vector<std::string>{"IOAVServiceReadI2C"});
    EXPECT_EQ(rig.failingEnumerations.at("DCPAVServiceProxy"), static_cast<IOReturn>(0xE00002BCu));
    const auto& d = rig.displays.at(0);
    EXPECT_EQ(d.registrySerial.mode, SimRegistryNumber::Mode::missing);
    EXPECT_EQ(d.registryProduct.mode, SimRegistryNumber::Mode::value);
    EXPECT_EQ(d.registryProduct.value, 9u);
    EXPECT_EQ(d.registryVendor.mode, SimRegistryNumber::Mode::same);
    EXPECT_EQ(d.monitor.features.at(0x60).max, 4);
    ASSERT_EQ(d.monitor.faults.size(), 1u);
    EXPECT_EQ(d.monitor.faults[0].code, 0x62);
    EXPECT_EQ(d.monitor.faults[0].times, 2);
    EXPECT_EQ(d.monitor.faults[0].status, static_cast<IOReturn>(0xE00002C2u));
}

TEST(SimRig, RejectsWhatItCannotModel) {
    const std::pair<std::string, std::string> rejected[] = {
        {"{", "not valid JSON"},
        {R"({"displays": [{"id": 1, "gamma": 2.2e769}]})", "not valid JSON"},
        {"[]", "top level"},
        {R"({"displays": [{"name": "x"}]})", "displays[0] needs an id"},
        {R"({"displays": [{"id": 1}, {"id": 1}]})", "used twice"},
        {R"({"displays": [{"id": 1, "ddc": "usb"}]})", "ddc must be"},
        {R"({"displays": [{"id": 1, "vendor": "zz"}]})", "vendor must be a number"},
        {R"({"displays": [{"id": -1}]})", "out of range"},
        {R"({"displays": [{"id": 1, "monitor": {"vcp": {"gamma": [1, 2]}}}]})",
         "unknown VCP code gamma"},
        {R"({"displays": [{"id": 1, "monitor": {"vcp": {"volume": [1, 70000]}}}]})", "16 bits"},
        {R"({"displays": [{"id": 1, "monitor": {"faults": [{"kind": "melt"}]}}]})",
         "unknown fault kind"},
        {R"({"displays": [{"id": 1, "builtIn": "yes"}]})", "rig:"},
        {R"({"events": [{"afterMs": 5}]})", "exactly one of"},
        {R"({"events": [{"mediaKey": 1, "disconnect": 2}]})", "exactly one of"},
        {R"({"events": [{"hotKey": {"modifiers": 1}}]})", "needs a keyCode"},
        {R"({"events": [{"disableTaps": "slow"}]})", "timeout"},
        {R"({"keyboardLayout": "dvorak"})", "keyboardLayout"},
        {R"({"displays": [{"id": 1, "shownGamma": {"red": [0.5]}}]})",
         "shownGamma.red must hold 256 samples"},
    };
    for (const auto& [rig, error] : rejected)
        EXPECT_THAT(parseError(rig), HasSubstr(error)) << rig;
    EXPECT_THAT([] { SimRig::load("/nonexistent/rig.json"); },
                ::testing::ThrowsMessage<std::runtime_error>(HasSubstr("cannot read")));
}

}  // namespace
}  // namespace orvane::platform::sim
