// SPDX-License-Identifier: MIT
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "displays/DisplayNameOverride.h"
#include "runtime/Logger.h"
#include "settings/AppSettings.h"
#include "settings/DisplayPreset.h"
#include "settings/ModelContainer.h"
#include "settings/UserDefaults.h"
#include "store/SQLiteDatabase.h"
#include "support/TempDirectory.h"

namespace orvane::settings {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

std::vector<std::uint8_t> bytes(std::string_view s) {
    return {s.begin(), s.end()};
}

TEST(Store, SavesReachTheDiskAndSurviveReopening) {
    test::TempDirectory dir;
    const auto path = dir / "Orvane.store";
    {
        ModelContainer container(path);
        auto& context = container.mainContext();
        auto settings = fetchOrCreateSettings(context);
        settings->setDefaultPresetName("Work");
        settings->setShortcutBindings({{"brightness_up", {126, 6144}}});
        auto a = std::make_shared<DisplayPreset>("Work", 100.5, 0);
        a->setEntries({{"1-2", "Desk", 50.0, std::nullopt, std::nullopt, std::uint16_t{15}, 1920,
                        1080, 60.0, true}});
        context.insert(a);
        context.insert(std::make_shared<DisplayPreset>("Home", 200, 1));
        context.insert(std::make_shared<displays::DisplayNameOverride>("1-2", "Left"));
        context.save();
        // A second, unsaved change is lost with the process; the saved ones are not.
        settings->setDefaultPresetName("Unsaved");
    }
    ModelContainer reopened(path);
    auto& context = reopened.mainContext();
    auto settings = fetchOrCreateSettings(context);
    EXPECT_EQ(settings->defaultPresetName(), "Work");
    EXPECT_EQ(settings->shortcutBindings().at("brightness_up"), (input::KeyCombo{126, 6144}));
    auto presets = context.fetch<DisplayPreset>(&DisplayPreset::bySortOrder);
    ASSERT_EQ(presets.size(), 2u);
    EXPECT_EQ(presets[0]->name(), "Work");
    EXPECT_EQ(presets[0]->createdAt(), 100.5);
    EXPECT_EQ(presets[0]->entries().at(0).inputSource, 15);
    EXPECT_EQ(presets[1]->name(), "Home");
    EXPECT_EQ(context.fetch<displays::DisplayNameOverride>().at(0)->customName(), "Left");

    // Deletes and in-memory inserts show in fetches before the save.
    context.remove(presets[0]);
    auto fresh = std::make_shared<DisplayPreset>("New", 300, 2);
    context.insert(fresh);
    auto names = [&] {
        std::vector<std::string> n;
        for (const auto& p : context.fetch<DisplayPreset>())
            n.push_back(p->name());
        return n;
    };
    EXPECT_THAT(names(), ElementsAre("Home", "New"));
    context.save();
    EXPECT_THAT(names(), ElementsAre("Home", "New"));
}

TEST(Store, RefusesWhatItCannotOpenAndNeverRewritesIt) {
    test::TempDirectory dir;
    const auto junk = dir / "junk.store";
    const auto fileBytes = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), {});
    };
    std::ofstream(junk) << "these are someone's notes, not a store";
    EXPECT_THROW(ModelContainer{junk}, store::StoreError);
    EXPECT_EQ(fileBytes(junk), "these are someone's notes, not a store");
    // Another version of the store, in the rollback journal it was left in: it
    // is refused byte for byte as it was, without a switch to WAL.
    const auto other = dir / "other.store";
    {
        ModelContainer c(other);
        auto& db = c.mainContext().database();
        db.execute("UPDATE Metadata SET value = '2.0.0' WHERE key = 'schemaVersion'");
        db.execute("PRAGMA journal_mode=DELETE");
    }
    const auto before = fileBytes(other);
    EXPECT_THAT([&] { ModelContainer{other}; },
                ::testing::ThrowsMessage<store::StoreError>(HasSubstr("schemaVersion is 2.0.0")));
    EXPECT_EQ(fileBytes(other), before);
    EXPECT_FALSE(std::filesystem::exists(other + "-wal"));

    // Some other program's SQLite file is not adopted.
    const auto foreign = dir / "foreign.db";
    {
        store::SQLiteDatabase db(foreign);
        db.execute("CREATE TABLE notes (text TEXT); INSERT INTO notes VALUES ('mine')");
    }
    const auto foreignBefore = fileBytes(foreign);
    EXPECT_THAT([&] { ModelContainer{foreign}; },
                ::testing::ThrowsMessage<store::StoreError>(HasSubstr("no Orvane store")));
    EXPECT_EQ(fileBytes(foreign), foreignBefore);
    EXPECT_THROW(ModelContainer{"/proc/orvane/cannot/Orvane.store"}, store::StoreError);

    // Orvane's metadata over tables that are missing or another program's.
    for (const auto& [alter, says] :
         {std::pair{"DROP TABLE DisplayPreset", "no table DisplayPreset"},
          std::pair{"DROP TABLE AppSettings; CREATE TABLE AppSettings (id INTEGER, note TEXT)",
                    "table AppSettings is not Orvane's"}}) {
        const auto path = dir / (std::string(says).substr(0, 8) + ".store");
        {
            ModelContainer c(path);
            auto& db = c.mainContext().database();
            db.execute(alter);
            db.execute("PRAGMA journal_mode=DELETE");
        }
        const auto bytes = fileBytes(path);
        EXPECT_THAT([&] { ModelContainer{path}; },
                    ::testing::ThrowsMessage<store::StoreError>(HasSubstr(says)));
        EXPECT_EQ(fileBytes(path), bytes);
    }
}

