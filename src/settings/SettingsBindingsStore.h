// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "input/ShortcutRecorder.h"
#include "runtime/Logger.h"
#include "store/ModelContext.h"

namespace orvane::settings {

/// The recorder's bindings, kept in the settings record. A stored document
/// that cannot be read is copied to a file before a recording replaces it.
class SettingsBindingsStore final : public input::ShortcutBindingsStore {
  public:
    SettingsBindingsStore(store::ModelContext& context, std::string backupDirectory,
                          runtime::Logger& log)
        : context_(context), backupDirectory_(std::move(backupDirectory)), log_(log) {}

    input::ShortcutBindings shortcutBindings() override;
    void setShortcutBindings(const input::ShortcutBindings& bindings) override;
    void save() override;

  private:
    store::ModelContext& context_;
    std::string backupDirectory_;
    runtime::Logger& log_;
};

}  // namespace orvane::settings
