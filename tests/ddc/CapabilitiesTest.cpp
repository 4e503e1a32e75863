// SPDX-License-Identifier: MIT
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ddc/Capabilities.h"
#include "ddc/DDCError.h"
#include "ddc/DDCMessage.h"
#include "ddc/MCCSNames.h"
#include "platform/sim/SimMonitor.h"
#include "support/SimFixture.h"

namespace orvane::ddc {
namespace {

using namespace std::chrono_literals;
using namespace std::string_view_literals;
using platform::sim::SimDDCPath;
using platform::sim::SimFaultKind;
using platform::sim::SimTransaction;
using test::rigOf;
using test::runTask;
using test::simDisplay;
using ::testing::ElementsAre;

// Strings in the forms monitors answer with: the standard's own layout with
// spaces and a version, one without any spaces, one lower case without the
// outer group, and ones cut off or without a feature list.
constexpr std::string_view kSpaced =
    "(prot(monitor)type(LCD)model(U2720Q)cmds(01 02 03 07 0C E3 F3)vcp(02 04 05 08 10 12 "
    "14(05 08 0B 0C) 16 18 1A 52 60( 0F 11 12) AC AE B2 B6 C6 C8 C9 D6(01 04 05) DC(00 02 03 "
    "05) DF E0 E1 E2(00 1D 02 04) F0(00 0C) F1 F2 FD)mswhql(1)asset_eep(40)mccs_ver(2.1))";
constexpr std::string_view kPacked =
    "(prot(monitor)type(LCD)model(S24)cmds(01 02 03 07 0C E3 F3)vcp(020405080B0C101214(01 05 "
    "06 08 0B)16181A5260(01 03 0F)62)mccs_ver(2.0))";

struct ParseCase {
    const char* name;
    std::string_view text;
    std::vector<CapabilityFeature> some;  // features that must be there, as listed
    std::size_t count;
    bool complete;
    std::string model;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << c.name;
}

class CapabilitiesParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(CapabilitiesParse, ReadsTheFeaturesAndTheirValues) {
    const auto& c = GetParam();
    auto caps = parseCapabilities(c.text);
    ASSERT_TRUE(caps);
    EXPECT_EQ(caps->features.size(), c.count);
    for (const auto& want : c.some) {
        const auto* got = caps->feature(want.code);
        ASSERT_TRUE(got) << "0x" << std::hex << int(want.code);
        EXPECT_EQ(got->values, want.values) << "0x" << std::hex << int(want.code);
    }
    EXPECT_EQ(caps->complete, c.complete);
    EXPECT_EQ(caps->model, c.model);
    EXPECT_EQ(caps->raw, std::string(c.text.substr(0, c.text.find('\0'))));
}

INSTANTIATE_TEST_SUITE_P(
    Strings, CapabilitiesParse,
    ::testing::Values(ParseCase{"spaced",
                                kSpaced,
                                {{0x14, {0x05, 0x08, 0x0B, 0x0C}},
                                 {0x60, {0x0F, 0x11, 0x12}},
                                 {0xD6, {0x01, 0x04, 0x05}},
                                 {0xFD, {}}},
                                29,
                                true,
                                "U2720Q"},
                      ParseCase{"packed",
                                kPacked,
                                {{0x14, {0x01, 0x05, 0x06, 0x08, 0x0B}}, {0x62, {}}},
                                15,
                                true,
                                "S24"},
                      ParseCase{"lowerCaseWithoutOuterGroup",
                                "prot(monitor) type(lcd) vcp(10 12 60(0f 11 12)) mccs_ver(2.2)",
                                {{0x60, {0x0F, 0x11, 0x12}}},
                                3,
                                true,
                                ""},
                      ParseCase{"cutOffInsideAValueList",
                                "(prot(monitor)vcp(10 12 14(05 08",
                                {{0x14, {0x05, 0x08}}},
                                3,
                                false,
                                ""},
                      ParseCase{"repeatsAndStrayCharacters",
                                "vcp(10 10 zz 14(01) 14(02) ;87)\0\0\0"sv,
                                {{0x10, {}}, {0x14, {0x01}}, {0x87, {}}},
                                3,
                                true,
                                ""},
                      ParseCase{"nestedValues",
                                "vcp(E2(00 1D(01 02)) 10)",
                                {{0xE2, {0x00, 0x1D, 0x01, 0x02}}},
                                2,
                                true,
                                ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CapabilitiesMessage, RequestAndReplyFrames) {
    EXPECT_THAT(DDCMessage::encodeCapabilitiesRequest(0x0120),
                ElementsAre(0x51, 0x83, 0xF3, 0x01, 0x20, 0x6E ^ 0x51 ^ 0x83 ^ 0xF3 ^ 0x01 ^ 0x20));
    std::vector<std::uint8_t> reply{0x6E, 0x86, 0xE3, 0x00, 0x20, 'v', 'c', 'p'};
    std::uint8_t sum = 0x50;
    for (auto b : reply)
        sum ^= b;
    reply.push_back(sum);
    reply.resize(DDCMessage::kCapabilitiesReplyLength, 0xFF);  // what the bus reads past the frame
    EXPECT_THAT(DDCMessage::decodeCapabilitiesReply(reply, 0x20), ElementsAre('v', 'c', 'p'));

    const auto kindOf = [](std::vector<std::uint8_t> bytes, std::uint16_t offset) {
        try {
            DDCMessage::decodeCapabilitiesReply(bytes, offset);
        } catch (const DDCError& e) {
            return e.kind();
        }
        return DDCError::Kind::displayNotFound;  // stands for "decoded"
    };
    EXPECT_EQ(kindOf(reply, 0x40), DDCError::Kind::readResponseInvalid) << "another offset";
    auto corrupt = reply;
    corrupt[6] ^= 1;
    EXPECT_EQ(kindOf(corrupt, 0x20), DDCError::Kind::readChecksumMismatch);
    EXPECT_EQ(kindOf({0x6E, 0x80, 0xBE}, 0), DDCError::Kind::readResponseInvalid) << "not ready";
    EXPECT_EQ(kindOf({0x6E, 0xA4, 0xE3, 0, 0}, 0), DDCError::Kind::readResponseInvalid)
        << "longer than a frame";
    EXPECT_EQ(kindOf({0x6E, 0x86, 0xE3, 0, 0}, 0), DDCError::Kind::readResponseTooShort);
}

class CapabilitiesRead : public test::SimFixture {
  protected:
    CapabilitiesRead() : SimFixture(rigOf({withCapabilities(simDisplay(2, SimDDCPath::i2c))})) {}

    static platform::sim::SimDisplaySpec withCapabilities(platform::sim::SimDisplaySpec d) {
        d.monitor.capabilities = std::string(kSpaced);
        return d;
    }
    std::vector<SimTransaction> requests() {
        std::vector<SimTransaction> out;
        for (auto& t : machine_->transcript()) {
            if (t.sent.size() >= 3 && t.sent[2] == 0xF3) out.push_back(t);
        }
        return out;
    }
};

TEST_F(CapabilitiesRead, FragmentByFragmentPacedAndReadOnce) {
    auto display = makeDisplay(2);
    auto caps = runTask(executor(), display->capabilities());
    ASSERT_TRUE(caps);
    EXPECT_EQ(caps->raw, kSpaced);
    EXPECT_EQ(caps->features.size(), 29u);
    // 32 bytes a fragment, then the empty one that ends the string.
    const auto ts = requests();
    ASSERT_EQ(ts.size(), (kSpaced.size() + 31) / 32 + 1);
    for (std::size_t i = 0; i < ts.size(); ++i) {
        EXPECT_EQ(ts[i].sent[3] << 8 | ts[i].sent[4],
                  static_cast<int>(std::min(i * 32, kSpaced.size())));
        if (i) {
            EXPECT_GE(ts[i].time - ts[i - 1].time, 50ms) << "fragment " << i;
        }
    }
    EXPECT_THAT(log_.linesStartingWith("[DDCDisplay] Display 2: capab"),
                ElementsAre("[DDCDisplay] Display 2: capabilities list 29 features"));
    runTask(executor(), display->capabilities());
    EXPECT_EQ(requests().size(), ts.size()) << "asked once";
}

TEST_F(CapabilitiesRead, ACorruptFragmentIsAskedAgainAndASilentMonitorHasNone) {
    addFault(2, SimFaultKind::badChecksum, std::nullopt, 1);
    auto caps = runTask(executor(), makeDisplay(2)->capabilities());
    ASSERT_TRUE(caps);
    EXPECT_EQ(caps->raw, kSpaced) << "no fragment lost or doubled";
    EXPECT_THAT(log_.linesStartingWith("[DDCManager] capabilities(0) attempt 1 failed"),
                ElementsAre("[DDCManager] capabilities(0) attempt 1 failed: DDC reply checksum "
                            "mismatch. Retrying..."));

    useRig(rigOf({simDisplay(3, SimDDCPath::i2c)}));  // lists nothing: the null message
    log_.clear();
    auto display = makeDisplay(3);
    EXPECT_FALSE(runTask(executor(), display->capabilities()));
    EXPECT_THAT(log_.linesStartingWith("[DDCDisplay]"),
                ElementsAre("[DDCDisplay] Display 3: using I2C transport",
                            "[DDCDisplay] Display 3: no capabilities string: DDC operation "
                            "failed after 3 retries: DDC read response has invalid format"));
    // The probed codes work as before.
    EXPECT_EQ(runTask(executor(), display->readValue(VCPCode::brightness)).current, 50);
}

}  // namespace
}  // namespace orvane::ddc
