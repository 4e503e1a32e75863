// SPDX-License-Identifier: MIT
#include "settings/ModelContainer.h"

#include <cstdlib>
#include <filesystem>

#include "settings/XDGDirectories.h"

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

void expect(SQLiteDatabase& db, const char* key, const std::string& wanted) {
    SQLiteStatement read(db, "SELECT value FROM Metadata WHERE key = ?");
    read.bind(1, std::string(key));
    if (read.step()) {
        const auto found = read.text(0);
        if (found != wanted)
            throw StoreError("the store's " + std::string(key) + " is " + found + ", not " +
                             wanted);
        return;
    }
    SQLiteStatement write(db, "INSERT INTO Metadata (key, value) VALUES (?, ?)");
    write.bind(1, std::string(key));
    write.bind(2, wanted);
    write.step();
}
}  // namespace

ModelContainer::ModelContainer(const std::string& path) : path_(path) {
    const auto dir = std::filesystem::path(path).parent_path();
    if (!dir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        if (ec) throw StoreError("cannot create " + dir.string() + ": " + ec.message());
    }
    db_ = std::make_unique<SQLiteDatabase>(path);
    // A committed save is on disk before save() returns.
    db_->execute("PRAGMA journal_mode=WAL");
    db_->execute("PRAGMA synchronous=FULL");
    SQLiteTransaction transaction(*db_);
    db_->execute(kSchema);
    expect(*db_, "configuration", kConfiguration);
    expect(*db_, "schemaVersion", kSchemaVersion);
    transaction.commit();
    context_ = std::make_unique<ModelContext>(*db_);
}

std::string ModelContainer::defaultPath() {
    return xdgDirectory("XDG_DATA_HOME", ".local/share") + "/orvane/Orvane.store";
}

}  // namespace orvane::settings
