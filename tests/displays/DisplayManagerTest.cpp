// SPDX-License-Identifier: MIT
// The registry over a simulated machine: its scan and probes, re-probes,
// hot-plug rescans and writes. One file, as the registry is one type whose
// three source files share this fixture.
#include "displays/DisplayManager.h"
#include "displays/ResolutionManager.h"

#include <gmock/gmock.h>

#include "support/SimFixture.h"

namespace orvane::test {
namespace {

using displays::VolumeControlType;
using platform::sim::SimDDCPath;
using platform::sim::SimDisplaySpec;
using platform::sim::SimFaultKind;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

class DisplayManagerTest : public SimFixture {
  protected:
    void use(std::vector<SimDisplaySpec> displays,
             std::vector<platform::sim::SimAudioDeviceSpec> audio = {}) {
        auto rig = rigOf(std::move(displays));
        rig.audioDevices = std::move(audio);
        manager.reset();
        useRig(rig);
        manager = displays::DisplayManager::create(runtime_, services(), log_);
    }
    void start() { runTask(executor(), manager->start()); }
    std::vector<std::string> names() const {
        std::vector<std::string> n;
        for (const auto& s : manager->displays())
            n.push_back(s->info.name);
        return n;
    }
    std::size_t scansLogged() const {
        return log_.countStartingWith("[DisplayManager] Scanning connected displays...");
    }

    std::size_t ddcHandles() const {
        std::size_t n = 0;
        for (const auto& [id, record] : manager->records())
            n += record.ddc != nullptr;
        return n;
    }

