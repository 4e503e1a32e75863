// SPDX-License-Identifier: MIT
// One-shot runs of the built binary: URLs on the command line, a store on
// disk, a machine of sysfs files and emulated buses.

#include <sys/file.h>

#include <cstdlib>

#include <gmock/gmock.h>

#include "e2e/BinaryTest.h"
#include "store/SQLiteDatabase.h"

namespace orvane::test {
namespace {

class CommandLineTest : public BinaryTest {};

TEST_F(CommandLineTest, OnceRunsEveryCommandAndWritesTheMachineState) {
    const auto out = dir / "out.json";
    const auto r = run({"--once", "--rig", rig(), "--rig-out", out, "orvane://info",
                        "orvane://brightness?display=external&value=60",
                        "orvane://contrast?display=1&value=40", "orvane://volume?value=55",
                        "orvane://input?display=Office&value=17", "orvane://power?value=standby",
                        "orvane://brightness?display=2&delta=-25", "orvane://info"});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.lines.front(), "[Orvane] Running on simulated machine \"desk\" with 3 displays");
    EXPECT_THAT(r.lines, Contains("Display 1: Office - 2560×1440 @ 60Hz"));
    EXPECT_THAT(r.lines, Contains("  Brightness: 70%"));
    EXPECT_THAT(r.lines, Contains("  Brightness: 35%"));  // the projector: 60 - 25
    EXPECT_EQ(r.lines.back(), "[MediaKeyInterceptor] Media key interception stopped");
    const auto s = state(out);
    const auto& office = display(s, 2).at("vcp");
    EXPECT_EQ(office.at("0x10"), json::array({60, 100}));
    EXPECT_EQ(office.at("0x12"), json::array({40, 100}));
    EXPECT_EQ(office.at("0x62"), json::array({55, 100}));
    EXPECT_EQ(office.at("0x60"), json::array({17, 18}));  // "Office" is no index: every display
    EXPECT_EQ(office.at("0xd6"), json::array({2, 5}));
    // Termination cleared the projector's dimming.
    EXPECT_TRUE(s.at("windows").empty());
    EXPECT_EQ(display(s, 3).at("gamma"), "original");
    EXPECT_EQ(display(s, 1).at("panelBrightness"), 0.5);
}

TEST_F(CommandLineTest, AnyFeatureAMonitorListsCanBeListedReadAndSetAndItsListIsKept) {
    auto desk = json::parse(std::ifstream(rig()));
    auto& monitor = desk.at("displays").at(1).at("monitor");
    monitor["capabilities"] =
        "(prot(monitor)type(LCD)model(U2720Q)vcp(10 12 14(05 08 0B) 60(0F 11) 62 87 D6(01 "
        "04))mccs_ver(2.1))";
    monitor["vcp"]["0x87"] = json::array({50, 100});
    monitor["vcp"]["0x14"] = json::array({5, 11});
    const std::string withFeatures = dir / "features.json";
    std::ofstream(withFeatures) << desk.dump();
    const auto out = dir / "out.json";

    auto r = run({"--once", "--rig", withFeatures, "--rig-out", out, "orvane://vcp?display=Office",
                  "orvane://vcp?display=Office&code=0x87&value=70",
                  "orvane://vcp?display=Office&code=0x14&value=7",
                  "orvane://vcp?display=Office&code=0x87"});
    EXPECT_EQ(r.status, 1) << "the color preset 7 is not one the monitor lists";
    EXPECT_THAT(r.lines, Contains("[DDCDisplay] Display 2: capabilities list 7 features"));
    EXPECT_THAT(r.lines, Contains("Office: Color Preset (0x14): 6500 K, 9300 K, User 1"));
    EXPECT_THAT(r.lines, Contains("Office: Input Source (0x60): DisplayPort-1, HDMI-1"));
    EXPECT_THAT(r.lines, Contains("[CLIHandler] Office takes Color Preset (0x14) = 5, 8, 11"));
    EXPECT_THAT(r.lines, Contains("Office: Sharpness (0x87) = 70 (max 100)"));
    EXPECT_EQ(state(out).at("displays").at(1).at("vcp").at("0x87"), json::array({70, 100}));
    EXPECT_EQ(state(out).at("displays").at(1).at("vcp").at("0x14"), json::array({5, 11}));

    // The next start knows the list without asking, and info shows it.
    r = run({"--once", "--json", "--rig", withFeatures,
             "orvane://vcp?display=Office&code=0x14&value=11", "orvane://info"},
            Errors::apart);
    EXPECT_EQ(r.status, 0);
    EXPECT_THAT(r.errors, Contains("[CLIHandler] Received URL: orvane://info"));
    EXPECT_THAT(r.errors, Not(Contains(HasSubstr("capabilities list"))));
    ASSERT_FALSE(r.lines.empty());
    json office;
    const auto doc = json::parse(r.lines.back());
    for (const auto& d : doc.at("displays"))
        if (d.at("name") == "Office") office = d;
    ASSERT_TRUE(office.is_object()) << r.lines.back();
    EXPECT_EQ(office.at("features").at("0x14").at("values").at("0x0b"), "User 1");
    EXPECT_EQ(office.at("features").at("0x87").at("name"), "Sharpness");
    // The five controls keep their own commands.
    EXPECT_EQ(run({"--once", "--rig", withFeatures, "orvane://vcp?code=0x10&value=5"}).status, 1);
}

TEST_F(CommandLineTest, BadURLsChangeNothingAndCrashNothing) {
    const auto before = dir / "before.json", after = dir / "after.json";
    ASSERT_EQ(run({"--once", "--rig", rig(), "--rig-out", before}).status, 0);
    // Just under the 64 KiB a URL may have; one beyond it is refused unread.
    const std::string huge(60000, '9');
    std::vector<std::string> args{"--once", "--rig", rig(), "--rig-out", after};
    for (const char* url :
         {"orvane://Brightness?value=0", "orvane://brightness?value=abc",
          "orvane://brightness?value=", "orvane://contrast?value=nan", "orvane://input?value=99999",
          "orvane://input?value=-3", "orvane://power?value=6", "orvane://preset", "orvane://",
          "orvane://%%%", "orvane://brightness?value=50\n", "orvane:"})
        args.push_back(url);
    for (const auto& url : {"orvane://brightness?value=" + huge, "orvane://volume?value=-" + huge,
                            "orvane://brightness?display=" + huge + "&delta=0",
                            "orvane://contrast?value=1" + std::string(70000, '0')})
        args.push_back(url);
    const auto r = run(args);
    // Every one was run, and a script learns that some did not do what they asked.
    ASSERT_EQ(r.status, 1);
    EXPECT_TRUE(r.has("[CLIHandler] Unknown command: "));  // "orvane:" names none
    auto a = state(before), b = state(after);
    // A huge value clamps to 100 (brightness) and a huge negative one to 0
    // (volume); nothing else may differ.
    auto& office = b["displays"][1]["vcp"];
    EXPECT_EQ(office["0x10"], json::array({100, 100}));
    EXPECT_EQ(office["0x62"], json::array({0, 100}));
    // The panel takes the clamped 100 % through its backlight.
    EXPECT_EQ(b["displays"][0]["panelBrightness"], 1.0);
    b["displays"][0]["panelBrightness"] = a["displays"][0]["panelBrightness"];
    office["0x10"] = a["displays"][1]["vcp"]["0x10"];
    office["0x62"] = a["displays"][1]["vcp"]["0x62"];
    EXPECT_EQ(a, b);
}

TEST_F(CommandLineTest, PresetsSurviveRestartsAndOneShotRunsLeaveTheDefaultAlone) {
    storeEveningAsDefault(storePath());
    const auto out = dir / "out.json";
    // A one-shot volume command must not reset the brightness to the default.
    auto r = run({"--once", "--rig", rig(), "--rig-out", out, "orvane://volume?value=10"});
    ASSERT_EQ(r.status, 0);
    EXPECT_FALSE(r.has("[PresetManager] Applying default preset 'Evening' on launch"));
    auto s = state(out);
    EXPECT_EQ(display(s, 2).at("vcp").at("0x10"), json::array({70, 100}));
    EXPECT_EQ(display(s, 2).at("vcp").at("0x62"), json::array({10, 100}));
    EXPECT_EQ(display(s, 2).at("mode").at("width"), 2560);

    // By URL, case-insensitively; the use is recorded.
    r = run({"--once", "--rig", rig(), "--rig-out", out, "orvane://brightness?value=90",
             "orvane://preset?name=EVENING"});
    EXPECT_TRUE(r.has("[CLIHandler] Applied preset: EVENING"));
    EXPECT_TRUE(r.has("[PresetManager] Restored 'Office' from preset 'Evening'"));
    s = state(out);
    EXPECT_EQ(display(s, 2).at("vcp").at("0x10"), json::array({20, 100}));
    EXPECT_EQ(display(s, 2).at("mode").at("width"), 1920);
    {
        settings::ModelContainer store(storePath());
        const auto presets = store.mainContext().fetch<settings::DisplayPreset>();
        ASSERT_EQ(presets.size(), 1u);
        EXPECT_TRUE(presets[0]->lastUsedAt());
    }
}

TEST_F(CommandLineTest, AStoreThatCannotBeCreatedIsFatal) {
    std::ofstream(dir / "data") << "a file where the data directory should be";
    const auto r = run({"--once", "--rig", rig()});
    EXPECT_NE(r.status, 0);
    ASSERT_FALSE(r.lines.empty());
    EXPECT_THAT(r.lines.back(), HasSubstr("Failed to create SwiftData container: "));

    // Starts at once: none hands its URL to a winner that cannot run and
    // reports success; each fails, and says why.
    std::vector<std::pair<pid_t, int>> starts;
    for (int i = 0; i < 4; ++i) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        starts.emplace_back(spawnWithOutput(command({"--rig", rig(), "orvane://info"}), fds, true),
                            fds[0]);
    }
    for (auto [pid, out] : starts) {
        EXPECT_THAT(splitLines(readAll(out)),
                    Contains(HasSubstr("Failed to create SwiftData container: ")));
        EXPECT_GT(exitStatus(pid), 0);
    }
}

