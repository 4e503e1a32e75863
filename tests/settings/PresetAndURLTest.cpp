// SPDX-License-Identifier: MIT
// Presets, their schedules and the URL commands over one desk and one store:
// the URL handler drives the preset manager, so their cases share a fixture.
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "settings/AppSettings.h"
#include "settings/CLIHandler.h"
#include "settings/ModelContainer.h"
#include "settings/PresetManager.h"
#include "settings/PresetScheduler.h"
#include "settings/SettingsBindingsStore.h"
#include "support/ScopedTimeZone.h"
#include "support/SimFixture.h"
#include "support/TempDirectory.h"

namespace orvane::settings {
namespace {

using platform::sim::SimDDCPath;
using test::runTask;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

DisplayPresetEntry entry(std::string key, std::string name, double brightness) {
    DisplayPresetEntry e;
    e.displayKey = std::move(key);
    e.displayName = std::move(name);
    e.brightness = brightness;
    return e;
}

/// A DDC monitor (2), a monitor without contrast or volume (3) and a monitor
/// that answers no DDC (4), beside the built-in panel (1), with a store.
class PresetAndURLTest : public test::SimFixture {
  protected:
    PresetAndURLTest() : container(dir / "Orvane.store") { useDesk(); }
    void useDesk(bool withPanel = true) {
        std::vector<platform::sim::SimDisplaySpec> d;
        if (withPanel) d.push_back(test::builtInPanel(1, 0.5f));
        d.push_back(test::named(test::simDisplay(2, SimDDCPath::i2c, 0x10ac, 0xa0c4, 7), "Left"));
        auto partial = test::named(test::simDisplay(3, SimDDCPath::i2c, 0x1111, 2), "Right");
        partial.monitor.features.erase(0x12);
        partial.monitor.features.erase(0x62);
        d.push_back(partial);
        auto dumb = test::named(test::simDisplay(4, SimDDCPath::i2c, 0x2222, 3), "Dumb");
        dumb.monitor.answers = false;
        d.push_back(dumb);
        useDisplays(std::move(d));
    }
    void useDisplays(std::vector<platform::sim::SimDisplaySpec> d) {
        cli.reset();
        presets.reset();
        registry.reset();
        useRig(test::rigOf(d));
        registry = displays::DisplayManager::create(runtime_, services(), log_);
        runTask(executor(), registry->start());
        presets = std::make_shared<PresetManager>(registry, log_, [this] { return ++clock; });
        presets->modelContext = &container.mainContext();
        cli = std::make_unique<CLIHandler>(registry, presets, executor(), log_);
        log_.clear();
    }
    /// The lines a URL logs, without the DDC engine's: an action on the silent
    /// monitor probes it again, which the registry's tests cover.
    std::vector<std::string> handle(const std::string& url) {
        log_.clear();
        cli->handle(url);
        executor().runUntilIdle();
        std::vector<std::string> out;
        for (auto& line : lines()) {
            if (line.rfind("[DDC", 0) != 0) out.push_back(std::move(line));
        }
        return out;
    }
    displays::DisplayState& state(DisplayID id) {
        for (auto& s : registry->displays()) {
            if (s->info.id == id) return *s;
        }
        throw std::out_of_range("display");
    }
    std::uint16_t vcp(DisplayID id, std::uint8_t code) {
        return monitor(id).feature(code)->current;
    }

    test::TempDirectory dir;
    ModelContainer container;
    std::shared_ptr<displays::DisplayManager> registry;
    std::shared_ptr<PresetManager> presets;
    std::unique_ptr<CLIHandler> cli;
    double clock = 1000;
};

TEST_F(PresetAndURLTest, SavedPresetHoldsWhatEachDisplaySupports) {
    handle("orvane://input?display=2&value=17");  // an input is known once switched to
    log_.clear();
    presets->savePreset("Work");
    EXPECT_THAT(lines(), ElementsAre("[PresetManager] Saved preset 'Work' with 4 display(s)"));
    auto all = presets->presets();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0]->createdAt(), 1001);
    const auto entries = all[0]->entries();
    ASSERT_EQ(entries.size(), 4u);
    // In the registry's order: externals by name, then the panel.
    EXPECT_EQ(entries[0].displayName, "Dumb");
    const auto& left = entries[1];
    EXPECT_EQ(left.displayKey, "4268-41156-7");
    EXPECT_EQ(left.contrast, 60.0);
    EXPECT_EQ(left.volume, 20.0);
    EXPECT_EQ(left.inputSource, 17);
    EXPECT_FALSE(entries[2].contrast || entries[2].volume);
    const auto& panel = entries[3];
    EXPECT_EQ(panel.displayName, "Panel");
    EXPECT_EQ(panel.brightness, 50.0);
    EXPECT_TRUE(panel.resolutionWidth && panel.refreshRate);
    EXPECT_FALSE(panel.contrast || panel.volume || panel.inputSource);
}

