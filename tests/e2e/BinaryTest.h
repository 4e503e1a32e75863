// SPDX-License-Identifier: MIT
// The built binary, driven as a user or a script drives it: its command line
// and environment, what it prints and the machine state it leaves behind.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "settings/AppSettings.h"
#include "settings/DisplayPreset.h"
#include "settings/ModelContainer.h"
#include "support/SysfsTree.h"
#include "support/TempDirectory.h"

namespace orvane::test {

using nlohmann::json;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

inline std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

/// Starts argv with its standard output (and error, if asked) on the pipe's
/// write end (closed here).
/// Without them, standard error goes to errorFile when one is named.
inline pid_t spawnWithOutput(const std::vector<std::string>& argv, int out[2],
                             bool withErrors = false, const char* errorFile = nullptr) {
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
inline int exitStatus(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

/// Everything left to read on fd, which is closed then.
inline std::string readAll(int fd) {
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

class BinaryTest : public ::testing::Test {
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

/// A store holding the preset "Evening" (the office monitor at 20 % and
/// 1920x1080, a mode it is not in at start), which is the default.
inline void storeEveningAsDefault(const std::string& path) {
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

}  // namespace orvane::test