TEST(Store, AVersionOneStoreGainsSchedulesAndKeepsItsRecords) {
    test::TempDirectory dir;
    const auto path = dir / "Orvane.store";
    // A store as version 1.0.0 wrote it.
    const auto makeV1 = [](const std::string& file, const char* presetTable) {
        store::SQLiteDatabase db(file);
        db.execute(
            "CREATE TABLE Metadata (key TEXT PRIMARY KEY, value TEXT NOT NULL);"
            "CREATE TABLE AppSettings (id INTEGER PRIMARY KEY, interceptBrightnessKeys INTEGER "
            "NOT NULL, interceptVolumeKeys INTEGER NOT NULL, brightnessSyncEnabled INTEGER NOT "
            "NULL, showOSD INTEGER NOT NULL, launchAtLogin INTEGER NOT NULL, brightnessStep REAL "
            "NOT NULL, volumeStep REAL NOT NULL, defaultPresetName TEXT, shortcutBindingsJSON "
            "BLOB);"
            "CREATE TABLE DisplayNameOverride (id INTEGER PRIMARY KEY, displayKey TEXT NOT NULL, "
            "customName TEXT NOT NULL);"
            "INSERT INTO Metadata VALUES ('configuration', 'Orvane'), ('schemaVersion', '1.0.0');"
            "INSERT INTO AppSettings VALUES (1, 1, 0, 0, 1, 0, 10.0, 5.0, 'Work', NULL);");
        db.execute(presetTable);
        db.execute(
            "INSERT INTO DisplayPreset (id, name, createdAt, sortOrder) VALUES (1, 'Work', "
            "5, 0)");
    };
    makeV1(path,
           "CREATE TABLE DisplayPreset (id INTEGER PRIMARY KEY, name TEXT NOT NULL, createdAt REAL "
           "NOT NULL, lastUsedAt REAL, sortOrder INTEGER NOT NULL, entriesJSON BLOB);");
    {
        ModelContainer c(path);
        auto& context = c.mainContext();
        auto settings = fetchOrCreateSettings(context);
        EXPECT_EQ(settings->defaultPresetName(), "Work");
        EXPECT_EQ(settings->brightnessStep(), 10.0);
        EXPECT_FALSE(settings->location());
        auto presets = context.fetch<DisplayPreset>();
        ASSERT_EQ(presets.size(), 1u);
        EXPECT_EQ(presets[0]->name(), "Work");
        EXPECT_FALSE(presets[0]->schedule());
        settings->setLocation(schedule::Location{59.91, 10.75});
        presets[0]->setSchedule(schedule::PresetSchedule::parse("sunset-30"));
        context.save();
    }
    {
        ModelContainer c(path);
        auto& context = c.mainContext();
        EXPECT_EQ(fetchOrCreateSettings(context)->location(), (schedule::Location{59.91, 10.75}));
        EXPECT_EQ(context.fetch<DisplayPreset>().at(0)->schedule(),
                  schedule::PresetSchedule::parse("sunset-30"));
        store::SQLiteStatement version(context.database(),
                                       "SELECT value FROM Metadata WHERE key = 'schemaVersion'");
        ASSERT_TRUE(version.step());
        EXPECT_EQ(version.text(0), "1.1.0");
    }
    // A 1.0.0 store whose tables are not 1.0.0's is not migrated: it is
    // refused as it is.
    const auto odd = dir / "odd.store";
    makeV1(odd,
           "CREATE TABLE DisplayPreset (id INTEGER PRIMARY KEY, name TEXT NOT NULL, createdAt "
           "REAL NOT NULL, sortOrder INTEGER NOT NULL);");
    EXPECT_THAT([&] { ModelContainer{odd}; },
                ::testing::ThrowsMessage<store::StoreError>(HasSubstr("schemaVersion is 1.0.0")));
    store::SQLiteDatabase db(odd);
    store::SQLiteStatement columns(db, "SELECT count(*) FROM pragma_table_info('AppSettings')");
    ASSERT_TRUE(columns.step());
    EXPECT_EQ(columns.int64(0), 10);
}