TEST_F(PresetAndURLTest, ApplyRestoresEveryConnectedDisplayAndSkipsTheRest) {
    auto preset = std::make_shared<DisplayPreset>("Evening", 1, 0);
    preset->setEntries({
        entry("9-9", "Gone", 10.0),
        {"4268-41156-7", "Left", 30.0, 40.0, 50.0, std::uint16_t{17}, 1920, 1080, 60.0, false},
        entry("8738-3", "Dumb", 25.0),
    });
    container.mainContext().insert(preset);
    runTask(executor(), presets->apply(preset));
    EXPECT_THAT(log_.linesStartingWith("[PresetManager]"),
                ElementsAre("[PresetManager] Display 'Gone' not connected - skipping",
                            "[PresetManager] Restored 'Left' from preset 'Evening'",
                            "[PresetManager] Restored 'Dumb' from preset 'Evening'"));
    EXPECT_EQ(vcp(2, 0x10), 30);
    EXPECT_EQ(vcp(2, 0x12), 40);
    EXPECT_EQ(vcp(2, 0x62), 50);
    EXPECT_EQ(vcp(2, 0x60), 17);
    EXPECT_EQ(registry->record(4)->dimmer->currentLevel(), 0.75);
    EXPECT_EQ(preset->lastUsedAt(), 1001);
    EXPECT_FALSE(container.mainContext().hasChanges());  // saved

    // One entry without a display name spoils the document: nothing applies.
    preset->setEntriesJSON(std::vector<std::uint8_t>{'[', '{', '}', ']'});
    log_.clear();
    runTask(executor(), presets->apply(preset));
    EXPECT_THAT(lines(), IsEmpty());
    EXPECT_EQ(preset->lastUsedAt(), 1002);
}

TEST_F(PresetAndURLTest, APresetKeepsTheListedFeaturesSetAndRestoresOnlyWhatTheMonitorTakes) {
    auto left = test::named(test::simDisplay(2, SimDDCPath::i2c, 0x10ac, 0xa0c4, 7), "Left");
    left.monitor.capabilities = "(vcp(10 14(05 08) 87 C9)mccs_ver(2.2))";
    left.monitor.features[0x14] = {0x05, 0x0D};
    left.monitor.features[0x87] = {5, 10};
    left.monitor.features[0xC9] = {3, 0xFFFF};
    useDisplays({left});
    // Set this run: sharpness and the colour preset; read: the firmware
    // level, which is not a setting and stays out.
    handle("orvane://vcp?code=0x87&value=8");
    handle("orvane://vcp?code=0x14&value=8");
    handle("orvane://vcp?code=0xC9");
    presets->savePreset("Night");
    const auto saved = presets->presets().at(0);
    EXPECT_EQ(saved->entries().at(0).features,
              (std::map<std::uint8_t, std::uint16_t>{{0x14, 8}, {0x87, 8}}));
    const std::string json(saved->entriesJSON()->begin(), saved->entriesJSON()->end());
    EXPECT_THAT(json, HasSubstr(R"("features":{"0x14":8,"0x87":8})"));

    handle("orvane://vcp?code=0x87&value=2");
    handle("orvane://vcp?code=0x14&value=5");
    runTask(executor(), presets->apply(saved));
    EXPECT_EQ(vcp(2, 0x87), 8);
    EXPECT_EQ(vcp(2, 0x14), 8);

    // A document naming a value the monitor does not list, or a feature it
    // does not list, writes neither; a features member of another shape is
    // left out and the rest of the preset still applies.
    auto edited = std::make_shared<DisplayPreset>("Edited", 1, 1);
    const std::string doc = R"([{"displayKey":"4268-41156-7","displayName":"Left","brightness":40,)"
                            R"("features":{"0x14":6,"0x16":50,"0x87":3,"sharp":1,"0x12":"x"}}])";
    edited->setEntriesJSON(std::vector<std::uint8_t>(doc.begin(), doc.end()));
    container.mainContext().insert(edited);
    log_.clear();
    runTask(executor(), presets->apply(edited));
    EXPECT_EQ(vcp(2, 0x14), 8);
    EXPECT_EQ(vcp(2, 0x87), 3);
    EXPECT_EQ(vcp(2, 0x10), 40);
    EXPECT_THAT(log_.linesStartingWith("[PresetManager] 'Left' does not list"),
                ElementsAre("[PresetManager] 'Left' does not list Color Preset = 6 - skipping",
                            "[PresetManager] 'Left' does not list Red Gain = 50 - skipping"));
}