TEST_F(CommandLineTest, HelpVersionAndUnknownOptions) {
    auto r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_THAT(r.lines.front(), HasSubstr("usage: orvane"));
    EXPECT_THAT(r.lines, Contains(HasSubstr("power       value=on, standby, off, toggle or 1-5")));
    r = run({"--version"});
    EXPECT_EQ(r.lines.front(), "orvane " ORVANE_VERSION);  // CMake's project version
    // What is no option of Orvane's, or no orvane:// URL, is refused before
    // anything runs: it is never taken for a URL.
    for (const char* arg :
         {"--frobnicate", "-V", "http://brightness?value=0", "::::", "", "info"}) {
        const auto refused = run({"--rig", rig(), arg}, Errors::merged);
        EXPECT_EQ(refused.status, 2) << arg;
        ASSERT_EQ(refused.lines.size(), 1u) << arg;
        EXPECT_THAT(refused.lines.front(), HasSubstr("(see orvane --help)")) << arg;
    }
    EXPECT_EQ(run({"--rig", dir / "missing.json", "--once"}).status, 1);
    // A platform by name; a rig file describes a simulated machine, never another's.
    EXPECT_EQ(run({"--platform", "sim", "--once"}).status, 0);
    EXPECT_EQ(run({"--platform", "amiga", "--rig", rig(), "--once"}).status, 2);
    // A state file that cannot be written is a failure, not a quiet success.
    EXPECT_EQ(run({"--once", "--rig", rig(), "--rig-out", "/proc/orvane/out.json"}).status, 1);
}

