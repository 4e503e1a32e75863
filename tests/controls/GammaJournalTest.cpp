// SPDX-License-Identifier: MIT
// Gamma tables survive a run that ends without putting them back.

#include "controls/GammaJournal.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>

#include "displays/DisplayManager.h"
#include "support/SimFixture.h"
#include "support/TempDirectory.h"

namespace orvane::test {
namespace {

using controls::GammaJournal;
using controls::SoftwareDimmer;
using platform::sim::SimDDCPath;
using ::testing::Contains;

class GammaJournalTest : public SimFixture {
  protected:
    void SetUp() override {
        // Neither monitor answers DDC: both are dimmed through their gamma
        // tables, which start as a 2.2 and a 1.8 curve, not the identity.
        auto a = simDisplay(2, SimDDCPath::i2c, 0x2222, 2);
        auto b = simDisplay(3, SimDDCPath::i2c, 0x3333, 3);
        a.monitor.answers = b.monitor.answers = false;
        a.gamma = 2.2;
        b.gamma = 1.8;
        useRig(rigOf({a, b}));
        originals_ = {machine_->gammaTables(2), machine_->gammaTables(3)};
    }
    /// A run of the registry with its journal; never stopped unless the test does.
    std::shared_ptr<displays::DisplayManager> run() {
        auto manager = displays::DisplayManager::create(runtime_, services(), log_);
        manager->reprobeOnTimer = false;
        manager->dimmingMethod = SoftwareDimmer::Method::gamma;
        manager->gammaJournal = std::make_shared<GammaJournal>(path_, log_);
        runTask(executor(), manager->start());
        runs_.push_back(manager);
        return manager;
    }
    void expectOriginal() {
        EXPECT_EQ(machine_->gammaTables(2), originals_[0]);
        EXPECT_EQ(machine_->gammaTables(3), originals_[1]);
    }

    /// What an earlier run left for display 2: its true tables, or others.
    void leaveJournal(const platform::sim::SimMachine::GammaTables& t) {
        nlohmann::json doc = {
            {"version", 1},
            {"displays", {{"2", {{"red", t[0]}, {"green", t[1]}, {"blue", t[2]}}}}}};
        std::ofstream(path_) << doc.dump();
    }
    static platform::sim::SimMachine::GammaTables scaled(platform::sim::SimMachine::GammaTables t,
                                                         float factor) {
        for (auto& channel : t)
            for (auto& v : channel)
                v *= factor;
        return t;
    }

