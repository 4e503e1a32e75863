// SPDX-License-Identifier: MIT
#include <cmath>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "ddc/DDCRetry.h"
#include "platform/sim/SimMonitor.h"
#include "runtime/Spawn.h"
#include "support/SimFixture.h"

namespace orvane::ddc {
namespace {

using namespace std::chrono_literals;
using platform::sim::SimDDCPath;
using platform::sim::SimFaultKind;
using platform::sim::SimRig;
using test::errorOf;
using test::runTask;
using test::simDisplay;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class DDCDisplayTest : public test::SimFixture {
  protected:
    std::vector<std::string> displayLines() const { return log_.linesStartingWith("[DDCDisplay]"); }
    /// A machine of one monitor (display 2) at the standard levels.
    platform::sim::SimMonitor& oneMonitor() {
        useRig(test::rigOf({simDisplay(2, SimDDCPath::i2c)}));
        return monitor(2);
    }
};

TEST_F(DDCDisplayTest, ProbeReadsTheFiveCodesInOrderAndCachesThem) {
    auto d = makeDisplay(2);
    log_.clear();
    EXPECT_FALSE(d->lastReadTime());
    runTask(executor(), d->probeCapabilities());
    EXPECT_THAT(lines(),
                ElementsAre("[DDCDisplay] Display 2: Brightness supported (current: 70, max: 100)",
                            "[DDCDisplay] Display 2: Contrast supported (current: 75, max: 100)",
                            "[DDCDisplay] Display 2: Volume supported (current: 30, max: 100)",
                            "[DDCDisplay] Display 2: Input Source supported (current: 15, max: 18)",
                            "[DDCDisplay] Display 2: Power Mode supported (current: 1, max: 5)"));
    EXPECT_EQ(d->supportedCodes().size(), 5u);
    EXPECT_EQ(d->cachedValue(VCPCode::inputSource), (VCPValue{15, 18}));
    EXPECT_EQ(d->cachedValue(VCPCode::powerMode), (VCPValue{1, 5}));
    EXPECT_EQ(d->lastReadTime(), runtime::TimePoint(250ms)) << "five reads, one after the other";
}

TEST_F(DDCDisplayTest, AnUnsupportedCodeIsLoggedAndTheProbeGoesOn) {
    addFault(2, SimFaultKind::unsupported, 0x62);
    auto d = makeDisplay(2);
    runTask(executor(), d->probeCapabilities());
    auto dl = displayLines();
    ASSERT_EQ(dl.size(), 6u);
    EXPECT_EQ(
        dl[3],
        "[DDCDisplay] Display 2: Volume not supported - DDC operation failed after 3 retries: "
        "VCP code Volume (0x62) not supported by display");
    EXPECT_EQ(dl[4], "[DDCDisplay] Display 2: Input Source supported (current: 15, max: 18)");
    EXPECT_FALSE(d->supportedCodes().count(VCPCode::volume));
    EXPECT_FALSE(d->cachedValue(VCPCode::volume));
    // The code stays out after a second probe fails it again, and a code that
    // was found never leaves.
    machine_->monitor(2)->clearFaults();
    addFault(2, SimFaultKind::silent);
    runTask(executor(), d->probeCapabilities());
    EXPECT_EQ(d->supportedCodes().size(), 4u);
}

struct PercentCase {
    std::optional<std::uint16_t> cachedMax;
    double percent;
    std::uint16_t written;
};

void PrintTo(const PercentCase& c, std::ostream* os) {
    *os << c.percent << "% of " << (c.cachedMax ? std::to_string(*c.cachedMax) : "none");
}

class SetPercent : public DDCDisplayTest, public ::testing::WithParamInterface<PercentCase> {};

TEST_P(SetPercent, ScalesToTheCachedMaximum) {
    const auto& c = GetParam();
    monitor(2).setFeature(0x10, {0, c.cachedMax.value_or(100)});
    monitor(2).setFeature(0x12, {0, 1000});  // room to see an unscaled write
    auto d = makeDisplay(2);
    if (c.cachedMax) runTask(executor(), d->readValue(VCPCode::brightness));
    runTask(executor(), d->setPercent(c.percent, VCPCode::brightness));
    EXPECT_EQ(monitor(2).feature(0x10)->current, c.written);
}

INSTANTIATE_TEST_SUITE_P(Table, SetPercent,
                         ::testing::Values(PercentCase{100, 50, 50}, PercentCase{255, 50, 127},
                                           PercentCase{std::nullopt, 50, 50},
                                           PercentCase{100, 150, 100}, PercentCase{255, 150, 255},
                                           PercentCase{100, -5, 0}, PercentCase{100, 0, 0},
                                           PercentCase{100, 99.9, 99}, PercentCase{100, 29, 29},
                                           PercentCase{100, 57, 57}, PercentCase{255, 37.5, 95},
                                           PercentCase{65535, 100, 65535},
                                           PercentCase{0x6400, 50, 0x3200}));

// What the registry reads as a percentage must write back as the same raw value,
// and whole values of a 0...100 feature must read as whole percentages.
TEST(PercentScaling, RoundTripsEveryRawValue) {
    for (std::uint16_t max : {1, 7, 100, 255, 1000, 65535}) {
        for (std::uint32_t v = 0; v <= max; ++v) {
            const double p = percentForRawValue(v, max);
            ASSERT_EQ(rawValueForPercent(p, max), v) << v << " of " << max;
            if (max == 100) {
                ASSERT_EQ(p, static_cast<double>(v));
            }
        }
    }
    // A maximum of 0 is no range: the value reads against 100. Beyond max reads as 100.
    EXPECT_EQ(percentForRawValue(5, 0), 5.0);
    EXPECT_EQ(percentForRawValue(150, 100), 100.0);
    EXPECT_EQ(percentForRawValue(65535, 1), 100.0);
    EXPECT_EQ(rawValueForPercent(std::nan(""), 100), 0);
}

TEST_F(DDCDisplayTest, WritesRefreshOnlyCachedCodesAndReadThemBack) {
    auto d = makeDisplay(2);
    monitor(2).setFeature(0x10, {50, 100});
    runTask(executor(), d->readValue(VCPCode::brightness));
    const auto readAt = d->lastReadTime();
    runTask(executor(), d->writeValue(30, VCPCode::brightness));
    EXPECT_EQ(d->cachedValue(VCPCode::brightness), (VCPValue{30, 100}));
    EXPECT_GT(d->lastReadTime(), readAt) << "the level was read back";
    const auto readBackAt = d->lastReadTime();
    runTask(executor(), d->writeValue(30, VCPCode::contrast));
    EXPECT_FALSE(d->cachedValue(VCPCode::contrast));
    EXPECT_EQ(d->lastReadTime(), readBackAt) << "a code never read is not read back";
    addFault(2, SimFaultKind::sendStatus);
    EXPECT_NE(errorOf(executor(), d->writeValue(90, VCPCode::brightness)), "");
    EXPECT_EQ(d->cachedValue(VCPCode::brightness), (VCPValue{30, 100}))
        << "a failed write changes nothing";
}

TEST_F(DDCDisplayTest, EachDisplaysTransactionsRunInTurnAndDisplaysRunAlongside) {
    SimRig rig;
    rig.displays = {simDisplay(2, SimDDCPath::i2c, 1, 1), simDisplay(5, SimDDCPath::i2c, 1, 2),
                    simDisplay(3, SimDDCPath::avService, 2, 3)};
    useRig(rig);
    auto a = makeDisplay(2), b = makeDisplay(5), c = makeDisplay(3);
    int done = 0;
    for (auto* d : {a.get(), b.get(), c.get()}) {
        runtime::spawn(executor(), d->probeCapabilities(), [&](std::exception_ptr) { ++done; });
    }
    executor().runUntilIdle();
    EXPECT_EQ(done, 3);
    std::map<DisplayID, std::vector<runtime::TimePoint>> times;
    for (const auto& t : machine_->transcript()) {
        if (t.kind == platform::sim::SimTransaction::Kind::i2cRequest)
            times[t.display].push_back(t.time);
    }
    ASSERT_EQ(times.size(), 2u);
    for (const auto& [display, list] : times) {
        ASSERT_EQ(list.size(), 5u) << display;
        for (std::size_t i = 1; i < list.size(); ++i) {
            EXPECT_GE(list[i] - list[i - 1], runtime::Duration(50ms))
                << "transactions of display " << display << " overlapped";
        }
    }
    // A slow or dead monitor holds up nobody else: all three probes ran alongside.
    for (auto* d : {a.get(), b.get(), c.get()})
        EXPECT_EQ(d->lastReadTime(), runtime::TimePoint(250ms));
}

TEST_F(DDCDisplayTest, TheNewestWriteIsTheOneTheMonitorEndsAt) {
    auto d = makeDisplay(2);
    // The bus drops the first write (reads would still work): 30 must retry...
    platform::sim::SimFault dropped;
    dropped.kind = SimFaultKind::sendStatus;
    dropped.times = 1;
    dropped.writesOnly = true;
    machine_->addFault(2, dropped);
    std::vector<std::optional<bool>> results(3);
    auto write = [&](std::uint16_t value, std::size_t slot) {
        runtime::spawn(executor(),
                       [](std::shared_ptr<DDCDisplay> d, std::uint16_t v,
                          std::optional<bool>& out) -> runtime::Task<void> {
                           out = co_await d->writeValue(v, VCPCode::brightness);
                       }(d, value, results[slot]));
    };
    write(30, 0);
    executor().runFor(10ms);  // 30 failed once and waits 40 ms for its retry
    // ...but 70 and then 80 arrive meanwhile, as from a held key.
    write(70, 1);
    write(80, 2);
    executor().runUntilIdle();
    EXPECT_EQ(monitor(2).feature(0x10)->current, 80);
    // 30 is not retried, 70 never goes out: the burst ends as its last value.
    EXPECT_EQ(test::vcpWrites(*machine_, 2, 0x10), std::vector<int>{80});
    EXPECT_EQ(results, (std::vector<std::optional<bool>>{false, false, true}));
    EXPECT_EQ(d->cachedValue(VCPCode::brightness), std::nullopt);  // never read: nothing cached

    // A failure of the newest write reaches its caller; other codes are not held up.
    addFault(2, SimFaultKind::sendStatus, 0x10);
    EXPECT_NE(errorOf(executor(), d->writeValue(10, VCPCode::brightness)), "");
    monitor(2).clearFaults();
    runTask(executor(), d->writeValue(40, VCPCode::contrast));
    EXPECT_EQ(monitor(2).feature(0x12)->current, 40);
}

TEST_F(DDCDisplayTest, AMaximumOfZeroReadsAsAHundredAndIsNotedOnce) {
    monitor(2).setFeature(0x10, {150, 0});
    monitor(2).setFeature(0x12, {30, 0});
    monitor(2).setFeature(0x60, {15, 0});
    auto d = makeDisplay(2);
    log_.clear();
    runTask(executor(), d->probeCapabilities());
    runTask(executor(), d->readValue(VCPCode::brightness));
    // The probe says what the monitor sent; the range used is 0...100.
    EXPECT_THAT(log_.lines(),
                Contains("[DDCDisplay] Display 2: Brightness supported (current: 150, max: 0)"));
    EXPECT_EQ(d->cachedValue(VCPCode::brightness), (VCPValue{150, 100}));
    EXPECT_EQ(log_.countStartingWith("[DDCDisplay] Display 2: Brightness reports a maximum of 0"),
              1u);
    EXPECT_TRUE(log_.linesStartingWith("[DDCDisplay] Display 2: Contrast reports").empty())
        << "once per display";
    EXPECT_TRUE(log_.linesStartingWith("[DDCDisplay] Display 2: Input Source reports").empty());
    // A write is read back like any other: the cache holds what the monitor
    // shows, not what was sent.
    runTask(executor(), d->setPercent(40, VCPCode::brightness));
    EXPECT_EQ(test::vcpWrites(*machine_, 2, 0x10).back(), 40);
    EXPECT_EQ(monitor(2).feature(0x10)->current, 0u) << "the monitor clamps to its own max";
    EXPECT_EQ(d->cachedValue(VCPCode::brightness)->current, 0u);
}

}  // namespace
}  // namespace orvane::ddc

