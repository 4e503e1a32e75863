// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <string>

#include "settings/ModelContext.h"
#include "settings/SQLiteDatabase.h"

namespace orvane::settings {

/// The application's store: one SQLite file holding the settings record, the
/// presets and the display name overrides, with one main context.
class ModelContainer {
  public:
    static constexpr const char* kSchemaVersion = "1.0.0";
    static constexpr const char* kConfiguration = "Orvane";

    /// Opens the store at path, creating the file, its directory and its tables
    /// as needed. Throws StoreError when the store cannot be created or opened,
    /// or holds another configuration or schema version (it is never rewritten).
    explicit ModelContainer(const std::string& path);

    ModelContext& mainContext() { return *context_; }
    const std::string& path() const { return path_; }

    /// "$XDG_DATA_HOME/orvane/Orvane.store", or under ~/.local/share.
    static std::string defaultPath();

  private:
    std::string path_;
    std::unique_ptr<SQLiteDatabase> db_;
    std::unique_ptr<ModelContext> context_;
};

}  // namespace orvane::settings