TEST_F(PresetAndURLTest, ScheduledPresetsComeIntoForceOnceAtTheirMomentsAndAfterMissingThem) {
    test::ScopedTimeZone zone("Europe/London");
    double wall = test::utc(2024, 6, 20, 19, 0);  // 20:00 in London (BST)
    auto timed = std::make_shared<PresetManager>(registry, log_, [&] { return wall; });
    timed->modelContext = &container.mainContext();
    CLIHandler urls(registry, timed, executor(), log_);
    const auto run = [&](const std::string& url) {
        log_.clear();
        return runTask(executor(), urls.run(url));
    };
    for (auto [name, level] : {std::pair{"Day", 80}, {"Dusk", 50}, {"Night", 20}}) {
        ASSERT_TRUE(run("orvane://brightness?display=2&value=" + std::to_string(level)));
        timed->savePreset(name);
    }
    EXPECT_TRUE(run("orvane://schedule?preset=day&at=07:00"));
    EXPECT_THAT(lines(), Contains("[PresetManager] 'Day' comes into force each day at 07:00"));
    EXPECT_TRUE(run("orvane://schedule?preset=Night&at=22:30"));
    EXPECT_FALSE(run("orvane://schedule?preset=Dusk&at=sunset-30")) << "no location yet";
    EXPECT_FALSE(run("orvane://schedule?preset=Dusk&at=dusk"));
    EXPECT_FALSE(run("orvane://location?latitude=91&longitude=0"));
    EXPECT_TRUE(run("orvane://location?latitude=51.5074&longitude=-0.1278"));
    EXPECT_TRUE(run("orvane://schedule?preset=Dusk&at=sunset-30"));
    EXPECT_EQ(timed->nextChange(wall)->preset->name(), "Dusk");

    auto scheduler = std::make_shared<PresetScheduler>(timed, executor(), log_);
    // From here the scheduler's checks keep the executor busy for ever: URLs
    // run for a bounded while.
    const auto runNow = [&](const std::string& url) {
        bool ok = false;
        runtime::spawn(executor(),
                       [](CLIHandler& handler, std::string url, bool& ok) -> runtime::Task<void> {
                           ok = co_await handler.run(std::move(url));
                       }(urls, url, ok));
        executor().runFor(std::chrono::seconds(2));
        return ok;
    };
    const auto scheduled = [&] { return log_.linesStartingWith("[PresetScheduler]"); };
    const auto tick = [&](double seconds) {
        wall += seconds;
        executor().runFor(
            std::chrono::duration_cast<runtime::Duration>(std::chrono::duration<double>(seconds)));
    };
    // 20:00: Day's 07:00 has been applied by nobody, but Dusk (sunset 21:21
    // less 30 min) is later and not due yet: at start Day is in force.
    ASSERT_TRUE(runNow("orvane://brightness?display=2&value=35"));
    log_.clear();
    scheduler->start();
    executor().runFor(std::chrono::seconds(1));
    EXPECT_THAT(scheduled(), ElementsAre("[PresetScheduler] Applying 'Day', scheduled at 07:00"));
    EXPECT_EQ(vcp(2, 0x10), 80);
    // The user's own change stands until the next moment.
    ASSERT_TRUE(runNow("orvane://brightness?display=2&value=35"));
    log_.clear();
    tick(40 * 60);
    EXPECT_THAT(scheduled(), IsEmpty());
    EXPECT_EQ(vcp(2, 0x10), 35);
    // 20:51 + a few checks: Dusk, once.
    log_.clear();
    tick(20 * 60);
    EXPECT_THAT(scheduled(),
                ElementsAre("[PresetScheduler] Applying 'Dusk', scheduled at sunset-30"));
    EXPECT_EQ(vcp(2, 0x10), 50);

    // Asleep from 21:00 to 07:30 the next day: the checks stop, the wall
    // clock does not. Night's 22:30 and Day's 07:00 were both missed; only
    // Day, in force now, is applied.
    log_.clear();
    wall = test::utc(2024, 6, 21, 6, 30);
    executor().runFor(PresetScheduler::kCheckInterval);
    EXPECT_THAT(scheduled(), ElementsAre("[PresetScheduler] Applying 'Day', scheduled at 07:00"));

    // A new time zone counts from the next check: 22:30 in Tokyo is 13:30 UTC.
    log_.clear();
    test::ScopedTimeZone tokyo("Asia/Tokyo");
    wall = test::utc(2024, 6, 21, 13, 31);
    executor().runFor(PresetScheduler::kCheckInterval);
    EXPECT_THAT(scheduled(), ElementsAre("[PresetScheduler] Applying 'Night', scheduled at 22:30"));
    EXPECT_EQ(vcp(2, 0x10), 20);

    // Unscheduled, a preset is never applied by the clock again.
    EXPECT_TRUE(runNow("orvane://schedule?preset=Night&at=none"));
    EXPECT_FALSE(timed->presets()[2]->schedule());
    scheduler->stop();
}