    TempDirectory dir_;
    std::string path_ = (dir_.path() / "orvane-gamma-sim.json").string();
    std::vector<platform::sim::SimMachine::GammaTables> originals_;
    std::vector<std::shared_ptr<displays::DisplayManager>> runs_;  // the "dead" ones too
};

TEST_F(GammaJournalTest, ARunThatDiesDimmedIsMendedByTheNextStartEveryTime) {
    std::mt19937 random(11);
    for (int trial = 0; trial < 100; ++trial) {
        auto dying = run();
        const double level = double(random() % 99);  // 0...98 %: always dimmed
        runTask(executor(), dying->writeBrightness(2, level));
        if (trial % 2) runTask(executor(), dying->writeBrightness(3, level / 2));
        ASSERT_NE(machine_->gammaTables(2), originals_[0]);
        ASSERT_TRUE(std::filesystem::exists(path_));
        // The run ends here with nothing put back (kill -9); the next one starts.
        log_.clear();
        auto next = run();
        expectOriginal();
        ASSERT_NE(machine_->gammaTables(2)[0], linearRamp(machine_->gammaTables(2)[0].size()))
            << "never the identity ramp";
        EXPECT_THAT(log_.lines(), Contains("[GammaJournal] Restored the gamma tables of display 2 "
                                           "left dimmed by an earlier run"));
        EXPECT_FALSE(std::filesystem::exists(path_));
        // It dims again from the true originals, not from what the dead run left.
        runTask(executor(), next->writeBrightness(2, 50));
        EXPECT_FLOAT_EQ(machine_->gammaTables(2)[1][200], originals_[0][1][200] * 0.5f);
        next->stop();
        expectOriginal();
        ASSERT_FALSE(std::filesystem::exists(path_)) << "a clean end leaves no journal";
    }
}

TEST_F(GammaJournalTest, AJournalThatCannotBeReadOrWrittenNeverHarmsTheScreen) {
    // Torn, foreign or hostile contents: said, removed, nothing written.
    for (const std::string text :
         {"", "{", "[]", R"({"displays": 3})", R"({"displays": {"2": {"red": [2.0]}}})",
          R"({"displays": {"x": {"red": [0], "green": [0], "blue": [0]}}})",
          R"({"displays": {"2": {"red": [0, 1], "green": [0], "blue": [0, 1]}}})"}) {
        std::ofstream(path_) << text;
        log_.clear();
        run()->stop();
        expectOriginal();
        EXPECT_FALSE(std::filesystem::exists(path_)) << text;
        EXPECT_THAT(log_.lines(), Contains(::testing::StartsWith("[GammaJournal] Ignored")))
            << text;
    }
    // A folder that cannot be written: dimming still works, and says what it lacks.
    path_ = (dir_.path() / "missing" / "orvane-gamma-sim.json").string();
    auto manager = run();
    runTask(executor(), manager->writeBrightness(2, 30));
    runTask(executor(), manager->writeBrightness(2, 20));
    EXPECT_NE(machine_->gammaTables(2), originals_[0]);
    EXPECT_EQ(log_.countStartingWith("[GammaJournal] Could not save"), 1u);
    manager->stop();
    expectOriginal();
}

TEST_F(GammaJournalTest, ADisplayThatComesBackShowingItsDimmedRampKeepsItsTrueOriginal) {
    auto manager = run();
    runTask(executor(), manager->writeBrightness(2, 40));
    const auto dimmed = machine_->gammaTables(2);
    ASSERT_NE(dimmed, originals_[0]);
    // Unplugged and back, still showing the dimmed ramp, as an X server keeps it.
    auto spec = simDisplay(2, SimDDCPath::i2c, 0x2222, 2);
    spec.monitor.answers = false;
    spec.gamma = 2.2;
    spec.shownGamma = dimmed;
    machine_->disconnectDisplay(2);
    executor().runFor(std::chrono::seconds(5));
    machine_->connectDisplay(spec);
    executor().runFor(std::chrono::seconds(5));
    // Dimmed from the journal's original, never from what it showed.
    EXPECT_EQ(machine_->gammaTables(2), scaled(originals_[0], 0.4f));
    runTask(executor(), manager->writeBrightness(2, 100));
    EXPECT_EQ(machine_->gammaTables(2), originals_[0]);
    runTask(executor(), manager->writeBrightness(2, 70));
    manager->stop();
    expectOriginal();
    EXPECT_FALSE(std::filesystem::exists(path_));
}

TEST_F(GammaJournalTest, OnlyADisplayStillShowingTheDimmingGetsTablesBack) {
    // Since the earlier run, display 2 shows a ramp of someone else's.
    const auto others = scaled(machine_->gammaTables(3), 1.0f);
    setTables(*machine_, 2, others[0], others[1], others[2]);
    leaveJournal(originals_[0]);
    run()->stop();
    EXPECT_EQ(machine_->gammaTables(2), others) << "written over what it shows";
    EXPECT_THAT(log_.lines(), Contains("[GammaJournal] Left display 2 as it is: it no longer "
                                       "shows the tables Orvane dimmed"));
    EXPECT_FALSE(std::filesystem::exists(path_));

    // Black tables are no display's own: never restored, whatever it shows.
    const auto dark = scaled(originals_[0], 0.3f);
    setTables(*machine_, 2, dark[0], dark[1], dark[2]);
    leaveJournal(scaled(originals_[0], 0.0f));
    log_.clear();
    run()->stop();
    EXPECT_EQ(machine_->gammaTables(2), dark);
    EXPECT_THAT(log_.lines(),
                Contains("[GammaJournal] Ignored the entry for display 2: its tables are black"));

    // A journal others could have planted is never read, and left where it is.
    leaveJournal(originals_[0]);
    for (const auto& [file, folder] : {std::pair{0666, 0700}, std::pair{0600, 0777}}) {
        chmod(path_.c_str(), mode_t(file));
        chmod(dir_.path().c_str(), mode_t(folder));
        log_.clear();
        run()->stop();
        EXPECT_EQ(machine_->gammaTables(2), dark);
        EXPECT_THAT(
            log_.lines(),
            Contains(::testing::StartsWith("[GammaJournal] Ignored the gamma journal " + path_)));
        EXPECT_TRUE(std::filesystem::exists(path_));
    }
    chmod(dir_.path().c_str(), 0700);
}

}  // namespace
}  // namespace orvane::test
