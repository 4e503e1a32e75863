// SPDX-License-Identifier: MIT
// The store under a failing disk, and under kill -9 in the middle of saves.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <set>

#include "settings/AppSettings.h"
#include "settings/ModelContainer.h"
#include "settings/PresetManager.h"
#include "settings/UserDefaults.h"
#include "support/FaultyVfs.h"
#include "support/SimFixture.h"
#include "support/TempDirectory.h"

namespace orvane::settings {
namespace {

using platform::sim::SimDDCPath;

/// PRAGMA integrity_check of the file at path, through a connection of its own.
std::string integrity(const std::string& path) {
    sqlite3* db = nullptr;
    std::string result = "cannot open";
    // Read-write, as a start opens it: a crash may leave a journal to roll back.
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_exec(
            db, "PRAGMA integrity_check",
            [](void* out, int, char** values, char**) {
                *static_cast<std::string*>(out) = values[0] ? values[0] : "";
                return 0;
            },
            &result, nullptr);
    }
    sqlite3_close(db);
    return result;
}

/// The preset names a fresh open of the store finds.
std::set<std::string> storedPresets(const std::string& path) {
    ModelContainer again(path);
    std::set<std::string> names;
    for (const auto& p : again.mainContext().fetch<DisplayPreset>(&DisplayPreset::bySortOrder))
        names.insert(p->name());
    return names;
}

class StoreFaultTest : public test::SimFixture {
  protected:
    StoreFaultTest() {
        useRig(test::rigOf({test::simDisplay(2, SimDDCPath::i2c)}));
        registry = displays::DisplayManager::create(runtime_, services(), log_);
        test::runTask(executor(), registry->start());
        presets = std::make_shared<PresetManager>(registry, log_);
        presets->modelContext = &container.mainContext();
    }
    test::FaultyVfs vfs;  // before the container: it opens through it
    test::TempDirectory dir;
    std::string path = (dir.path() / "Orvane.store").string();
    ModelContainer container{path};
    std::shared_ptr<displays::DisplayManager> registry;
    std::shared_ptr<PresetManager> presets;
};

TEST_F(StoreFaultTest, NoSaveIsSaidDoneThatDidNotCommit) {
    int failures = 0;
    for (int nth = 1; nth <= 12; ++nth) {
        const std::string name = "p" + std::to_string(nth);
        log_.clear();
        vfs.failAt(nth);
        presets->savePreset(name);
        const bool said = !log_.linesStartingWith("[PresetManager] Saved preset '" + name).empty();
        vfs.failAt(0);
        EXPECT_EQ(integrity(path), "ok") << nth;
        if (said) {
            EXPECT_TRUE(storedPresets(path).count(name)) << name << " was said saved";
        } else {
            ++failures;
            EXPECT_FALSE(storedPresets(path).count(name)) << nth;
            EXPECT_THAT(log_.lines(),
                        ::testing::Contains(::testing::StartsWith(
                            "[PresetManager] Could not save preset '" + name + "' yet: ")));
            // Pending, not lost: the next save takes it along.
            presets->setDefault(name);
            EXPECT_TRUE(storedPresets(path).count(name)) << nth;
        }
    }
    EXPECT_GT(failures, 3) << "the faults reached the saves";
}

/// A child that saves presets and settings in a loop, saying each commit.
[[noreturn]] void saveForever(const std::string& path, int out, unsigned seed) {
    ModelContainer container(path);
    auto& context = container.mainContext();
    std::mt19937 random(seed);
    for (int n = 0;; ++n) {
        const std::string name = std::to_string(seed) + "-" + std::to_string(n);
        auto preset = std::make_shared<DisplayPreset>(name, 1000.0 + n, n);
        preset->setEntries({DisplayPresetEntry{}});
        context.insert(preset);
        auto settings = fetchOrCreateSettings(context);
        settings->setBrightnessStep(double(1 + random() % 20));
        context.save();
        const std::string line = name + "\n";
        if (write(out, line.data(), line.size()) < 0) _exit(1);
    }
}

TEST_F(StoreFaultTest, KilledAtRandomMomentsTheStoreLosesNoCommittedPreset) {
    const char* env = std::getenv("ORVANE_CRASH_TRIALS");
    const int trials = env ? std::atoi(env) : 40;
    std::mt19937 random(3);
    std::set<std::string> committed;
    for (int trial = 0; trial < trials; ++trial) {
        int pipeFds[2];
        ASSERT_EQ(pipe(pipeFds), 0);
        const unsigned seed = unsigned(trial);
        const pid_t pid = fork();
        if (pid == 0) {
            close(pipeFds[0]);
            saveForever(path, pipeFds[1], seed);
        }
        close(pipeFds[1]);
        // Killed after a random number of commits, in the middle of the next.
        const int commits = 1 + int(random() % 8);
        FILE* in = fdopen(pipeFds[0], "r");
        char line[128];
        for (int seen = 0; seen < commits && std::fgets(line, sizeof line, in); ++seen) {
            std::string name(line);
            name.pop_back();
            committed.insert(name);
        }
        kill(pid, SIGKILL);
        while (std::fgets(line, sizeof line, in)) {  // said before the kill landed
            std::string name(line);
            name.pop_back();
            committed.insert(name);
        }
        std::fclose(in);
        waitpid(pid, nullptr, 0);

        ASSERT_EQ(integrity(path), "ok") << "trial " << trial;
        std::set<std::string> stored;
        ASSERT_NO_THROW(stored = storedPresets(path)) << "the next start opens it";
        for (const auto& name : committed)
            ASSERT_TRUE(stored.count(name)) << name << " was committed, trial " << trial;
    }
}

}  // namespace
}  // namespace orvane::settings

namespace orvane::test {
namespace {

/// Sets or unsets variables for one scope.
class ScopedEnvironment {
  public:
    void unset(const char* name) {
        remember(name);
        unsetenv(name);
    }
    ~ScopedEnvironment() {
        for (const auto& [name, value] : saved_) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
    }

  private:
    void remember(const char* name) {
        const char* v = std::getenv(name);
        saved_.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(StoreLocation, WithoutHomeTheStoreGoesToTheAccountsHomeNeverTheCurrentFolder) {
    ScopedEnvironment env;
    env.unset("HOME");
    env.unset("XDG_DATA_HOME");
    env.unset("XDG_CONFIG_HOME");
    const passwd* account = getpwuid(getuid());
    ASSERT_TRUE(account && account->pw_dir);
    EXPECT_EQ(settings::ModelContainer::defaultPath(),
              std::string(account->pw_dir) + "/.local/share/orvane/Orvane.store");
    EXPECT_EQ(settings::UserDefaults::defaultPath(),
              std::string(account->pw_dir) + "/.config/orvane/defaults.json");
    // Where there is no home at all, the store is refused, not made here.
    EXPECT_THAT([] { settings::ModelContainer container(""); },
                ::testing::ThrowsMessage<store::StoreError>(::testing::HasSubstr("no folder")));
}

}  // namespace
}  // namespace orvane::test
