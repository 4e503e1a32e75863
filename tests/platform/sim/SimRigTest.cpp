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

TEST(SimRig, DefaultRigHoldsOneOfEachKindOfDisplay) {
    SimRig rig = SimRig::defaultRig();
    ASSERT_EQ(rig.displays.size(), 4u);
    int builtIn = 0, i2c = 0, av = 0, silent = 0;
    for (const auto& d : rig.displays) {
        builtIn += d.builtIn;
        i2c += d.ddc == SimDDCPath::i2c && d.monitor.answers;
        av += d.ddc == SimDDCPath::avService;
        silent += !d.monitor.answers;
    }
    EXPECT_EQ(builtIn, 1);
    EXPECT_EQ(i2c, 1);
    EXPECT_EQ(av, 1);
    EXPECT_EQ(silent, 1);
    EXPECT_EQ(rig.displays[1].vendor, 0x10acu) << "hex strings are numbers";
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

TEST(SimRig, ParsesKeyboardSideAndKeyEvents) {
    const auto rig = SimRig::parse(R"({
        "accessibility": false, "keyboardLayout": "noLayoutData",
        "events": [{"afterMs": 10, "mediaKey": "0x20000"},
                   {"afterMs": 20, "hotKey": {"keyCode": 126, "modifiers": 6144}},
                   {"afterMs": 30, "disableTaps": "userInput"}]})");
    EXPECT_FALSE(rig.accessibilityTrusted);
    EXPECT_EQ(rig.keyboardLayout, SimKeyboardLayoutKind::noLayoutData);
    ASSERT_EQ(rig.events.size(), 3u);
    EXPECT_EQ(rig.events[0].systemDefined, 0x20000);
    EXPECT_EQ(rig.events[1].hotKey, (std::pair<std::uint32_t, std::uint32_t>{126, 6144}));
    EXPECT_EQ(rig.events[2].disableTaps, false);
    EXPECT_EQ(rig.events[2].afterMs, 30);
    EXPECT_TRUE(SimRig::parse("{}").accessibilityTrusted);
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
    std::string ramp = "[";  // 256 samples, the last beyond 1
    for (int i = 0; i < 255; ++i)
        ramp += "0,";
    ramp += "2]";
    EXPECT_THAT(parseError(R"({"displays": [{"id": 1, "shownGamma": {"red": )" + ramp +
                           R"(, "green": [], "blue": []}}]})"),
                HasSubstr("shownGamma.red samples must be numbers within 0...1"));
    // Sizes and times that would wrap, overflow the clock or exhaust memory.
    const auto faultError = [](const std::string& fault) {
        return parseError(R"({"displays": [{"id": 1, "monitor": {"faults": [)" + fault + "]}}]}");
    };
    const std::pair<std::string, std::string> faults[] = {
        {R"({"kind": "silent", "times": 2147483648})", "faults[0].times is out of range"},
        {R"({"kind": "leadingJunk", "bytes": 2147483648})", "faults[0].bytes is out of range"},
        {R"({"kind": "leadingJunk", "bytes": 4097})", "bytes is out of range"},
        {R"({"kind": "sendStatus", "writesOnly": 1})", "writesOnly must be"},
    };
    for (const auto& [fault, error] : faults)
        EXPECT_THAT(faultError(fault), HasSubstr(error)) << fault;
    for (const char* ms : {"9200000000000000000", "-9200000000000000000", "18446744073709551615"}) {
        EXPECT_THAT(
            parseError(std::string(R"({"events": [{"afterMs": )") + ms + R"(, "disconnect": 1}]})"),
            HasSubstr("afterMs is out of range"))
            << ms;
    }
    EXPECT_THAT([] { SimRig::load("/nonexistent/rig.json"); },
                ::testing::ThrowsMessage<std::runtime_error>(HasSubstr("cannot read")));
}

}  // namespace
}  // namespace orvane::platform::sim
