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

    /// The preset named (in any case, as URLs name it), or none.
    std::shared_ptr<DisplayPreset> preset(const std::string& name) const;
    /// Gives the preset a schedule, or takes it away; false (said) when it
    /// cannot be saved or names a sun event without a location.
    bool setSchedule(DisplayPreset& preset, const std::optional<schedule::PresetSchedule>& when);
    /// Where sun times are for; none clears it.
    bool setLocation(const std::optional<schedule::Location>& where);
    std::optional<schedule::Location> location() const;

    /// A scheduled preset and the moment it comes into force.
    struct ScheduledChange {
        std::shared_ptr<DisplayPreset> preset;
        schedule::PresetSchedule when;
        StoreDate at = 0;
    };
    /// The scheduled preset whose latest moment is the most recent at now.
    std::optional<ScheduledChange> inForce(StoreDate now) const;
    /// The first scheduled moment after now.
    std::optional<ScheduledChange> nextChange(StoreDate now) const;
    StoreDate now() const { return now_(); }

  private:
    /// The latest moment at or before now, or the first after it.
    std::optional<ScheduledChange> scheduledChange(StoreDate now, bool next) const;
    /// Saves the context; the error when it could not, the change then pending.
    std::optional<std::string> saveQuietly();
    std::shared_ptr<displays::DisplayManager> registry_;
    runtime::Logger& log_;
    std::function<StoreDate()> now_;
};

}  // namespace orvane::settings
