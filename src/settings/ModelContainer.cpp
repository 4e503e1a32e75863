// SPDX-License-Identifier: MIT
#include "settings/ModelContainer.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "runtime/Environment.h"

namespace orvane::settings {

namespace {
/// The tables as version 1.0.0 made them.
constexpr const char* kSchemaV1 = R"(
CREATE TABLE IF NOT EXISTS AppSettings (
    id INTEGER PRIMARY KEY,
    interceptBrightnessKeys INTEGER NOT NULL,
    interceptVolumeKeys INTEGER NOT NULL,
    brightnessSyncEnabled INTEGER NOT NULL,
    showOSD INTEGER NOT NULL,
    launchAtLogin INTEGER NOT NULL,
    brightnessStep REAL NOT NULL,
    volumeStep REAL NOT NULL,
    defaultPresetName TEXT,
    shortcutBindingsJSON BLOB);
CREATE TABLE IF NOT EXISTS DisplayPreset (
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL,
    createdAt REAL NOT NULL,
    lastUsedAt REAL,
    sortOrder INTEGER NOT NULL,
    entriesJSON BLOB);
CREATE TABLE IF NOT EXISTS DisplayNameOverride (
    id INTEGER PRIMARY KEY,
    displayKey TEXT NOT NULL,
    customName TEXT NOT NULL);
)";

/// 1.0.0 to 1.1.0: presets on a schedule, and the place sun times are for.
/// A new store is made as 1.0.0 and migrated, so both meet the same tables.
constexpr const char* kMigrationV1_1 = R"(
ALTER TABLE AppSettings ADD COLUMN latitude REAL;
ALTER TABLE AppSettings ADD COLUMN longitude REAL;
ALTER TABLE DisplayPreset ADD COLUMN scheduleJSON BLOB;
UPDATE Metadata SET value = '1.1.0' WHERE key = 'schemaVersion';
)";

constexpr const char* kTables[] = {"AppSettings", "DisplayPreset", "DisplayNameOverride"};

bool isEmpty(store::SQLiteDatabase& db) {
    store::SQLiteStatement count(db, "SELECT count(*) FROM sqlite_master");
    return count.step() && count.int64(0) == 0;
}

/// Each column of table as (name, type, not null, primary key), in order.
std::vector<std::string> columnsOf(store::SQLiteDatabase& db, const std::string& table) {
    std::vector<std::string> columns;
    store::SQLiteStatement info(db, "SELECT name, type, \"notnull\", pk FROM pragma_table_info(?)");
    info.bind(1, table);
    while (info.step())
        columns.push_back(info.text(0) + " " + info.text(1) + " " + std::to_string(info.int64(2)) +
                          " " + std::to_string(info.int64(3)));
    return columns;
}

std::optional<std::string> metadata(store::SQLiteDatabase& db, const char* key) {
    store::SQLiteStatement read(db, "SELECT value FROM Metadata WHERE key = ?");
    read.bind(1, std::string(key));
    if (!read.step()) return std::nullopt;
    return read.text(0);
}

/// An empty database with the tables of 1.0.0, or of this version.
std::unique_ptr<store::SQLiteDatabase> schemaOf(bool migrated) {
    auto schema = std::make_unique<store::SQLiteDatabase>(":memory:");
    schema->execute("CREATE TABLE Metadata (key TEXT PRIMARY KEY, value TEXT NOT NULL);");
    schema->execute(kSchemaV1);
    if (migrated) schema->execute(kMigrationV1_1);
    return schema;
}

/// Whether every table is the one that version's schema makes.
bool tablesAre(store::SQLiteDatabase& db, bool migrated) {
    auto schema = schemaOf(migrated);
    for (const char* name : kTables) {
        const auto found = columnsOf(db, name);
        if (found.empty() || found != columnsOf(*schema, name)) return false;
    }
    return true;
}