TEST(Store, TwoStartsOnAFreshStoreBothOpenIt) {
    test::TempDirectory dir;
    const auto path = dir / "Orvane.store";
    for (int round = 0; round < 5; ++round) {
        std::filesystem::remove(path);
        std::filesystem::remove(path + "-wal");
        std::filesystem::remove(path + "-shm");
        std::string errors[2];
        const auto open = [&](std::string& error) {
            try {
                ModelContainer c(path);
            } catch (const store::StoreError& e) {
                error = e.what();
            }
        };
        std::thread a(open, std::ref(errors[0])), b(open, std::ref(errors[1]));
        a.join();
        b.join();
        EXPECT_EQ(errors[0] + errors[1], "") << round;
    }
    ModelContainer c(path);
    store::SQLiteStatement rows(c.mainContext().database(), "SELECT count(*) FROM Metadata");
    ASSERT_TRUE(rows.step());
    EXPECT_EQ(rows.int64(0), 2) << "the schema was made once";
}

TEST(Store, APendingDeleteIsOfOneTableOnly) {
    test::TempDirectory dir;
    ModelContainer container(dir / "Orvane.store");
    auto& context = container.mainContext();
    // Row 1 of the presets and row 1 of the settings.
    context.insert(std::make_shared<DisplayPreset>("One", 0, 0));
    auto settings = fetchOrCreateSettings(context);
    context.save();
    auto preset = context.fetch<DisplayPreset>().at(0);
    context.remove(preset);
    settings->setVolumeStep(3);
    EXPECT_EQ(fetchOrCreateSettings(context), settings) << "no second settings record";
    context.save();
    ModelContainer reopened(dir / "Orvane.store");
    EXPECT_EQ(fetchOrCreateSettings(reopened.mainContext())->volumeStep(), 3);
    EXPECT_THAT(reopened.mainContext().fetch<DisplayPreset>(), IsEmpty());
    store::SQLiteStatement count(reopened.mainContext().database(),
                                 "SELECT count(*) FROM AppSettings");
    ASSERT_TRUE(count.step());
    EXPECT_EQ(count.int64(0), 1);
}