TEST_F(PresetAndURLTest, TwinsKeepTheirOwnEntries) {
    // Two identical monitors without serials, and nothing else.
    useDisplays({test::named(test::simDisplay(2, SimDDCPath::i2c, 0x1234, 0x42, 0), "Twin"),
                 test::named(test::simDisplay(3, SimDDCPath::i2c, 0x1234, 0x42, 0), "Twin")});
    EXPECT_EQ(registry->displayKey(*registry->displays()[0]), "4660-66");
    EXPECT_EQ(registry->displayKey(*registry->displays()[1]), "4660-66#2");

    runTask(executor(), registry->record(2)->brightness->setBrightness(20));
    runTask(executor(), registry->record(3)->brightness->setBrightness(80));
    registry->displays()[0]->brightness = 20;
    registry->displays()[1]->brightness = 80;
    presets->savePreset("Twins");
    runTask(executor(), registry->writeBrightness(2, 50));
    runTask(executor(), registry->writeBrightness(3, 50));
    runTask(executor(), presets->apply(presets->presets().at(0)));
    EXPECT_EQ(vcp(2, 0x10), 20);
    EXPECT_EQ(vcp(3, 0x10), 80);
}

TEST_F(PresetAndURLTest, StoredValuesAreMadeSafe) {
    // An EDID name that is no UTF-8 is saved with its bad bytes replaced.
    useDisplays({test::named(test::simDisplay(2, SimDDCPath::i2c, 0x10ac, 0xa0c4, 7), "Left"),
                 test::named(test::simDisplay(3, SimDDCPath::i2c, 0x1111, 2), "Dumb\xff\xfe")});
    presets->savePreset("Bytes");
    const auto saved = presets->presets().at(0)->entries();
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(saved[0].displayName, "Dumb\uFFFD\uFFFD");
    EXPECT_THAT(log_.linesStartingWith("[PresetManager] Saved"),
                ElementsAre("[PresetManager] Saved preset 'Bytes' with 2 display(s)"));

    // Out-of-range values clamp; numbers no integer holds read as a bad document.
    auto preset = std::make_shared<DisplayPreset>("Wild", 1, 0);
    const std::string_view wild = R"([{"displayKey":"4268-41156-7","displayName":"Left",)"
                                  R"("brightness":1e308,"contrast":-40,"volume":250}])";
    preset->setEntriesJSON(std::vector<std::uint8_t>(wild.begin(), wild.end()));
    runTask(executor(), presets->apply(preset));
    EXPECT_EQ(vcp(2, 0x10), 100);
    EXPECT_EQ(vcp(2, 0x12), 0);
    EXPECT_EQ(vcp(2, 0x62), 100);
    EXPECT_EQ(state(2).volume.get(), 100.0);
    for (const char* number : {"9.3e18", "-9.3e18", "1e300", "18446744073709551616"}) {
        const std::string doc = std::string(R"([{"displayKey":"k","displayName":"n",)") +
                                R"("resolutionWidth":)" + number + "}]";
        EXPECT_FALSE(decodePresetEntries(std::vector<std::uint8_t>(doc.begin(), doc.end())))
            << number;
    }
}