/// Reads only: a file that is not this store of this version is refused untouched.
void verify(store::SQLiteDatabase& db) {
    store::SQLiteStatement table(
        db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'Metadata'");
    if (!table.step()) throw store::StoreError("the file is no Orvane store");
    for (const auto& [key, wanted] : {std::pair{"configuration", ModelContainer::kConfiguration},
                                      std::pair{"schemaVersion", ModelContainer::kSchemaVersion}}) {
        const auto found = metadata(db, key);
        if (!found) throw store::StoreError("the store has no " + std::string(key));
        if (*found != wanted)
            throw store::StoreError("the store's " + std::string(key) + " is " + *found + ", not " +
                                    wanted);
    }
    // The metadata alone proves nothing: every table must be the schema's own,
    // or every save would fail.
    auto schema = schemaOf(true);
    for (const char* name : kTables) {
        const auto found = columnsOf(db, name);
        if (found.empty()) throw store::StoreError("the store has no table " + std::string(name));
        if (found != columnsOf(*schema, name))
            throw store::StoreError("the store's table " + std::string(name) + " is not Orvane's");
    }
}

/// A 1.0.0 store, and only one whose tables are 1.0.0's, becomes 1.1.0 in
/// one transaction; anything else is left for verify to refuse untouched.
void migrate(store::SQLiteDatabase& db) {
    {
        // Finished before the transaction: a read left open would keep two
        // starts from ever taking the write lock.
        store::SQLiteStatement table(
            db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'Metadata'");
        if (!table.step()) return;
    }
    if (metadata(db, "configuration") != std::string(ModelContainer::kConfiguration) ||
        metadata(db, "schemaVersion") != std::string("1.0.0") || !tablesAre(db, false))
        return;
    store::SQLiteTransaction transaction(db);
    if (metadata(db, "schemaVersion") != std::string("1.0.0")) return;  // another start did it
    db.execute(kMigrationV1_1);
    transaction.commit();
}

/// SQLite answers a journal-mode change that meets another connection with
/// "database is locked" at once, without its busy handler: wait here instead.
void executeWhenFree(store::SQLiteDatabase& db, const char* sql) {
    for (int attempt = 0;; ++attempt) {
        try {
            db.execute(sql);
            return;
        } catch (const store::StoreError& e) {
            if (attempt >= 250 || std::string(e.what()).find("locked") == std::string::npos) throw;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}
}  // namespace

ModelContainer::ModelContainer(const std::string& path) : path_(path) {
    if (path.empty())
        throw store::StoreError(
            "no folder for it: XDG_DATA_HOME and HOME are unset, and the account has no home");
    const auto dir = std::filesystem::path(path).parent_path();
    if (!dir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        if (ec) throw store::StoreError("cannot create " + dir.string() + ": " + ec.message());
    }
    db_ = std::make_unique<store::SQLiteDatabase>(path);
    if (isEmpty(*db_)) {
        // Only an empty file becomes a store; a second start racing this one
        // waits for the lock and then finds the schema made.
        store::SQLiteTransaction transaction(*db_);
        if (isEmpty(*db_)) {
            db_->execute(
                "CREATE TABLE IF NOT EXISTS Metadata (key TEXT PRIMARY KEY, value TEXT NOT NULL);");
            db_->execute(kSchemaV1);
            for (const auto& [key, value] : {std::pair{"configuration", kConfiguration},
                                             std::pair{"schemaVersion", "1.0.0"}}) {
                store::SQLiteStatement write(*db_,
                                             "INSERT INTO Metadata (key, value) VALUES (?, ?)");
                write.bind(1, std::string(key));
                write.bind(2, std::string(value));
                write.step();
            }
        }
        transaction.commit();
    }
    migrate(*db_);
    verify(*db_);
    // A committed save is on disk before save() returns.
    executeWhenFree(*db_, "PRAGMA journal_mode=WAL");
    db_->execute("PRAGMA synchronous=FULL");
    context_ = std::make_unique<store::ModelContext>(*db_);
}

std::string ModelContainer::defaultPath() {
    // Never the current directory: a store there is lost to the next start.
    const auto dir = runtime::xdgDirectory("XDG_DATA_HOME", ".local/share");
    return dir ? *dir + "/orvane/Orvane.store" : std::string();
}

}  // namespace orvane::settings