TEST_F(CommandLineTest, OnLinuxTheMonitorsOnI2CBusesAreListedAndWrittenByteForByte) {
    // A machine of sysfs and device files; /dev/i2c-4 answers through the
    // emulator, so the backend's own ioctl calls carry the bytes.
    test::SysfsTree tree(dir / "machine");
    officeAndTV(tree);
    tree.connector("card0-eDP-1", true, test::edidFile("no-descriptors.bin"));
    tree.backlight("acpi_video0", "firmware", 5, 10);
    onLinux(tree, "4");
    const auto r = run({"--once", "orvane://info", "orvane://brightness?display=DP-1&value=60",
                        "orvane://brightness?display=3&value=30", "orvane://info"});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.lines.front(), "[Orvane] Running on Linux with 3 displays, 1 answer DDC/CI");
    // Nothing answers on the TV's bus: said once, right after the start line.
    EXPECT_EQ(r.lines.at(1),
              "[Linux] SAMSUNG on HDMI-A-1: no DDC/CI - no answer at 0x37 on "
              "/dev/i2c-5 (DDC/CI may be off in the monitor's menu)");
    // The monitor's own values, read over the bus, then the ones written;
    // without a display server, the monitor's preferred mode.
    auto block = [&](std::size_t from, const std::string& header) {
        auto it = std::find(r.lines.begin() + static_cast<long>(from), r.lines.end(), header);
        return it == r.lines.end()
                   ? std::vector<std::string>{}
                   : std::vector<std::string>(it + 1, std::min(it + 5, r.lines.end()));
    };
    const auto first = block(0, "Display 1: DELL U2720Q - 3840×2160 @ 59Hz");
    EXPECT_THAT(first, ElementsAre("  DDC: Yes", "  Brightness: 40%", "  Contrast: 50%",
                                   "  Connection: DisplayPort"));
    EXPECT_THAT(block(0, "Display 2: SAMSUNG - 1920×1080 @ 60Hz"),
                ElementsAre("  DDC: No", "  Brightness: 100%", "  Connection: HDMI", ::testing::_));
    EXPECT_THAT(r.lines, Contains("[DisplayManager] Registered: SAMSUNG - 1920×1080 @ 60Hz [DDC: "
                                  "false]"));
    std::size_t secondInfo = 0;
    for (std::size_t i = 0; i < r.lines.size(); ++i) {
        if (r.lines[i] == "[CLIHandler] Received URL: orvane://info") secondInfo = i;
    }
    ASSERT_GT(secondInfo, 0u);
    EXPECT_EQ(block(secondInfo, "Display 1: DELL U2720Q - 3840×2160 @ 59Hz").at(1),
              "  Brightness: 60%");
    EXPECT_EQ(block(secondInfo, "Display 3: Built-in Display - 0×0").at(1), "  Brightness: 30%");
    // The Set VCP Feature request, byte for byte, through the real ioctl.
    const auto transactions = i2cLog();
    EXPECT_THAT(transactions, Contains("4 w 37 51 82 01 10 ac"));
    EXPECT_THAT(transactions, Contains("4 w 37 51 84 03 10 00 3c 94"));
    // The panel through its backlight's file (no logind here): 30 % of 10.
    EXPECT_EQ(tree.read("sys/class/backlight/acpi_video0/brightness"), "3");
}