TEST_F(PresetAndURLTest, NamesFoldAndNumbersReadTheSameInEveryLocale) {
    presets->savePreset("Soirée Été");
    EXPECT_THAT(handle("orvane://preset?name=SOIR%C3%89E%20%C3%89T%C3%89"),
                ::testing::Contains("[CLIHandler] Applied preset: SOIR\u00c9E \u00c9T\u00c9"));
    // A German locale writes 62,5; URLs keep the dot whatever LC_NUMERIC says.
    // The locale is compiled for this test, so the machine needs none installed.
    const std::string command =
        "localedef -i de_DE -f UTF-8 '" + (dir / "de_DE.UTF-8") + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) > 1) {  // 1: warnings only
        GTEST_SKIP() << "localedef or the de_DE locale source is missing (package locales)";
    }
    setenv("LOCPATH", dir.path().c_str(), 1);
    ASSERT_TRUE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"));
    const auto dotted = parseDecimal("62.5");
    const auto comma = parseDecimal("62,5");
    std::setlocale(LC_NUMERIC, "C");
    unsetenv("LOCPATH");
    EXPECT_EQ(dotted, 62.5);
    EXPECT_FALSE(comma);
}

TEST_F(PresetAndURLTest, DefaultPresetIsFoundByExactNameAndClearedOnDelete) {
    runTask(executor(), presets->applyDefaultPreset());
    EXPECT_THAT(lines(), IsEmpty());
    presets->savePreset("Work");
    presets->savePreset("Work");
    presets->savePreset("Home");
    auto all = presets->presets();
    // Two presets of one name: the default is the one saved first.
    auto second = all[1]->entries();
    second[0].brightness = 5.0;
    all[1]->setEntries(second);
    presets->setDefault("work");
    log_.clear();
    runTask(executor(), presets->applyDefaultPreset());
    EXPECT_THAT(lines(), ElementsAre("[PresetManager] Default preset 'work' not found - skipping"));
    presets->setDefault("Work");
    state(2).brightness = 99;
    log_.clear();
    runTask(executor(), presets->applyDefaultPreset());
    EXPECT_EQ(lines().front(), "[PresetManager] Applying default preset 'Work' on launch");
    EXPECT_EQ(state(2).brightness.get(), 50.0);

    log_.clear();
    presets->remove(all[2]);  // not the default
    presets->remove(all[0]);
    EXPECT_THAT(lines(), ElementsAre("[PresetManager] Default preset cleared"));
    EXPECT_FALSE(fetchOrCreateSettings(container.mainContext())->defaultPresetName());
    EXPECT_EQ(presets->presets().size(), 1u);

    PresetManager detached(registry, log_);
    log_.clear();
    detached.savePreset("x");
    detached.setDefault("x");
    EXPECT_THAT(lines(), ElementsAre("[PresetManager] No model context - can't save preset"));
}

TEST_F(PresetAndURLTest, BrightnessSelectionAndNumbers) {
    EXPECT_THAT(handle("orvane://brightness?value=50"),
                ElementsAre("[CLIHandler] Received URL: orvane://brightness?value=50"));
    for (DisplayID id : {1u, 2u, 3u, 4u})
        EXPECT_EQ(state(id).brightness.get(), 50.0) << id;
    EXPECT_EQ(vcp(2, 0x10), 50);
    EXPECT_EQ(registry->record(4)->dimmer->currentLevel(), 0.5);

    handle("orvane://brightness?display=2&delta=-60");  // list order: Dumb, Left, Right, Panel
    EXPECT_EQ(state(2).brightness.get(), 0.0);
    EXPECT_EQ(state(3).brightness.get(), 50.0);
    // An empty selector is none at all; a word or number that names no
    // display sets none, and says what would.
    handle("orvane://brightness?value=40&display=");
    EXPECT_EQ(state(1).brightness.get(), 40.0);
    EXPECT_EQ(state(2).brightness.get(), 40.0);
    state(1).brightness = 0;
    for (const std::string selector : {"abc", "-1", "2.0", "0", "9", "99999999999999"}) {
        const bool number = selector.find_first_not_of("0123456789") == std::string::npos;
        EXPECT_THAT(handle("orvane://brightness?value=70&display=" + selector),
                    Contains(StartsWith(
                        "[CLIHandler] No display " + selector +
                        (number ? ": there are 4" : " - use one of all, external, 1-4, "))));
        EXPECT_EQ(state(1).brightness.get(), 0.0) << selector;
        EXPECT_EQ(state(2).brightness.get(), 40.0) << selector;
    }
    handle("orvane://brightness?display=EXTERNAL&value=150");
    EXPECT_EQ(state(2).brightness.get(), 100.0);
    EXPECT_EQ(state(1).brightness.get(), 0.0);
    handle("orvane://brightness?display=+4&value=-5");
    EXPECT_EQ(state(1).brightness.get(), 0.0);
    // The key presets use names a display whatever its place in the list.
    const std::string key = registry->displayKey(state(1));
    handle("orvane://brightness?display=" + key + "&value=abc&delta=5");
    EXPECT_EQ(state(2).brightness.get(), 100.0);
    EXPECT_EQ(state(1).brightness.get(), 5.0);
    for (const char* first : {"1", "000000000000001"}) {  // leading zeros name the same one
        handle("orvane://brightness?display=1&value=10");
        handle(std::string("orvane://brightness?value=25&display=") + first);
        EXPECT_EQ(registry->record(4)->dimmer->currentLevel(), 0.75) << first;
    }
}

