// SPDX-License-Identifier: MIT
// The built binary as a resident instance: a second start hands its URLs
// over, signals end it cleanly, and a run killed while dimmed is mended by
// the next.

#include <cmath>
#include <random>

#include <gmock/gmock.h>

#include "e2e/ResidentInstance.h"

namespace orvane::test {
namespace {

class ResidentInstanceTest : public BinaryTest {};

TEST_F(ResidentInstanceTest, SecondStartHandsItsURLsToTheRunningInstance) {
    const auto out = dir / "out.json";
    ResidentInstance first(command({"--rig", rig(), "--rig-out", out}), dir / "run/orvane.sock");
    EXPECT_EQ((std::filesystem::status(dir / "run/orvane.sock").permissions() &
               std::filesystem::perms::all),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    // The second start prints what the instance logged for its URLs, the
    // listing included; the commands run once the first scan has ended.
    const auto second = run({"orvane://contrast?display=external&value=33", "orvane://info"});
    EXPECT_EQ(second.status, 0);
    EXPECT_THAT(
        second.lines,
        Contains("[AppDelegate] Received URL: orvane://contrast?display=external&value=33"));
    EXPECT_THAT(second.lines, Contains("  Contrast: 33%"));
    EXPECT_THAT(second.lines, Not(Contains(HasSubstr("Scanning connected displays"))));
    // A forwarding start asks for documents: the listing as JSON on its
    // standard output, the instance's lines on its standard error.
    const auto documents = run({"--json", "orvane://info"}, Errors::apart);
    EXPECT_EQ(documents.status, 0);
    ASSERT_EQ(documents.lines.size(), 1u);
    EXPECT_EQ(json::parse(documents.lines[0]).at("displays").at(0).at("contrast"), 33);
    EXPECT_THAT(documents.errors, Contains("[CLIHandler] Received URL: orvane://info"));
    // --once hands its URLs over too, instead of starting a second application.
    const auto once = run({"--once", "orvane://info"});
    EXPECT_EQ(once.status, 0);
    EXPECT_THAT(once.lines, Contains("[CLIHandler] Received URL: orvane://info"));
    EXPECT_THAT(once.lines, Not(Contains(HasSubstr("[Orvane] Running on"))));
    // A URL the instance could not carry out fails the forwarding start, and
    // a start that hands over touches no bus: not even the one on its desk.
    test::SysfsTree tree(dir / "machine");
    tree.adapter(4, "0x030000");
    tree.deviceNode(4);
    tree.connector("card0-DP-1", true, test::edidFile("office-27.bin"), 4);
    onLinux(tree, "4");
    const auto failed = run({"orvane://preset?name=nope", "orvane://info"});
    EXPECT_EQ(failed.status, 1);
    EXPECT_THAT(failed.lines, Contains("[CLIHandler] Preset not found: nope"));
    EXPECT_THAT(failed.lines, Contains(::testing::StartsWith("Display 1: ")))
        << "the URLs after a failed one still run";
    EXPECT_EQ(run({"--once", "orvane://info"}).status, 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "i2c.log")) << "a bus was opened or probed";
    extraEnvironment.clear();
    int status = -1;
    const auto lines = first.stop(SIGINT, status);
    EXPECT_EQ(status, 0);
    EXPECT_THAT(
        lines, Contains("[AppDelegate] Received URL: orvane://contrast?display=external&value=33"));
    EXPECT_THAT(lines, Contains("  Contrast: 33%"));
    EXPECT_THAT(lines, Contains("[AppDelegate] Orvane terminating - cleaning up"));
    EXPECT_EQ(display(state(out), 2).at("vcp").at("0x12"), json::array({33, 100}));
    EXPECT_FALSE(std::filesystem::exists(dir / "run/orvane.sock"));
}

TEST_F(ResidentInstanceTest, InADesktopSessionTheGUIRunsTheSameApplication) {
    // offscreen has no tray: the popover stands alone, and says why.
    extraEnvironment = {"QT_QPA_PLATFORM=offscreen"};
    const auto out = dir / "out.json";
    ResidentInstance gui(command({"--rig", rig(), "--rig-out", out}), dir / "run/orvane.sock");
    const auto second = run({"orvane://brightness?display=1&value=35", "orvane://info"});
    EXPECT_EQ(second.status, 0);
    EXPECT_THAT(second.lines,
                Contains("[AppDelegate] Received URL: orvane://brightness?display=1&value=35"));
    int status = -1;
    const auto lines = gui.stop(SIGTERM, status);
    EXPECT_EQ(status, 0);
    EXPECT_THAT(lines, Contains(HasSubstr("[Gui] No system tray in this session")));
    EXPECT_THAT(lines, Contains("[AppDelegate] Orvane terminating - cleaning up"));
    EXPECT_EQ(display(state(out), 2).at("vcp").at("0x10"), json::array({35, 100}));

    // --headless keeps the windows away even with a display server there.
    ResidentInstance headless(command({"--headless", "--rig", rig()}), dir / "run/orvane.sock");
    const auto lines2 = headless.stop(SIGTERM, status);
    EXPECT_EQ(status, 0);
    EXPECT_THAT(lines2, Not(Contains(HasSubstr("[Gui]"))));
    EXPECT_THAT(lines2, Contains("[AppDelegate] Orvane terminating - cleaning up"));
}

TEST_F(ResidentInstanceTest, ASignalDuringDimmingLeavesEveryDisplayUndimmed) {
    for (int signal : {SIGTERM, SIGHUP, SIGQUIT, SIGINT}) {
        const auto out = dir / "out.json";
        ResidentInstance instance(
            command({"--rig", rig(), "--rig-out", out, "orvane://brightness?value=10"}),
            dir / "run/orvane.sock");
        EXPECT_TRUE(instance.waitFor("[CLIHandler] Received URL: orvane://brightness?value=10",
                                     std::chrono::seconds(30)));
        int status = -1;
        const auto lines = instance.stop(signal, status);
        EXPECT_EQ(status, 0) << signal;
        const auto s = state(out);
        EXPECT_TRUE(s.at("windows").empty()) << signal;
        for (const auto& d : s.at("displays"))
            EXPECT_EQ(d.at("gamma"), "original");
        EXPECT_THAT(lines, Contains("[AppDelegate] Orvane terminating - cleaning up"));
    }
}

TEST_F(ResidentInstanceTest, AfterARunDiesDimmedTheNextStartGivesTheGammaTablesBack) {
    // A session without overlays dims the projector (no DDC; display 2 of the
    // list, id 3) through gamma.
    json desk;
    std::ifstream(rig()) >> desk;
    desk["overlays"] = false;
    for (auto& d : desk["displays"])
        if (d["id"] == 3) d["gamma"] = 2.2;
    const auto writeRig = [&](const json& r, const std::string& path) {
        std::ofstream(path) << r.dump();
        return path;
    };
    const auto gammaRig = writeRig(desk, dir / "gamma.json");
    const auto journal = dir / "run/orvane-gamma-sim.json";
    const char* env = std::getenv("ORVANE_E2E_CRASH_TRIALS");
    const int trials = env ? std::atoi(env) : 1;
    std::mt19937 random(11);
    for (int trial = 0; trial < trials; ++trial) {
        for (int signal : {SIGKILL, SIGSEGV, SIGABRT}) {
            const std::string what =
                "trial " + std::to_string(trial) + ", signal " + std::to_string(signal);
            const int level = 5 + static_cast<int>(random() % 90);
            ResidentInstance dying(
                command({"--rig", gammaRig,
                         "orvane://brightness?display=2&value=" + std::to_string(level)}),
                dir / "run/orvane.sock");
            // The originals are on disk before the first dimmed table is written.
            ASSERT_TRUE(waitForPath(journal, std::chrono::seconds(30))) << what;
            std::this_thread::sleep_for(std::chrono::milliseconds(random() % 50));
            int status = 0;
            const auto lines = dying.stop(signal, status);
            ASSERT_EQ(status, -1) << what << ": the run was killed";
            EXPECT_THAT(lines, Not(Contains(HasSubstr("terminating")))) << what;

            // The screen as the dead run left it: the projector still dimmed.
            json left = desk;
            for (auto& d : left["displays"]) {
                if (d["id"] != 3) continue;
                json tables;
                for (const char* colour : {"red", "green", "blue"}) {
                    for (int i = 0; i < 256; ++i)
                        tables[colour].push_back(std::pow(i / 255.0, 2.2) * level / 100.0);
                }
                d["shownGamma"] = tables;
            }
            const auto out = dir / "out.json";
            const auto next =
                run({"--once", "--rig", writeRig(left, dir / "left.json"), "--rig-out", out});
            EXPECT_EQ(next.status, 0) << what;
            EXPECT_TRUE(
                next.has("[GammaJournal] Restored the gamma tables of display 3 left "
                         "dimmed by an earlier run"))
                << what;
            EXPECT_EQ(display(state(out), 3).at("gamma"), "original")
                << what << ": the tables the dead run found, exactly";
            EXPECT_FALSE(std::filesystem::exists(journal)) << what;
        }
    }
}

TEST_F(ResidentInstanceTest, AHandOverNeverWaitsForEverNorTouchesTheInstancesJournal) {
    json desk;
    std::ifstream(rig()) >> desk;
    desk["overlays"] = false;
    const auto gammaRig = dir / "gamma.json";
    std::ofstream(gammaRig) << desk.dump();
    const auto journal = dir / "run/orvane-gamma-sim.json";
    ResidentInstance resident(
        command({"--rig", gammaRig, "orvane://brightness?display=2&value=30"}),
        dir / "run/orvane.sock");
    ASSERT_TRUE(waitForPath(journal, std::chrono::seconds(30)));

    // Beside it, a start without URLs runs no application of its own: the
    // resident's journal stays.
    const auto once = run({"--once", "--rig", gammaRig}, Errors::merged);
    EXPECT_EQ(once.status, 0);
    EXPECT_THAT(once.lines, ElementsAre("[Orvane] Orvane is already running"));
    EXPECT_TRUE(std::filesystem::exists(journal));

    // A stale DISPLAY loses no URL: the hand-over comes before any window.
    extraEnvironment = {"DISPLAY=:93"};
    const auto stale = run({"orvane://info"}, Errors::merged);
    EXPECT_EQ(stale.status, 0);
    EXPECT_THAT(stale.lines, Contains("[CLIHandler] Received URL: orvane://info"));

    // A stopped instance gets a deadline, and the start says so.
    kill(resident.pid(), SIGSTOP);
    extraEnvironment = {"ORVANE_HANDOVER_TIMEOUT=0.5"};
    const auto stopped = run({"orvane://info"}, Errors::merged);
    EXPECT_EQ(stopped.status, 1);
    EXPECT_THAT(stopped.lines, Contains("orvane: the running instance does not answer"));
    // A signal ends the wait at once, long before the deadline.
    extraEnvironment = {"ORVANE_HANDOVER_TIMEOUT=600"};
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t waiting = spawnWithOutput(command({"orvane://info"}), fds);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(waiting, SIGTERM);
    int status = 0;
    for (int i = 0; i < 300 && waitpid(waiting, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "still waiting";
    if (!WIFSIGNALED(status)) kill(waiting, SIGKILL), waitpid(waiting, &status, 0);
    close(fds[0]);
    kill(resident.pid(), SIGCONT);
    extraEnvironment.clear();

    resident.stop(SIGTERM, status);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(std::filesystem::exists(journal)) << "a clean end leaves none";

    // With no instance, a stale DISPLAY runs without windows, and says why.
    extraEnvironment = {"DISPLAY=:93"};
    ResidentInstance alone(command({"--rig", rig()}), dir / "run/orvane.sock", true);
    extraEnvironment.clear();
    const auto lines = alone.stop(SIGTERM, status);
    EXPECT_EQ(status, 0);
    EXPECT_THAT(lines, Contains("orvane: no display server answers at DISPLAY=:93 - "
                                "running without windows"));
}

TEST_F(ResidentInstanceTest, TheDefaultPresetAppliesWhenTheResidentInstanceLaunches) {
    storeEveningAsDefault(storePath());
    const auto out = dir / "out.json";
    {
        ResidentInstance instance(command({"--rig", rig(), "--rig-out", out}),
                                  dir / "run/orvane.sock");
        EXPECT_TRUE(instance.waitFor("[PresetManager] Restored 'Office' from preset 'Evening'",
                                     std::chrono::seconds(30)));
        int status = -1;
        instance.stop(SIGTERM, status);
        EXPECT_EQ(status, 0);
    }
    const auto s = state(out);
    EXPECT_EQ(display(s, 2).at("vcp").at("0x10"), json::array({20, 100}));
    EXPECT_EQ(display(s, 2).at("mode").at("width"), 1920);
}

}  // namespace
}  // namespace orvane::test