TEST_F(CommandLineTest, JsonGivesOneDocumentPerInfoAndTheLogGoesToStandardError) {
    test::SysfsTree tree(dir / "machine");
    officeAndTV(tree);
    onLinux(tree, "4");
    const auto r = run({"--json", "--once", "orvane://info",
                        "orvane://brightness?display=DP-1&value=60", "orvane://info"},
                       Errors::apart);
    ASSERT_EQ(r.status, 0);
    ASSERT_EQ(r.lines.size(), 2u) << "one document per info, nothing else";
    EXPECT_THAT(r.errors, Contains("[Orvane] Running on Linux with 2 displays, 1 answer DDC/CI"));
    EXPECT_THAT(r.errors, Not(Contains(::testing::StartsWith("Display 1:"))));
    const auto before = json::parse(r.lines[0]).at("displays");
    const auto after = json::parse(r.lines[1]).at("displays");
    ASSERT_EQ(before.size(), 2u);
    const auto& office = before[0];
    EXPECT_EQ(office.at("connector"), "DP-1");
    EXPECT_EQ(office.at("vendor"), "DEL");
    EXPECT_EQ(office.at("ddc"), json({{"supported", true}, {"reason", nullptr}}));
    EXPECT_EQ(office.at("brightness"), 40);
    EXPECT_EQ(after[0].at("brightness"), 60);
    // The TV: why it has no DDC, and no levels it cannot have.
    const auto& tv = before[1];
    EXPECT_EQ(tv.at("ddc").at("reason"),
              "no answer at 0x37 on /dev/i2c-5 (DDC/CI may be off in the monitor's menu)");
    EXPECT_TRUE(tv.at("contrast").is_null());
    // Without --json, the listing and the log stay on standard output.
    const auto plain = run({"--once", "orvane://info"}, Errors::apart);
    EXPECT_THAT(plain.lines, Contains("  DDC: No"));
    EXPECT_TRUE(plain.errors.empty());
}