TEST(Store, PresetEntriesDocument) {
    DisplayPresetEntry full{"1234-5678-901234", "Office", 62.5, 75.0, 30.0,
                            std::uint16_t{15},  2560,     1440, 60.0, true};
    DisplayPresetEntry bareEntry;
    bareEntry.displayKey = "1-2";
    bareEntry.displayName = "Bare";
    const auto encoded = encodePresetEntries({full, bareEntry});
    ASSERT_TRUE(encoded);
    EXPECT_EQ(std::string(encoded->begin(), encoded->end()),
              R"([{"displayKey":"1234-5678-901234","displayName":"Office","brightness":62.5,)"
              R"("contrast":75,"volume":30,"inputSource":15,"resolutionWidth":2560,)"
              R"("resolutionHeight":1440,"refreshRate":60,"isHiDPI":true},)"
              R"({"displayKey":"1-2","displayName":"Bare"}])");
    DisplayPresetEntry bare;
    bare.displayKey = "1-2";
    bare.displayName = "Bare";
    EXPECT_EQ(decodePresetEntries(*encoded), (std::vector<DisplayPresetEntry>{full, bare}));
    // Member order does not matter on reading; integers may be written as 75.
    EXPECT_EQ(decodePresetEntries(bytes(R"([{"displayName":"A","contrast":75,"displayKey":"k"}])"))
                  ->at(0)
                  .contrast,
              75.0);
    // null is an absent member, not a document that applies nothing.
    const auto nulls = decodePresetEntries(bytes(
        R"([{"displayKey":"k","displayName":"A","brightness":40,"contrast":null,"isHiDPI":null}])"));
    ASSERT_TRUE(nulls);
    EXPECT_EQ(nulls->at(0).brightness, 40.0);
    EXPECT_FALSE(nulls->at(0).contrast);
    EXPECT_FALSE(nulls->at(0).isHiDPI);
    for (const char* bad :
         {"{}", "[1]", R"([{"displayKey":"k"}])", R"([{"displayKey":"k","displayName":"A"},{}])",
          R"([{"displayKey":"k","displayName":"A","inputSource":70000}])",
          R"([{"displayKey":"k","displayName":"A","inputSource":-1}])",
          R"([{"displayKey":"k","displayName":"A","brightness":"50"}])",
          R"([{"displayKey":"k","displayName":"A","isHiDPI":1}])",
          R"([{"displayKey":"k","displayName":"A","resolutionWidth":1.5}])", "not json"}) {
        EXPECT_FALSE(decodePresetEntries(bytes(bad))) << bad;
    }
    DisplayPresetEntry nan;
    nan.brightness = std::nan("");
    EXPECT_FALSE(encodePresetEntries({nan}));
    DisplayPreset p;
    p.setEntriesJSON(bytes(R"([{"displayKey":"k"}])"));
    EXPECT_THAT(p.entries(), IsEmpty());
}

TEST(Store, UserDefaultsPersistAndKeepWhatTheyCannotRead) {
    test::TempDirectory dir;
    runtime::CapturingLogger log;
    const auto path = dir / "config/defaults.json";
    {
        UserDefaults d(path, log);
        EXPECT_FALSE(d.boolForKey("onboardingShown"));
        d.registerDefaults({{"SUAutomaticallyUpdate", true}});
        EXPECT_TRUE(d.boolForKey("SUAutomaticallyUpdate"));
        d.setBool("onboardingShown", true);
    }
    EXPECT_TRUE(UserDefaults(path, log).boolForKey("onboardingShown"));

    std::ofstream(path) << "{ broken";
    UserDefaults broken(path, log);
    EXPECT_FALSE(broken.boolForKey("onboardingShown"));
    broken.setBool("onboardingShown", true);
    std::ifstream kept(path + ".unreadable");
    std::string text((std::istreambuf_iterator<char>(kept)), {});
    EXPECT_EQ(text, "{ broken");
    EXPECT_THAT(log.lines().back(), HasSubstr("[UserDefaults] Kept the unreadable"));
    EXPECT_TRUE(UserDefaults(path, log).boolForKey("onboardingShown"));
}

}  // namespace
}  // namespace orvane::settings