TEST_F(PresetAndURLTest, EachURLSaysWhetherItDidWhatItAsked) {
    const auto outcome = [&](const std::string& url) {
        log_.clear();
        return runTask(executor(), cli->run(url));
    };
    presets->savePreset("Work");
    for (const char* ok :
         {"orvane://brightness?value=30", "orvane://brightness?display=2&delta=5",
          "orvane://contrast?value=40", "orvane://info", "orvane://preset?name=work",
          "orvane://power?display=2&value=on", "orvane://input?display=2&value=15"}) {
        EXPECT_TRUE(outcome(ok)) << ok;
    }
    for (const char* failed :
         {"orvane://dim?value=3", "orvane://brightness", "orvane://brightness?value=x",
          "orvane://brightness?display=7&value=5", "orvane://contrast?display=3&value=5",
          "orvane://preset?name=nope", "orvane://preset", "orvane://power?value=sideways",
          "http://info", "orvane://input?value=-1"}) {
        EXPECT_FALSE(outcome(failed)) << failed;
        EXPECT_EQ(log_.countStartingWith("[CLIHandler] ") -
                      log_.countStartingWith("[CLIHandler] Received URL"),
                  1u)
            << failed << ": one line says why";
    }

    // A write the monitor refuses fails its URL, for every kind of control.
    // (Display 2 in the list is the Left monitor, ID 2.)
    for (const auto& [url, code] : std::vector<std::pair<std::string, std::uint8_t>>{
             {"orvane://input?display=2&value=17", 0x60},
             {"orvane://power?display=2&value=off", 0xD6},
             {"orvane://volume?display=2&value=5", 0x62},
             {"orvane://contrast?display=2&value=5", 0x12}}) {
        machine_->monitor(2)->clearFaults();
        addFault(2, platform::sim::SimFaultKind::sendStatus, code);
        EXPECT_FALSE(outcome(url)) << url;
    }
    machine_->monitor(2)->clearFaults();
}

TEST_F(PresetAndURLTest, OtherCommands) {
    // Each URL in turn, and what the Left monitor holds afterwards.
    const struct {
        const char* url;
        std::uint8_t code;
        std::uint16_t expected;
    } steps[] = {
        {"orvane://contrast?value=40", 0x12, 40},
        {"orvane://volume?display=external&value=70", 0x62, 70},
        {"orvane://input?value=17", 0x60, 17},
        {"orvane://input?value=65536", 0x60, 17},
        {"orvane://power?value=Standby", 0xD6, 2},
        {"orvane://power?value=+1", 0xD6, 1},
        {"orvane://power?value=2", 0xD6, 2},
        {"orvane://power?value=6", 0xD6, 2},
        {"orvane://power?value=toggle", 0xD6, 1},
    };
    for (const auto& step : steps) {
        handle(step.url);
        EXPECT_EQ(vcp(2, step.code), step.expected) << step.url;
    }
    EXPECT_EQ(state(3).contrast.get(), 50.0);  // no contrast support: untouched

    EXPECT_THAT(handle("orvane://Brightness?value=50"),
                ElementsAre(::testing::_, "[CLIHandler] Unknown command: Brightness"));
    EXPECT_THAT(handle("orvane://?value=50"),
                ElementsAre(::testing::_, "[CLIHandler] Unknown command: "));
    EXPECT_THAT(handle("orvane://preset"),
                ElementsAre(::testing::_, "[CLIHandler] preset command requires 'name' parameter"));
    EXPECT_THAT(handle("orvane://preset?name=nope"),
                ElementsAre(::testing::_, "[CLIHandler] Preset not found: nope"));
    presets->savePreset("Work");
    handle("orvane://preset?name=work");
    EXPECT_THAT(log_.linesStartingWith("[CLIHandler] Applied"),
                ElementsAre("[CLIHandler] Applied preset: work"));
    EXPECT_EQ(log_.countStartingWith("[PresetManager] Restored"), 4u);
    EXPECT_THAT(handle("orvane:brightness?value=0"),
                ElementsAre(::testing::_, "[CLIHandler] Unknown command: "));
    for (const std::string ignored : {"http://brightness?value=0", "ORVANE://brightness?value=0",
                                      "not a url", "orvane://bri ghtness"}) {
        EXPECT_THAT(handle(ignored), ElementsAre("[CLIHandler] Not an orvane:// URL: " + ignored));
    }
    // Longer than 64 KiB: refused unparsed.
    EXPECT_THAT(handle("orvane://brightness?value=" + std::string(100000, '9')),
                ElementsAre("[CLIHandler] Refused URL of 100026 bytes (at most 65536)"));
}

