// SPDX-License-Identifier: MIT
// The built binary, driven as a user or a script drives it: URLs on the
// command line, a store on disk, a second instance, signals.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "settings/AppSettings.h"
#include "settings/DisplayPreset.h"
#include "settings/ModelContainer.h"
#include "store/SQLiteDatabase.h"
#include "support/SysfsTree.h"
#include "support/TempDirectory.h"

namespace orvane {
namespace {

using nlohmann::json;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

/// Starts argv with its standard output (and error, if asked) on the pipe's
/// write end (closed here).
/// Without them, standard error goes to errorFile when one is named.
pid_t spawnWithOutput(const std::vector<std::string>& argv, int out[2], bool withErrors = false,
                      const char* errorFile = nullptr) {
    const pid_t pid = fork();
    if (pid == 0) {
        // Runs the tests kill with SIGSEGV or SIGABRT leave no core files about.
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        dup2(out[1], STDOUT_FILENO);
        if (withErrors) dup2(out[1], STDERR_FILENO);
        if (!withErrors && errorFile) {
            const int fd = open(errorFile, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            if (fd >= 0) dup2(fd, STDERR_FILENO);
        }
        close(out[0]);
        close(out[1]);
        std::vector<char*> a;
        for (const auto& s : argv)
            a.push_back(const_cast<char*>(s.c_str()));
        a.push_back(nullptr);
        execvp(a[0], a.data());
        _exit(127);
    }
    close(out[1]);
    return pid;
}

/// The exit status of a child once it ends; -1 when a signal ended it.
int exitStatus(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

/// Everything left to read on fd, which is closed then.
std::string readAll(int fd) {
    std::string text;
    std::array<char, 4096> buf;
    ssize_t n;
    while ((n = read(fd, buf.data(), buf.size())) > 0)
        text.append(buf.data(), static_cast<std::size_t>(n));
    close(fd);
    return text;
}

struct RunResult {
    int status = -1;
    std::vector<std::string> lines;
    std::vector<std::string> errors;  // standard error, when kept apart
    bool has(const std::string& line) const {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
};

class CommandLineTest : public ::testing::Test {
  protected:
    std::string rig() const { return std::string(ORVANE_E2E_RIGS) + "/desk.json"; }
    std::string storePath() const { return dir / "data/orvane/Orvane.store"; }

    /// argv for the binary with this test's own directories.
    std::vector<std::string> command(std::vector<std::string> args) const {
        // A runtime directory counts only when it is private, as a session's is.
        std::filesystem::create_directories(dir / "run");
        std::filesystem::permissions(dir / "run", std::filesystem::perms::owner_all);
        // No desktop session either, unless a test asks for one.
        // Nor a session bus: the private runtime folder has none.
        std::vector<std::string> argv{
            "env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM", "-u",
            "DBUS_SESSION_BUS_ADDRESS", "XDG_DATA_HOME=" + (dir / "data"),
            "XDG_CONFIG_HOME=" + (dir / "config"), "XDG_RUNTIME_DIR=" + (dir / "run"),
            "XDG_CACHE_HOME=" + (dir / "cache"),
            // No display hardware, whatever machine runs the tests.
            "ORVANE_LINUX_ROOT=" + (dir / "no-machine")};
        argv.insert(argv.end(), extraEnvironment.begin(), extraEnvironment.end());
        argv.push_back(ORVANE_BINARY);
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    }

    /// VAR=value pairs for the binary, on top of the test's directories.
    std::vector<std::string> extraEnvironment;

    /// Runs the binary on tree's machine: the buses through the emulator, a
    /// monitor on each of monitors ("4,5"), every transfer in i2c.log.
    void onLinux(const test::SysfsTree& tree, const std::string& monitors,
                 std::vector<std::string> more = {}) {
        const std::string asan = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
        extraEnvironment = {
            "ORVANE_LINUX_ROOT=" + tree.root().string(),
            std::string("LD_PRELOAD=") + ORVANE_I2C_EMULATOR, "ORVANE_I2C_MONITORS=" + monitors,
            "ORVANE_I2C_LOG=" + (dir / "i2c.log"),
            // The emulator comes before the sanitizer's runtime.
            "ASAN_OPTIONS=" + asan + (asan.empty() ? "" : ":") + "verify_asan_link_order=0",
            "DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/orvane-test"};
        extraEnvironment.insert(extraEnvironment.end(), more.begin(), more.end());
    }
    /// The office monitor on DP-1 (bus 4) and a TV on HDMI-A-1 (bus 5).
    static void officeAndTV(test::SysfsTree& tree) {
        for (int bus : {4, 5}) {
            tree.adapter(bus, "0x030000");
            tree.deviceNode(bus);
        }
        tree.connector("card0-DP-1", true, test::edidFile("office-27.bin"), 4);
        tree.connector("card0-HDMI-A-1", true, test::edidFile("tv-hdmi.bin"), 5);
    }
    /// The transfers the emulator saw, one per line.
    std::vector<std::string> i2cLog() const { return splitLines(readFile(dir / "i2c.log")); }

    enum class Errors { inherited, merged, apart };
    /// Runs to the end; standard output (and error, unless inherited) in lines.
    RunResult run(std::vector<std::string> args, Errors errors = Errors::inherited) {
        std::filesystem::create_directories(dir / "run");
        const std::string errorFile = dir / "stderr.txt";
        int out[2];
        if (pipe(out) != 0) throw std::runtime_error("pipe");
        const pid_t pid = spawnWithOutput(command(std::move(args)), out, errors == Errors::merged,
                                          errors == Errors::apart ? errorFile.c_str() : nullptr);
        RunResult r;
        r.lines = splitLines(readAll(out[0]));
        r.status = exitStatus(pid);
        if (errors == Errors::apart) r.errors = splitLines(readFile(errorFile));
        return r;
    }

    json state(const std::string& path) const {
        std::ifstream in(path);
        return json::parse(in);
    }
    static const json& display(const json& s, int id) {
        for (const auto& d : s.at("displays")) {
            if (d.at("id") == id) return d;
        }
        throw std::out_of_range("display");
    }

    test::TempDirectory dir;
};

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

/// A store holding the preset "Evening" (the office monitor at 20 % and
/// 1920x1080, a mode it is not in at start), which is the default.
void storeEveningAsDefault(const std::string& path) {
    settings::ModelContainer store(path);
    auto& context = store.mainContext();
    auto preset = std::make_shared<settings::DisplayPreset>("Evening", 1, 0);
    settings::DisplayPresetEntry office;
    office.displayKey = "4268-41156-77";
    office.displayName = "Office";
    office.brightness = 20;
    office.contrast = 30;
    office.resolutionWidth = 1920;
    office.resolutionHeight = 1080;
    office.refreshRate = 60;
    preset->setEntries({office});
    context.insert(preset);
    settings::fetchOrCreateSettings(context)->setDefaultPresetName("Evening");
    context.save();
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
    EXPECT_THAT(first, ::testing::ElementsAre("  DDC: Yes", "  Brightness: 40%", "  Contrast: 50%",
                                              "  Connection: DisplayPort"));
    EXPECT_THAT(block(0, "Display 2: SAMSUNG - 1920×1080 @ 60Hz"),
                ::testing::ElementsAre("  DDC: No", "  Brightness: 100%", "  Connection: HDMI",
                                       ::testing::_));
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

/// Polls until path exists; false when it has not within timeout.
bool waitForPath(const std::filesystem::path& path, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!std::filesystem::exists(path)) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

/// A resident instance on the rig, in the background.
class ResidentInstance {
  public:
    ResidentInstance(const std::vector<std::string>& argv, const std::string& socket,
                     bool withErrors = false) {
        std::filesystem::create_directories(std::filesystem::path(socket).parent_path());
        if (pipe(out_) != 0) throw std::runtime_error("pipe");
        pid_ = spawnWithOutput(argv, out_, withErrors);
        // Up once its socket exists and its first scan has ended.
        waitForPath(socket, std::chrono::seconds(5));
    }
    /// Reads its output until a line holds text, for at most timeout.
    bool waitFor(const std::string& text, std::chrono::seconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            if (output_.find(text) != std::string::npos) return true;
            pollfd p{out_[0], POLLIN, 0};
            if (poll(&p, 1, 100) > 0) {
                std::array<char, 4096> buf;
                const ssize_t n = read(out_[0], buf.data(), buf.size());
                if (n <= 0) return output_.find(text) != std::string::npos;
                output_.append(buf.data(), static_cast<std::size_t>(n));
            }
        }
        return false;
    }
    pid_t pid() const { return pid_; }
    /// Signals it and returns its whole output.
    std::vector<std::string> stop(int signal, int& status) {
        kill(pid_, signal);
        std::array<char, 4096> buf;
        ssize_t n;
        while ((n = read(out_[0], buf.data(), buf.size())) > 0)
            output_.append(buf.data(), static_cast<std::size_t>(n));
        close(out_[0]);
        status = exitStatus(pid_);
        return splitLines(output_);
    }

  private:
    pid_t pid_ = -1;
    int out_[2] = {-1, -1};
    std::string output_;
};

TEST_F(CommandLineTest, SecondStartHandsItsURLsToTheRunningInstance) {
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

TEST_F(CommandLineTest, InADesktopSessionTheGUIRunsTheSameApplication) {
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

TEST_F(CommandLineTest, ASignalDuringDimmingLeavesEveryDisplayUndimmed) {
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

TEST_F(CommandLineTest, AfterARunDiesDimmedTheNextStartGivesTheGammaTablesBack) {
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

TEST_F(CommandLineTest, AHandOverNeverWaitsForEverNorTouchesTheInstancesJournal) {
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

TEST_F(CommandLineTest, TheDefaultPresetAppliesWhenTheResidentInstanceLaunches) {
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
}  // namespace orvane