TEST_F(CommandLineTest, ABusAnotherProcessHasLockedIsWaitedForAndNeverInterleaved) {
    test::SysfsTree tree(dir / "machine");
    tree.adapter(4, "0x030000");
    tree.deviceNode(4);
    tree.connector("card0-DP-1", true, test::edidFile("office-27.bin"), 4);
    onLinux(tree, "4");
    // Another tool holds the node's lock the same way Orvane takes it.
    const int node = open((tree.root() / "dev/i2c-4").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(node, 0);
    ASSERT_EQ(flock(node, LOCK_EX), 0);
    const auto held = run({"--once", "orvane://info"});
    EXPECT_THAT(held.lines, Contains("[Linux] DELL U2720Q on DP-1: no DDC/CI - /dev/i2c-4 is "
                                     "held by another program"));
    EXPECT_TRUE(i2cLog().empty()) << "a transfer went out on a bus held elsewhere";
    // Let go, and the same start reaches the monitor.
    flock(node, LOCK_UN);
    const auto free = run({"--once", "orvane://brightness?display=DP-1&value=60"});
    EXPECT_EQ(free.status, 0);
    EXPECT_THAT(i2cLog(), Contains("4 w 37 51 84 03 10 00 3c 94"));
    close(node);
}

TEST_F(CommandLineTest, ABusyOrFailingBusIsRetriedAndNeverReportedAsAnAnswer) {
    test::SysfsTree tree(dir / "machine");
    for (int bus : {4, 5, 6}) {
        tree.adapter(bus, "0x030000");
        tree.deviceNode(bus);
    }
    tree.connector("card0-DP-1", true, test::edidFile("office-27.bin"), 4);
    tree.connector("card0-HDMI-A-1", true, test::edidFile("tv-hdmi.bin"), 5);
    tree.connector("card0-DP-2", true, test::edidFile("no-descriptors.bin"), 6);
    // Busy twice, which the start check waits out; failing for ever; gone
    // for the start check's three tries and the probe's first.
    onLinux(tree, "4,5,6", {"ORVANE_I2C_ERRORS=4:EBUSY:2,5:EIO:-1,6:ENXIO:4"});
    const auto r = run({"--once", "orvane://brightness?display=1&value=60",
                        "orvane://brightness?display=2&value=20", "orvane://info"});
    // The busy bus answers; the failing one and the one gone at start have no
    // DDC/CI, and without a display server nothing can dim them: the second
    // URL did not do what it asked.
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.lines.front(), "[Orvane] Running on Linux with 3 displays, 1 answer DDC/CI");
    EXPECT_THAT(r.lines, Contains("[Linux] SAMSUNG on HDMI-A-1: no DDC/CI - /dev/i2c-5 fails: EIO "
                                  "(Input/output error)"));
    EXPECT_THAT(r.lines, Contains("[Linux] DP-2: no DDC/CI - no answer at 0x37 on /dev/i2c-6 "
                                  "(DDC/CI may be off in the monitor's menu)"));
    EXPECT_THAT(
        r.lines,
        Contains("[DDCDisplay] Display 2561: Brightness supported (current: 40, max: 100)"));
    EXPECT_THAT(r.lines, Contains("[DDCDisplay] Display 2562: no DDC transport available"));
    EXPECT_THAT(r.lines, Not(Contains(::testing::HasSubstr("Display 2817: Brightness"))))
        << "a bus that failed its check is not probed code by code";
    EXPECT_THAT(r.lines, Contains("[DisplayManager] Brightness 20.0% of 'GSM on DP-2' not applied: "
                                  "neither DDC nor software dimming works for it - it stays at "
                                  "100.0%"));
    const auto transactions = i2cLog();
    EXPECT_THAT(transactions, Contains("4 w 37 51 84 03 10 00 3c 94"));
    EXPECT_THAT(transactions, Not(Contains(::testing::StartsWith("6 w "))))
        << "nothing is written to a monitor that did not answer";
    EXPECT_THAT(transactions, Not(Contains(::testing::StartsWith("5 "))))
        << "nothing ever crossed the failing bus";
}