TEST_F(PresetAndURLTest, KeyCommandsDoWhatTheKeysDo) {
    const double step = registry->mediaKeyInterceptor()->brightnessStep();
    ASSERT_GT(step, 0);
    const auto shown = [this](DisplayID d) {
        const auto& panels = registry->osdManager()->customOSDs();
        return panels.count(d) && panels.at(d)->hasWindow();
    };
    EXPECT_TRUE(runTask(executor(), cli->run("orvane://key?action=brightness-up")));
    executor().runUntilIdle();
    EXPECT_EQ(state(2).brightness.get(), 50 + step);
    EXPECT_EQ(vcp(2, 0x10), static_cast<std::uint16_t>(std::lround(50 + step)));
    EXPECT_TRUE(shown(2)) << "the on-screen panel, as for the key";
    // Any case; what each key does is the keys' own tests' to show.
    handle("orvane://key?action=CONTRAST-DOWN");
    EXPECT_EQ(state(2).contrast.get(), 60 - step);
    // What no key does, and a key no display takes, are failures that say why.
    EXPECT_FALSE(runTask(executor(), cli->run("orvane://key?action=sharpness-up")));
    EXPECT_THAT(log_.lines().back(), HasSubstr("key command requires 'action': brightness-up"));
    useDisplays({test::builtInPanel(1, 0.5f)});
    EXPECT_FALSE(runTask(executor(), cli->run("orvane://key?action=volume-down")));
    EXPECT_EQ(log_.lines().back(), "[CLIHandler] No display takes volume");
    // Setting nothing is no success.
    EXPECT_FALSE(runTask(executor(), cli->run("orvane://brightness?display=external&value=5")));
    EXPECT_EQ(log_.lines().back(), "[CLIHandler] No external display connected");
    useDisplays({});
    EXPECT_FALSE(runTask(executor(), cli->run("orvane://brightness?value=50")));
    EXPECT_EQ(log_.lines().back(), "[CLIHandler] No display connected");
}

TEST_F(PresetAndURLTest, RecordingKeepsUnreadableBindings) {
    auto settings = fetchOrCreateSettings(container.mainContext());
    settings->setShortcutBindingsJSON(std::vector<std::uint8_t>{'[', '1', ']'});
    SettingsBindingsStore store(container.mainContext(), (dir / "backup"), log_);
    EXPECT_THAT(store.shortcutBindings(), IsEmpty());
    store.setShortcutBindings({{"volume_up", {0, 512}}});
    store.save();
    EXPECT_THAT(lines().back(), HasSubstr("[AppSettings] Kept unreadable shortcut bindings in "));
    std::ifstream kept(dir / "backup/shortcutBindings.unreadable.1.json");
    std::string text((std::istreambuf_iterator<char>(kept)), {});
    EXPECT_EQ(text, "[1]");
    EXPECT_EQ(store.shortcutBindings().size(), 1u);
    store.setShortcutBindings({});  // readable now: no second copy
    EXPECT_FALSE(std::filesystem::exists(dir / "backup/shortcutBindings.unreadable.2.json"));
}

}  // namespace
}  // namespace orvane::settings
