// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <string>

#include "store/ModelContext.h"
#include "store/SQLiteDatabase.h"

namespace orvane::settings {

/// The application's store: one SQLite file holding the settings record, the
/// presets and the display name overrides, with one main context.
class ModelContainer {
  public:
    static constexpr const char* kSchemaVersion = "1.1.0";
    static constexpr const char* kConfiguration = "Orvane";

    /// Opens the store at path, creating the file, its directory and its tables
    /// as needed. Throws store::StoreError when the store cannot be created or opened,
    /// or holds another configuration or schema version (it is never rewritten).
    explicit ModelContainer(const std::string& path);

    store::ModelContext& mainContext() { return *context_; }
    const std::string& path() const { return path_; }

    /// "$XDG_DATA_HOME/orvane/Orvane.store", or under the home's .local/share;
    /// "" without either (no HOME, and none in the password database).
    static std::string defaultPath();

  private:
    std::string path_;
    std::unique_ptr<store::SQLiteDatabase> db_;
    std::unique_ptr<store::ModelContext> context_;
};

}  // namespace orvane::settings