TEST_F(CommandLineTest, AClosedStandardOutputStillEndsWithTheTerminationSequence) {
    const auto out = dir / "out.json";
    std::string line;
    for (const auto& a :
         command({"--once", "--rig", rig(), "--rig-out", out, "orvane://brightness?value=10",
                  "orvane://info", "orvane://info", "orvane://info"}))
        line += "'" + a + "' ";
    // head leaves after one byte; Orvane goes on writing into a closed pipe.
    const auto script = dir / "closed.sh";
    std::ofstream(script) << line << "| head -c 1 >/dev/null; exit ${PIPESTATUS[0]}\n";
    const int status = std::system(("bash '" + script + "'").c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const auto s = state(out);
    EXPECT_TRUE(s.at("windows").empty()) << "the dimmed projector was restored";
}

TEST_F(CommandLineTest, AnErrorThatEscapesTheLoopTerminatesCleanlyAndFails) {
    // The rig connects a display that is connected already: the machine throws
    // from inside the event loop.
    json rigJSON = [&] {
        std::ifstream in(rig());
        return json::parse(in);
    }();
    rigJSON["events"] = json::array({{{"afterMs", 1500}, {"connect", {{"id", 2}, {"name", "x"}}}}});
    const auto broken = dir / "broken.json";
    std::ofstream(broken) << rigJSON.dump();
    const auto out = dir / "out.json";
    const auto r = run({"--rig", broken, "--rig-out", out, "orvane://brightness?value=10"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.has("[AppDelegate] Orvane terminating - cleaning up"));
    EXPECT_TRUE(state(out).at("windows").empty());
}

TEST_F(CommandLineTest, StartsAtOnceOnAFreshStoreMakeOneSettingsRecord) {
    std::vector<pid_t> pids;
    for (int i = 0; i < 6; ++i) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        pids.push_back(spawnWithOutput(command({"--once", "--rig", rig(), "orvane://info"}), fds));
        close(fds[0]);
    }
    for (pid_t pid : pids)
        EXPECT_NE(exitStatus(pid), -1) << "killed by its closed output?";
    store::SQLiteDatabase db(storePath());
    store::SQLiteStatement count(db, "SELECT COUNT(*) FROM AppSettings");
    ASSERT_TRUE(count.step());
    EXPECT_EQ(count.int64(0), 1);
}

}  // namespace
}  // namespace orvane::test