namespace orvane::ddc {
namespace {

/// What real monitors do wrong, against every control, healing after 0, 1
/// or 2 uses or never: never a crash, never a failure reported as a value,
/// and the control works again once the fault has healed.
class MonitorFaultTest : public test::SimFixture,
                         public ::testing::WithParamInterface<std::tuple<SimFaultKind, int>> {};

TEST_P(MonitorFaultTest, EveryControlFailsHonestlyAndRecovers) {
    const auto [kind, heal] = GetParam();
    for (VCPCode code : kProbedVCPCodes) {
        test::SimFixture::useRig(test::rigOf({simDisplay(2, SimDDCPath::i2c)}));
        auto& monitor = *machine_->monitor(2);
        monitor.setFeature(rawValue(code), {7, 90});
        auto d = makeDisplay(2);
        platform::sim::SimFault fault;
        fault.kind = kind;
        fault.code = rawValue(code);
        fault.times = heal;
        monitor.addFault(fault);
        const std::string what =
            std::string(displayName(code)) + ", heals after " + std::to_string(heal);
        // Up to three attempts: a fault that heals within two is never seen.
        const auto error = test::errorOf(executor(), d->readValue(code));
        if (heal >= 0 && heal < kDDCAttempts) {
            EXPECT_EQ(error, "") << what;
            EXPECT_EQ(d->cachedValue(code)->current, 7) << what;
        } else {
            EXPECT_THAT(error, ::testing::StartsWith("DDC operation failed after 3 retries"))
                << what;
            EXPECT_FALSE(d->cachedValue(code)) << what << ": no value from a failed read";
        }
        // Healed: the control works again.
        monitor.clearFaults();
        EXPECT_EQ(test::errorOf(executor(), d->readValue(code)), "") << what;
        EXPECT_EQ(test::runTask(executor(), d->writeValue(33, code)), true) << what;
        EXPECT_EQ(monitor.feature(rawValue(code))->current, 33) << what;
    }
}

INSTANTIATE_TEST_SUITE_P(
    RealMonitors, MonitorFaultTest,
    ::testing::Combine(::testing::Values(SimFaultKind::nullReply, SimFaultKind::doubledAddress,
                                         SimFaultKind::badLength, SimFaultKind::allZero,
                                         SimFaultKind::silent),
                       ::testing::Values(0, 1, 2, -1)),
    [](const auto& info) {
        const auto heal = std::get<1>(info.param);
        return std::string(platform::sim::nameOf(std::get<0>(info.param))) + "_" +
               (heal < 0 ? std::string("never") : std::to_string(heal));
    });

TEST_F(DDCDisplayTest, AMonitorThatLocksUpUnderFastWritesIsNeverFloodedIntoIt) {
    // It locks up after 3 writes less than 100 ms apart: the pacing keeps
    // writes 50 ms apart, so a burst would trip it...
    auto& monitor = oneMonitor();
    platform::sim::SimFault lockUp;
    lockUp.kind = SimFaultKind::lockUp;
    lockUp.bytes = 3;
    lockUp.times = 1;
    monitor.addFault(lockUp);
    auto d = makeDisplay(2);
    int failed = 0, written = 0;
    for (std::uint16_t v = 10; v < 20; ++v) {
        runtime::spawn(executor(), d->writeValue(v, VCPCode::brightness),
                       [&](std::exception_ptr e) { e ? ++failed : ++written; });
        executor().runFor(60ms);
    }
    executor().runUntilIdle();
    // ...and then it answers nothing: those writes fail, and say so.
    EXPECT_GT(failed, 0);
    EXPECT_THAT(log_.linesStartingWith("[DDCManager] writeVCP(Brightness="),
                ::testing::Not(IsEmpty()));
    // Left alone for a while, it works again.
    executor().runFor(3s);
    EXPECT_TRUE(test::runTask(executor(), d->writeValue(42, VCPCode::brightness)));
    EXPECT_EQ(monitor.feature(0x10)->current, 42);
}

TEST_F(DDCDisplayTest, AMonitorThatNeedsTwiceTheDelayIsGivenIt) {
    useRig(test::rigOf({simDisplay(2, SimDDCPath::i2c)}));
    addFault(2, SimFaultKind::slow);  // for ever
    auto d = makeDisplay(2);
    EXPECT_EQ(test::runTask(executor(), d->readValue(VCPCode::brightness)).current, 50);
    EXPECT_THAT(log_.linesStartingWith("[DDCManager] Display 2: "),
                ElementsAre("[DDCManager] Display 2: no valid reply after 50 ms - waiting 100 ms "
                            "from now on"));
    // From then on every read waits long enough, and none fails.
    log_.clear();
    for (VCPCode code : kProbedVCPCodes) {
        if (code == VCPCode::volume) continue;
        EXPECT_EQ(test::errorOf(executor(), d->readValue(code)), "");
    }
    EXPECT_THAT(log_.linesStartingWith("[DDCManager]"), IsEmpty());
}

TEST_F(DDCDisplayTest, AMonitorSlowOnceGetsTheStandardDelayBackAfterARunOfGoodReplies) {
    useRig(test::rigOf({simDisplay(2, SimDDCPath::i2c)}));
    addFault(2, SimFaultKind::slow, std::nullopt, 1);  // waking up: one slow reply
    auto d = makeDisplay(2);
    EXPECT_EQ(test::runTask(executor(), d->readValue(VCPCode::brightness)).current, 50);
    log_.clear();
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(test::errorOf(executor(), d->readValue(VCPCode::brightness)), "");
    EXPECT_THAT(log_.linesStartingWith("[DDCManager] Display 2: "),
                ElementsAre("[DDCManager] Display 2: 10 good replies - back to 50 ms"));
    // The next read waits the standard 50 ms again, not the 100 ms.
    const auto before = executor().now();
    test::runTask(executor(), d->readValue(VCPCode::brightness));
    EXPECT_EQ(executor().now() - before, runtime::Duration(50ms));
}

TEST_F(DDCDisplayTest, AWriteTheMonitorUndoesIsSentAgainWhenAskedAgain) {
    auto& monitor = oneMonitor();
    monitor.setFeature(0x10, {20, 100});
    addFault(2, SimFaultKind::reverts, 0x10, 1, platform::sim::kIOReturnError, 1000);
    auto d = makeDisplay(2);
    EXPECT_TRUE(runTask(executor(), d->writeValue(60, VCPCode::brightness)));
    executor().runFor(2s);
    // No read in between: the level once written is no longer trusted as held.
    EXPECT_TRUE(runTask(executor(), d->writeValue(60, VCPCode::brightness)));
    EXPECT_EQ(monitor.feature(0x10)->current, 60);
}

TEST_F(DDCDisplayTest, AWriteTheMonitorIgnoresIsSentAgainAndFailsIfItNeverLands) {
    for (VCPCode code : {VCPCode::brightness, VCPCode::contrast, VCPCode::volume}) {
        for (int heal : {0, 1, 2, -1}) {
            useRig(test::rigOf({simDisplay(2, SimDDCPath::i2c)}));
            auto& monitor = *machine_->monitor(2);
            monitor.setFeature(rawValue(code), {20, 100});
            auto d = makeDisplay(2);
            runTask(executor(), d->readValue(code));
            if (heal != 0) addFault(2, SimFaultKind::ignoresWrite, rawValue(code), heal);
            log_.clear();
            const std::string what =
                std::string(displayName(code)) + ", heals after " + std::to_string(heal);
            const auto error = errorOf(executor(), d->writeValue(60, code));
            const std::string name = displayName(code);
            const std::string again =
                "[DDCDisplay] Display 2: " + name + "=60 not applied (still 20) - sending it again";
            if (heal >= 0) {
                EXPECT_EQ(error, "") << what;
                EXPECT_EQ(monitor.feature(rawValue(code))->current, 60) << what;
                EXPECT_EQ(log_.linesStartingWith("[DDCDisplay]"),
                          std::vector<std::string>(heal, again))
                    << what;
            } else {
                EXPECT_EQ(error, "DDC operation failed after 3 retries: Display acknowledged " +
                                     name + "=60 but still holds 20")
                    << what;
                EXPECT_EQ(log_.linesStartingWith("[DDCDisplay]"),
                          std::vector<std::string>(2, again))
                    << what;
                EXPECT_EQ(d->cachedValue(code)->current, 20) << what << ": what it really holds";
                // Healed, the same level goes out again and lands.
                monitor.clearFaults();
                EXPECT_EQ(errorOf(executor(), d->writeValue(60, code)), "") << what;
                EXPECT_EQ(monitor.feature(rawValue(code))->current, 60) << what;
            }
        }
    }
    // Input and power are not read back: a monitor switched away may not answer.
    useRig(test::rigOf({simDisplay(2, SimDDCPath::i2c)}));
    addFault(2, SimFaultKind::ignoresWrite);
    auto d = makeDisplay(2);
    runTask(executor(), d->probeCapabilities());
    EXPECT_EQ(errorOf(executor(), d->writeValue(17, VCPCode::inputSource)), "");
    EXPECT_EQ(errorOf(executor(), d->writeValue(4, VCPCode::powerMode)), "");
}

TEST_F(DDCDisplayTest, ABurstOrAHeldKeyIsReadBackAgainstWhatTheMonitorWasSeenToHold) {
    auto& monitor = oneMonitor();
    monitor.setFeature(0x10, {100, 100});
    addFault(2, SimFaultKind::ignoresWrite, 0x10);
    auto d = makeDisplay(2);
    runTask(executor(), d->readValue(VCPCode::brightness));
    // 30 presses down, 12 ms apart: each acknowledged, none applied. The last
    // is read back against the 100 the monitor was seen at, not the 16 that
    // was only written before it.
    std::optional<bool> last;
    std::string lastError;
    for (int press = 1; press <= 30; ++press) {
        const auto value = static_cast<std::uint16_t>(100 - press * 3);
        runtime::spawn(executor(), d->writeValue(value, VCPCode::brightness),
                       [&, press](std::exception_ptr e) {
                           if (press != 30) return;
                           last = !e;
                           try {
                               if (e) std::rethrow_exception(e);
                           } catch (const ddc::DDCError& error) {
                               lastError = error.errorDescription();
                           }
                       });
        executor().runFor(12ms);
    }
    executor().runUntilIdle();
    ASSERT_EQ(last, false) << "the last press failed honestly";
    EXPECT_THAT(lastError, ::testing::HasSubstr("but still holds 100"));
    EXPECT_EQ(d->cachedValue(VCPCode::brightness)->current, 100);

    // A key held at 0: the first 0 is ignored once; the presses after it
    // send nothing new, yet the read-back still finds the 100 and sends 0 again.
    monitor.clearFaults();
    addFault(2, SimFaultKind::ignoresWrite, 0x10, 1);
    for (int press = 0; press < 5; ++press) {
        runtime::spawn(executor(), d->writeValue(0, VCPCode::brightness));
        executor().runFor(30ms);
    }
    executor().runUntilIdle();
    EXPECT_EQ(monitor.feature(0x10)->current, 0);
    EXPECT_EQ(d->cachedValue(VCPCode::brightness)->current, 0);
}

TEST_F(DDCDisplayTest, MonitorsWithFewerStepsOrTheirOwnLimitsAreNotTakenForIgnoringWrites) {
    auto& monitor = oneMonitor();
    monitor.setFeature(0x10, {50, 100});
    addFault(2, SimFaultKind::quantises, 0x10, -1, platform::sim::kIOReturnError, 10);
    auto d = makeDisplay(2);
    runTask(executor(), d->readValue(VCPCode::brightness));
    log_.clear();
    // 47 is stored as 40, 63 as 60, 5 as 0: each moved, so each landed.
    for (std::uint16_t v : {47, 63, 5}) {
        EXPECT_EQ(errorOf(executor(), d->writeValue(v, VCPCode::brightness)), "") << v;
        EXPECT_EQ(d->cachedValue(VCPCode::brightness)->current, v - v % 10)
            << "the cache holds what the monitor holds";
    }
    // 4 from 0 stays 0, but within a twentieth of the range.
    EXPECT_EQ(errorOf(executor(), d->writeValue(4, VCPCode::brightness)), "");
    EXPECT_THAT(displayLines(), IsEmpty());

    EXPECT_TRUE(writeLanded(60, 60, 20, 100));
    EXPECT_TRUE(writeLanded(60, 57, 20, 100)) << "within a twentieth";
    EXPECT_TRUE(writeLanded(10, 20, 30, 100)) << "clamped to a minimum of its own";
    EXPECT_FALSE(writeLanded(10, 20, 20, 100)) << "kept its old value";
    EXPECT_FALSE(writeLanded(60, 20, std::nullopt, 100));
    EXPECT_TRUE(writeLanded(6000, 5800, 2000, 65535));
    EXPECT_FALSE(writeLanded(3, 0, 0, 10)) << "a small range still tolerates only 1";
}

}  // namespace
}  // namespace orvane::ddc
