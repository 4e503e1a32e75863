// SPDX-License-Identifier: MIT
#include "settings/ModelContainer.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <utility>
#include <vector>

#include "runtime/Environment.h"

namespace orvane::settings {

namespace {
constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS Metadata (key TEXT PRIMARY KEY, value TEXT NOT NULL);
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

/// Reads only: a file that is not this store of this version is refused untouched.
void verify(store::SQLiteDatabase& db) {
    store::SQLiteStatement table(
        db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'Metadata'");
    if (!table.step()) throw store::StoreError("the file is no Orvane store");
    for (const auto& [key, wanted] : {std::pair{"configuration", ModelContainer::kConfiguration},
                                      std::pair{"schemaVersion", ModelContainer::kSchemaVersion}}) {
        store::SQLiteStatement read(db, "SELECT value FROM Metadata WHERE key = ?");
        read.bind(1, std::string(key));
        if (!read.step()) throw store::StoreError("the store has no " + std::string(key));
        const auto found = read.text(0);
        if (found != wanted)
            throw store::StoreError("the store's " + std::string(key) + " is " + found + ", not " +
                                    wanted);
    }
    // The metadata alone proves nothing: every table must be the schema's own,
    // or every save would fail.
    store::SQLiteDatabase schema(":memory:");
    schema.execute(kSchema);
    for (const char* name : {"AppSettings", "DisplayPreset", "DisplayNameOverride"}) {
        const auto found = columnsOf(db, name);
        if (found.empty()) throw store::StoreError("the store has no table " + std::string(name));
        if (found != columnsOf(schema, name))
            throw store::StoreError("the store's table " + std::string(name) + " is not Orvane's");
    }
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
            db_->execute(kSchema);
            for (const auto& [key, value] : {std::pair{"configuration", kConfiguration},
                                             std::pair{"schemaVersion", kSchemaVersion}}) {
                store::SQLiteStatement write(*db_,
                                             "INSERT INTO Metadata (key, value) VALUES (?, ?)");
                write.bind(1, std::string(key));
                write.bind(2, std::string(value));
                write.step();
            }
        }
        transaction.commit();
    }
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