    std::shared_ptr<displays::DisplayManager> manager;
};

TEST_F(DisplayManagerTest, RegistersExternalsByNameThenBuiltIn) {
    use({builtInPanel(1, 0.5f), named(simDisplay(2, SimDDCPath::i2c, 1, 1), "B"),
         named(simDisplay(3, SimDDCPath::avService, 2, 2), "A")});
    start();
    EXPECT_EQ(names(), (std::vector<std::string>{"A", "B", "Panel"}));
    EXPECT_TRUE(manager->isReady());
    EXPECT_EQ(ddcHandles(), 2u);
    const auto& b = *manager->displays()[1];
    EXPECT_TRUE(b.supportsBrightness && b.supportsContrast && b.supportsVolume &&
                b.supportsInputSwitching && b.supportsPowerControl);
    EXPECT_EQ(b.volumeControlType.get(), VolumeControlType::ddc);
    EXPECT_EQ(b.brightness.get(), 50.0);  // 50 of 100 from the probe
    EXPECT_EQ(b.contrast.get(), 60.0);

    EXPECT_EQ(log_.linesStartingWith("[DisplayManager] Built-in brightness from IOKit: "),
              (std::vector<std::string>{"[DisplayManager] Built-in brightness from IOKit: 50.0%"}));
    EXPECT_EQ(log_.linesStartingWith("[DisplayManager] Registered: B"),
              (std::vector<std::string>{
                  "[DisplayManager] Registered: B - 1920\u00d71080 @ 60Hz [DDC: true]"}));
    EXPECT_EQ(log_.linesStartingWith("[DisplayManager] Found "),
              (std::vector<std::string>{"[DisplayManager] Found 3 active display(s)"}));
    EXPECT_EQ(machine_->reconfigurationCallbackCount(), 1u);
}

TEST_F(DisplayManagerTest, SideBySideAMonitorThatHoldsItsBusDelaysNoOtherProbe) {
    // The hung monitor comes first in the window server's list.
    use({named(simDisplay(5, SimDDCPath::i2c, 5, 5), "Hung"),
         named(simDisplay(2, SimDDCPath::i2c, 2, 2), "Office")});
    addFault(5, SimFaultKind::hangs, std::nullopt, -1, platform::sim::kIOReturnError, 1000);
    manager->probeSideBySide = true;  // as on Linux
    manager->reprobeOnTimer = false;
    const auto began = executor().now();
    std::optional<runtime::Duration> ready;
    runtime::spawn(executor(), manager->start(),
                   [&](std::exception_ptr) { ready = executor().now() - began; });
    executor().runUntilIdle();
    ASSERT_TRUE(ready);
    EXPECT_LT(*manager->record(2)->ddc->lastReadTime() - began, runtime::Duration(1s))
        << "the office monitor was probed while the hung one held its own bus";
    // The hung one missed its first code while the office's probe had ended:
    // the registry (cards, URLs) did not wait for the rest.
    EXPECT_LT(*ready, runtime::Duration(4s));
    EXPECT_THAT(log_.lines(), Contains("[DisplayManager] Display 5 is slow to answer its "
                                       "DDC probe - its controls come when it ends"));
    EXPECT_EQ(names(), (std::vector<std::string>{"Hung", "Office"}));
    EXPECT_TRUE(manager->displays()[1]->supportsBrightness);
    EXPECT_FALSE(manager->displays()[0]->supportsBrightness);
    // One that holds its bus only while waking up gets its controls when its
    // probe ends, without a rescan.
    use({named(simDisplay(5, SimDDCPath::i2c, 5, 5), "Waking"),
         named(simDisplay(2, SimDDCPath::i2c, 2, 2), "Office")});
    addFault(5, SimFaultKind::hangs, std::nullopt, 3, platform::sim::kIOReturnError, 1000);
    manager->probeSideBySide = true;
    manager->reprobeOnTimer = false;
    const auto scans = scansLogged();
    start();
    EXPECT_TRUE(manager->record(5)->state->supportsContrast);
    EXPECT_TRUE(manager->record(5)->contrast->hasDDC());
    EXPECT_THAT(log_.lines(), Contains("[DisplayManager] Display 5 answers DDC now - controls "
                                       "restored"));
    EXPECT_EQ(scansLogged(), scans + 1) << "no rescan";
}

/// Get VCP requests to display for code (any code when none).
std::size_t readsOf(const platform::sim::SimMachine& machine, DisplayID display,
                    std::optional<std::uint8_t> code = {}) {
    std::size_t n = 0;
    for (const auto& t : machine.transcript()) {
        if (t.display == display && t.sent.size() >= 4 && t.sent[1] == 0x82 &&
            (!code || t.sent[3] == *code))
            ++n;
    }
    return n;
}

TEST_F(DisplayManagerTest, AnUnpluggedDisplayIsPromisedNoFurtherProbe) {
    use({simDisplay(2, SimDDCPath::i2c), simDisplay(3, SimDDCPath::i2c)});
    addFault(2, SimFaultKind::allZero, 0x10);  // brightness never answers
    runtime::spawn(executor(), manager->start());
    executor().runFor(1s);
    ASSERT_EQ(log_.countStartingWith("[DisplayManager] Display 2: Brightness did not answer its "
                                     "DDC probe - probing again in 5 s"),
              1u);
    // Unplugged as its re-probe starts, which ends before the rescan does.
    const auto reads = readsOf(*machine_, 2, 0x10);
    for (int i = 0; i < 1000 && readsOf(*machine_, 2, 0x10) == reads; ++i)
        executor().runFor(10ms);
    machine_->disconnectDisplay(2);
    executor().runUntilIdle();
    EXPECT_EQ(manager->record(2), nullptr);
    EXPECT_THAT(log_.lines(), Not(Contains(HasSubstr("probing again in 30 s"))));
}

TEST_F(DisplayManagerTest, ACodeThatMissedItsProbeIsAskedAgainAloneOnTheBackOff) {
    use({named(simDisplay(2, SimDDCPath::i2c, 2, 2), "Waking")});
    // Brightness replies garbage for the probe's three attempts: waking up.
    addFault(2, SimFaultKind::allZero, 0x10, 3);
    runtime::spawn(executor(), manager->start());
    executor().runFor(1s);  // the scan, not yet the re-probe
    const auto& state = *manager->displays()[0];
    EXPECT_FALSE(state.supportsBrightness);
    EXPECT_TRUE(state.supportsContrast);
    EXPECT_THAT(log_.lines(), Contains("[DisplayManager] Display 2: Brightness did not answer its "
                                       "DDC probe - probing again in 5 s"));
    const auto contrastReads = readsOf(*machine_, 2, 0x12);
    executor().runFor(6s);
    EXPECT_TRUE(manager->displays()[0]->supportsBrightness);
    EXPECT_EQ(manager->displays()[0]->brightness.get(), 50.0);
    EXPECT_EQ(readsOf(*machine_, 2, 0x12), contrastReads) << "only the missed code is asked";
    EXPECT_THAT(log_.lines(), Contains("[DisplayManager] Display 2 answers DDC for more codes now "
                                       "- controls restored"));
    // A code the monitor says it lacks is an answer: nothing is asked again.
    EXPECT_TRUE(manager->record(2)->ddc->missedCodes().empty());
}

TEST_F(DisplayManagerTest, KeyPressesOnASilentMonitorProbeItAtMostOncePerBackOff) {
    auto silent = simDisplay(2, SimDDCPath::i2c);
    silent.monitor.answers = false;
    use({silent});
    manager->reprobeOnTimer = false;
    start();
    const auto afterScan = readsOf(*machine_, 2);
    for (int press = 0; press < 20; ++press) {
        manager->noteUserAction(2);
        executor().runFor(100ms);
    }
    executor().runUntilIdle();
    const auto onePass = readsOf(*machine_, 2) - afterScan;
    EXPECT_EQ(onePass, afterScan) << "20 presses in 2 s: one probe, as long as the scan's";
    executor().runFor(5s);
    manager->noteUserAction(2);
    executor().runUntilIdle();
    EXPECT_EQ(readsOf(*machine_, 2) - afterScan, 2 * onePass) << "a new period, a new probe";
}

TEST_F(DisplayManagerTest, AMonitorOffAndOnAgainGetsTheUsersLevelsBackAndGammaIsWrittenAgain) {
    const auto office = named(simDisplay(2, SimDDCPath::i2c, 2, 2), "Office");
    auto projector = named(simDisplay(3, SimDDCPath::none, 3, 3), "Projector");
    use({office, projector});
    manager->reprobeOnTimer = false;
    manager->dimmingMethod = controls::SoftwareDimmer::Method::gamma;
    start();
    runTask(executor(), manager->writeBrightness(2, 30));
    runTask(executor(), manager->writeBrightness(3, 40));
    runTask(executor(), manager->record(2)->contrast->setContrast(65));
    manager->record(2)->state->contrast = 65;
    ASSERT_EQ(monitor(2).feature(0x10)->current, 30);
    const auto dimmed = machine_->gammaTables(3);

    // Off and on inside the rescan delay: the monitor wakes at its own
    // defaults, and the display server has reset every ramp.
    machine_->disconnectDisplay(2);
    executor().runFor(100ms);
    machine_->connectDisplay(office);
    monitor(2).setFeature(0x10, {80, 100});
    monitor(2).setFeature(0x12, {60, 100});
    ASSERT_TRUE(setTables(*machine_, 3, linearRamp(256)));
    executor().runUntilIdle();
    EXPECT_EQ(monitor(2).feature(0x10)->current, 30) << "the user's level, sent again";
    EXPECT_EQ(monitor(2).feature(0x12)->current, 65) << "and the contrast";
    EXPECT_EQ(manager->record(2)->state->brightness.get(), 30.0);
    EXPECT_EQ(machine_->gammaTables(3), dimmed) << "the projector is dimmed again";

    // A mode change resets the ramps too, with no rescan after it.
    ASSERT_TRUE(setTables(*machine_, 3, linearRamp(256)));
    manager->handleReconfiguration(3, platform::DisplayChange::reconfigured);
    EXPECT_EQ(machine_->gammaTables(3), dimmed);
}

TEST_F(DisplayManagerTest, ABurstOfHotPlugsCostsOneScanHalfASecondAfterItsLastEvent) {
    use({simDisplay(2, SimDDCPath::i2c)});
    start();
    ASSERT_EQ(scansLogged(), 1u);

    for (DisplayID id : {5u, 6u, 7u}) {
        auto d = simDisplay(id, SimDDCPath::none, 0x700 + id, 1);
        d.inRegistry = false;
        machine_->connectDisplay(d);
        executor().runFor(100ms);
    }
    executor().runFor(350ms);  // 450 ms after the last event
    EXPECT_EQ(scansLogged(), 1u);
    executor().runFor(100ms);
    EXPECT_EQ(scansLogged(), 2u);
    executor().runUntilIdle();
    EXPECT_EQ(manager->displays().size(), 4u);

    // A mode change rescans nothing, whether it comes as an event or from a real switch.
    manager->handleReconfiguration(2, platform::DisplayChange::reconfigured);
    displays::ResolutionManager(*machine_, log_).setMode(2, 1920, 1080, false, 60);
    executor().runUntilIdle();
    EXPECT_EQ(scansLogged(), 2u);
}

TEST_F(DisplayManagerTest, AScanThatANewerEventMakesStaleIsAbandoned) {
    use({simDisplay(2, SimDDCPath::i2c), simDisplay(3, SimDDCPath::i2c)});
    start();
    const auto ids = [&] {
        std::vector<DisplayID> v;
        for (const auto& s : manager->displays())
            v.push_back(s->info.id);
        return v;
    };
    machine_->disconnectDisplay(3);
    executor().runFor(600ms);  // the rescan is probing display 2 now
    ASSERT_EQ(scansLogged(), 2u);
    machine_->connectDisplay(simDisplay(4, SimDDCPath::i2c, 0x4444, 4));
    // Long enough for the stale scan to end, had it gone on: it publishes nothing.
    executor().runFor(450ms);
    EXPECT_EQ(ids(), (std::vector<DisplayID>{2, 3}));
    EXPECT_EQ(log_.countStartingWith("[DisplayManager] Registered: "), 2u);
    executor().runUntilIdle();
    EXPECT_EQ(ids(), (std::vector<DisplayID>{2, 4}));
    EXPECT_EQ(ddcHandles(), 2u);
    EXPECT_EQ(scansLogged(), 3u);
}

TEST_F(DisplayManagerTest, AWriteTheMonitorAppliedButReportedFailedIsNotDimmedTwice) {
    use({simDisplay(2, SimDDCPath::i2c)});
    start();
    platform::sim::SimFault odd;
    odd.kind = SimFaultKind::resultStatus;
    odd.code = 0x10;
    odd.writesOnly = true;
    machine_->addFault(2, odd);
    EXPECT_TRUE(runTask(executor(), manager->writeBrightness(2, 40)));
    EXPECT_EQ(monitor(2).feature(0x10)->current, 40);
    EXPECT_TRUE(machine_->windows().empty()) << "an overlay on top of the monitor's own 40";
    EXPECT_DOUBLE_EQ(manager->displays()[0]->brightness, 40);

    // One that did not land is still a failure, and dims in software.
    monitor(2).clearFaults();
    odd.kind = SimFaultKind::sendStatus;
    machine_->addFault(2, odd);
    runTask(executor(), manager->writeBrightness(2, 30));
    EXPECT_EQ(monitor(2).feature(0x10)->current, 40);
    EXPECT_EQ(machine_->windows().size(), 1u);
}

TEST_F(DisplayManagerTest, ARescanKeepsTheDimmingTheUserAskedFor) {
    use({simDisplay(2, SimDDCPath::i2c), simDisplay(3, SimDDCPath::i2c, 0x3333, 3)});
    manager->reprobeOnTimer = false;  // the rescan alone, not the re-probe
    addFault(3, SimFaultKind::silent);
    start();
    ASSERT_FALSE(manager->record(3)->brightness->hasDDC());
    // Display 2's write fails: it is dimmed in software at 60.
    addFault(2, SimFaultKind::sendStatus, 0x10, -1);
    runTask(executor(), manager->writeBrightness(2, 60));
    runTask(executor(), manager->writeBrightness(3, 60));
    ASSERT_EQ(machine_->windows().size(), 2u);
    monitor(2).clearFaults();
    monitor(2).setFeature(0x10, {70, 100});
    // Display 3 answers DDC from now on, at its own 70.
    monitor(3).clearFaults();
    monitor(3).setFeature(0x10, {70, 100});
    // Another display is plugged in: a rescan.
    machine_->connectDisplay(simDisplay(9, SimDDCPath::none, 0x9999, 9));
    executor().runUntilIdle();
    for (DisplayID d : {2u, 3u}) {
        const auto* entry = manager->record(d);
        ASSERT_NE(entry, nullptr);
        EXPECT_DOUBLE_EQ(entry->state->brightness.get(), 60.0) << d;
        EXPECT_EQ(monitor(d).feature(0x10)->current, 60u) << d << ": the user's level over DDC";
        EXPECT_EQ(entry->dimmer->currentLevel(), 0.0) << d << ": no overlay on top of it";
    }
}

TEST_F(DisplayManagerTest, AConnectorThatFlapsForEverKeepsNoDisplayBesideItOut) {
    use({simDisplay(2, SimDDCPath::i2c)});
    start();
    // A loose cable: display 5 comes and goes every 300 ms for a minute, and
    // display 7 is plugged in beside it early on.
    bool present = false;
    for (int i = 0; i < 200; ++i) {
        if (i == 1) machine_->connectDisplay(simDisplay(7, SimDDCPath::i2c, 0x7777, 7));
        if ((present = !present)) {
            machine_->connectDisplay(simDisplay(5, SimDDCPath::none, 0x5555, 1));
        } else {
            machine_->disconnectDisplay(5);
        }
        executor().runFor(300ms);
        if (manager->record(7)) break;
    }
    ASSERT_NE(manager->record(7), nullptr) << "never scanned while the connector flapped";
    EXPECT_NE(manager->record(7)->ddc, nullptr);
    EXPECT_LT(scansLogged(), 5u);
}

TEST_F(DisplayManagerTest, TenThousandHotPlugsAndDisplaysThatComeBackHalfAlive) {
    auto dumb = simDisplay(3, SimDDCPath::i2c, 0x3333, 3);
    dumb.monitor.answers = false;
    use({simDisplay(2, SimDDCPath::i2c), dumb});
    start();
    runTask(executor(), manager->writeBrightness(2, 30));
    runTask(executor(), manager->writeBrightness(3, 40));
    const auto scansBefore = scansLogged();
    // 10,000 events in bursts 1 ms apart, a quiet period between bursts.
    int bursts = 0;
    for (int i = 0; i < 10000; ++i) {
        if (i % 2 == 0) {
            machine_->disconnectDisplay(3);
        } else {
            machine_->connectDisplay(dumb);
        }
        executor().runFor(1ms);
        if (i % 2500 == 2499) {
            ++bursts;
            executor().runUntilIdle();
        }
    }
    EXPECT_EQ(scansLogged() - scansBefore, std::size_t(bursts)) << "one scan per quiet period";
    // The dimmed display came back dimmed; the DDC one kept its own value.
    ASSERT_TRUE(manager->record(3));
    EXPECT_EQ(manager->record(3)->state->brightness.get(), 40.0);
    EXPECT_DOUBLE_EQ(manager->record(3)->dimmer->currentLevel(), 0.6);
    EXPECT_EQ(machine_->windows().size(), 1u) << "one overlay, no leftover of a gone display";
    EXPECT_EQ(manager->record(2)->state->brightness.get(), 30.0);

    // Gone and back within 100 ms, its monitor holding its value: one scan.
    auto same = simDisplay(2, SimDDCPath::i2c);
    same.monitor.features[0x10] = {30, 100};
    const auto scansThen = scansLogged();
    machine_->disconnectDisplay(2);
    executor().runFor(60ms);
    machine_->connectDisplay(same);
    executor().runUntilIdle();
    EXPECT_EQ(scansLogged(), scansThen + 1);
    EXPECT_EQ(manager->record(2)->state->brightness.get(), 30.0);

    // Gone while its probe runs: the scan that saw it is abandoned, the next
    // one leaves it out, and no overlay of it stays.
    machine_->connectDisplay(simDisplay(6, SimDDCPath::i2c, 0x6666, 6));
    executor().runFor(550ms);  // the rescan is probing
    machine_->disconnectDisplay(6);
    machine_->disconnectDisplay(3);
    executor().runUntilIdle();
    EXPECT_FALSE(manager->record(6));
    EXPECT_FALSE(manager->record(3));
    EXPECT_TRUE(machine_->windows().empty());

    // Back with its EDID but DDC dead: registered without DDC, dimmed in
    // software at its last level; DDC returns with the next scan.
    auto late = simDisplay(2, SimDDCPath::i2c);  // its monitor forgot: 50
    machine_->disconnectDisplay(2);
    executor().runUntilIdle();
    machine_->connectDisplay(late);
    platform::sim::SimFault dead;
    dead.kind = platform::sim::SimFaultKind::silent;
    machine_->monitor(2)->addFault(dead);
    executor().runUntilIdle();
    ASSERT_TRUE(manager->record(2));
    EXPECT_FALSE(manager->record(2)->state->supportsBrightness) << "no DDC answered";
    EXPECT_EQ(manager->record(2)->state->brightness.get(), 30.0);
    EXPECT_DOUBLE_EQ(manager->record(2)->dimmer->currentLevel(), 0.7);
    // Its DDC answers again: the monitor dims itself, and no overlay stays.
    machine_->monitor(2)->clearFaults();
    manager->handleReconfiguration(2, platform::DisplayChange::added);
    executor().runUntilIdle();
    EXPECT_TRUE(manager->record(2)->state->supportsBrightness);
    EXPECT_EQ(manager->record(2)->dimmer->currentLevel(), 0.0);
    EXPECT_TRUE(machine_->windows().empty());
}

TEST_F(DisplayManagerTest, AHotPlugDuringTheFirstScanIsInTheRegistryARescanLater) {
    use({simDisplay(2, SimDDCPath::i2c)});
    bool started = false;
    runtime::spawn(executor(), manager->start(), [&](std::exception_ptr) { started = true; });
    executor().runFor(100ms);  // probing display 2
    ASSERT_EQ(manager->displays().size(), 0u);
    machine_->connectDisplay(simDisplay(4, SimDDCPath::i2c, 0x4444, 4));
    executor().runUntilIdle();
    EXPECT_TRUE(started && manager->isReady());
    EXPECT_EQ(manager->displays().size(), 2u);
}

TEST_F(DisplayManagerTest, NothingRunsAfterAStop) {
    use({simDisplay(2, SimDDCPath::i2c)});
    // A stop during the first scan: start ends without keys or readiness.
    runtime::spawn(executor(), manager->start());
    executor().runFor(100ms);
    manager->stop();
    executor().runUntilIdle();
    EXPECT_FALSE(manager->isReady());
    EXPECT_TRUE(
        log_.linesStartingWith("[MediaKeyInterceptor] Media key interception started").empty());

    // A rescan scheduled before the stop does not run after it.
    use({simDisplay(2, SimDDCPath::i2c)});
    start();
    machine_->connectDisplay(simDisplay(4, SimDDCPath::i2c, 0x4444, 4));
    manager->stop();
    executor().runUntilIdle();
    EXPECT_EQ(scansLogged(), 2u) << "one first scan per manager, no rescan";
    EXPECT_EQ(manager->displays().size(), 1u);
}

TEST_F(DisplayManagerTest, ThePanelIsDrivenThroughItsOwnService) {
    // An external monitor whose display-connect service also takes "brightness"
    // comes first in the registry; the panel's own service must be the one used.
    auto monitor = simDisplay(2, SimDDCPath::i2c);
    monitor.panelBrightness = 0.9f;
    use({monitor, builtInPanel(1, 0.4f)});
    start();
    EXPECT_EQ(manager->displays()[1]->brightness.get(), 40.0);
    EXPECT_TRUE(manager->setBuiltInBrightness(0.25f));
    EXPECT_FLOAT_EQ(machine_->panelBrightness(1).value_or(-1), 0.25f);
    EXPECT_FLOAT_EQ(machine_->panelBrightness(2).value_or(-1), 0.9f);

    // A URL or a preset sets the panel through its backlight, not an overlay.
    runTask(executor(), manager->writeBrightness(1, 60));
    EXPECT_FLOAT_EQ(machine_->panelBrightness(1).value_or(-1), 0.6f);
    EXPECT_TRUE(machine_->windows().empty());
    // Only a panel that refuses falls back to dimming in software.
    auto stubborn = builtInPanel(1, 0.4f);
    stubborn.panelBrightnessWritable = false;
    use({stubborn});
    start();
    runTask(executor(), manager->writeBrightness(1, 60));
    EXPECT_EQ(log_.lines().back(),
              "[DisplayManager] IOKit built-in brightness failed, falling back to software dimmer");
    EXPECT_DOUBLE_EQ(manager->record(1)->dimmer->currentLevel(), 0.4);
    machine_->registry().failEnumeration("IODisplayConnect", platform::sim::kIOReturnNoDevice);
    EXPECT_FALSE(manager->setBuiltInBrightness(0.3f));
    EXPECT_FALSE(manager->readBuiltInBrightness().has_value());
    EXPECT_EQ(log_.lines().back(), "[DisplayManager] IOServiceGetMatchingServices failed: " +
                                       std::to_string(platform::sim::kIOReturnNoDevice));
}

TEST_F(DisplayManagerTest, AMonitorAsleepDuringItsProbeGetsItsControlsBack) {
    use({simDisplay(2, SimDDCPath::i2c)});
    // Asleep for the whole first probe: five codes, three attempts each.
    addFault(2, SimFaultKind::silent, std::nullopt, 15);
    runtime::spawn(executor(), manager->start());
    executor().runFor(3s);  // the probe has given up; the re-probe is 5 s away
    ASSERT_TRUE(manager->isReady());
    ASSERT_FALSE(manager->record(2)->brightness->hasDDC());
    EXPECT_THAT(lines(), ::testing::Contains("[DisplayManager] Display 2 did not answer its DDC "
                                             "probe - probing again in 5 s"));
    // Meanwhile it was dimmed in software (a preset applied at launch, say).
    manager->displays()[0]->brightness = 30;
    runtime::spawn(executor(), manager->record(2)->brightness->setBrightness(30));
    executor().runFor(1s);
    ASSERT_DOUBLE_EQ(manager->record(2)->dimmer->currentLevel(), 0.7);

    executor().runFor(5s);
    EXPECT_TRUE(manager->record(2)->brightness->hasDDC());
    EXPECT_TRUE(manager->displays()[0]->supportsContrast);
    EXPECT_THAT(lines(), ::testing::Contains(
                             "[DisplayManager] Display 2 answers DDC now - controls restored"));
    // The level the user chose moves from the overlay to the monitor.
    executor().runUntilIdle();
    EXPECT_EQ(monitor(2).feature(0x10)->current, 30u);
    EXPECT_EQ(manager->record(2)->dimmer->currentLevel(), 0.0);
    EXPECT_TRUE(machine_->windows().empty());
}

TEST_F(DisplayManagerTest, AUserActionProbesASilentMonitorAgainAndTheTimerGivesUp) {
    auto silent = simDisplay(2, SimDDCPath::i2c);
    silent.monitor.answers = false;
    use({silent});
    start();
    executor().runUntilIdle();  // 5 s, 30 s, 120 s, then no more timers
    EXPECT_EQ(log_.countStartingWith("[DisplayManager] Display 2 did not answer"), 3u);
    const auto probes = log_.countStartingWith("[DDCDisplay] Display 2: Brightness");
    EXPECT_EQ(probes, 4u);
    // Silent, it still has its controllers: they dim in software.
    EXPECT_FALSE(manager->displays()[0]->supportsBrightness);
    EXPECT_FALSE(manager->record(2)->contrast->hasDDC());
    EXPECT_TRUE(manager->record(2)->dimmer);
    // It wakes up; the next key press asks it again.
    machine_->monitor(2)->clearFaults();
    manager->adjustContrast(5);
    executor().runUntilIdle();
    EXPECT_TRUE(manager->record(2)->contrast->hasDDC());
}

TEST_F(DisplayManagerTest, StopClearsDimmingOfEveryKind) {
    auto a = simDisplay(2, SimDDCPath::i2c);
    a.monitor.answers = false;
    auto b = simDisplay(3, SimDDCPath::i2c, 0x3333, 3);
    b.monitor.answers = false;
    use({a, b});
    start();
    manager->record(3)->dimmer->method = controls::SoftwareDimmer::Method::gamma;
    runTask(executor(), manager->record(2)->brightness->setBrightness(20));
    runTask(executor(), manager->record(3)->brightness->setBrightness(20));
    EXPECT_EQ(machine_->windows().size(), 1u);
    EXPECT_FALSE(machine_->gammaIsOriginal(3));
    manager->stop();
    EXPECT_TRUE(machine_->windows().empty());
    EXPECT_TRUE(machine_->gammaIsOriginal(3));
    EXPECT_EQ(manager->records().size(), 2u);  // the entries stay
    // A write that ends after the stop (a URL under way at SIGTERM) dims nothing.
    runTask(executor(), manager->record(2)->brightness->setBrightness(10));
    EXPECT_TRUE(machine_->windows().empty());
}

TEST_F(DisplayManagerTest, AnOverlayFollowsItsDisplayWhenANeighbourChanges) {
    auto left = simDisplay(4, SimDDCPath::i2c, 0x4444, 4);
    left.modes = {{}, {.width = 1280, .height = 720, .pixelWidth = 1280, .pixelHeight = 720}};
    auto silent = simDisplay(3, SimDDCPath::i2c, 0x3333, 3);
    silent.monitor.answers = false;
    use({left, silent});
    start();
    const auto frameOf = [&](DisplayID id) {
        for (const auto& s : machine_->screens()) {
            if (s.screenNumber == id) return s.frame;
        }
        return platform::Rect{};
    };
    runTask(executor(), manager->writeBrightness(3, 40));
    ASSERT_EQ(machine_->windows().size(), 1u);
    const auto before = machine_->windows()[0].frame;
    ASSERT_EQ(before, frameOf(3));

    // The neighbour switches to a smaller mode: display 3's screen moves left.
    displays::ResolutionManager(*machine_, log_).setMode(4, 1280, 720, false, 60);
    executor().runUntilIdle();
    ASSERT_NE(frameOf(3), before);
    EXPECT_EQ(machine_->windows()[0].frame, frameOf(3));

    // The neighbour goes: the overlay moves with its display once more.
    machine_->disconnectDisplay(4);
    executor().runUntilIdle();
    EXPECT_EQ(machine_->windows()[0].frame, frameOf(3));
    EXPECT_DOUBLE_EQ(machine_->windows()[0].alpha, 0.6);
}

}  // namespace
}  // namespace orvane::test
