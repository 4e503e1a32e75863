// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "displays/DisplayManager.h"
#include "runtime/Logger.h"
#include "runtime/Task.h"
#include "settings/DisplayPreset.h"
#include "store/ModelContext.h"

namespace orvane::settings {

/// Saves, applies and deletes presets, and applies the default one at launch.
/// Main thread only.
class PresetManager {
  public:
    PresetManager(std::shared_ptr<displays::DisplayManager> registry, runtime::Logger& log,
                  std::function<StoreDate()> now = nullptr);

    /// The store's main context; absent until launch sets it.
    store::ModelContext* modelContext = nullptr;

    void savePreset(const std::string& name);
    runtime::Task<void> apply(std::shared_ptr<DisplayPreset> preset);
    runtime::Task<void> applyDefaultPreset();
    void setDefault(const std::optional<std::string>& name);
    void remove(const std::shared_ptr<DisplayPreset>& preset);

    /// Every preset by sort order; a failing fetch counts as none.
    std::vector<std::shared_ptr<DisplayPreset>> presets() const;

  private:
    /// Saves the context; the error when it could not, the change then pending.
    std::optional<std::string> saveQuietly();
    std::shared_ptr<displays::DisplayManager> registry_;
    runtime::Logger& log_;
    std::function<StoreDate()> now_;
};

}  // namespace orvane::settings
