// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "input/KeyCombo.h"
#include "input/KeyPreferences.h"
#include "schedule/SunTimes.h"
#include "store/PersistentModel.h"

namespace orvane::store {
class ModelContext;
}

namespace orvane::settings {

/// The one settings record. Writes mark it changed; they do not save.
class AppSettings final : public store::PersistentModel {
  public:
    static constexpr const char* kTable = "AppSettings";
    static const std::vector<std::string> kColumns;

    bool interceptBrightnessKeys() const { return interceptBrightnessKeys_; }
    void setInterceptBrightnessKeys(bool v) {
        set(interceptBrightnessKeys_, v, "interceptBrightnessKeys");
    }
    bool interceptVolumeKeys() const { return interceptVolumeKeys_; }
    void setInterceptVolumeKeys(bool v) { set(interceptVolumeKeys_, v, "interceptVolumeKeys"); }
    bool brightnessSyncEnabled() const { return brightnessSyncEnabled_; }
    void setBrightnessSyncEnabled(bool v) {
        set(brightnessSyncEnabled_, v, "brightnessSyncEnabled");
    }
    bool showOSD() const { return showOSD_; }
    void setShowOSD(bool v) { set(showOSD_, v, "showOSD"); }
    bool launchAtLogin() const { return launchAtLogin_; }
    void setLaunchAtLogin(bool v) { set(launchAtLogin_, v, "launchAtLogin"); }
    double brightnessStep() const { return brightnessStep_; }
    void setBrightnessStep(double v) { set(brightnessStep_, v, "brightnessStep"); }
    double volumeStep() const { return volumeStep_; }
    void setVolumeStep(double v) { set(volumeStep_, v, "volumeStep"); }
    const std::optional<std::string>& defaultPresetName() const { return defaultPresetName_; }
    void setDefaultPresetName(std::optional<std::string> v) {
        set(defaultPresetName_, std::move(v), "defaultPresetName");
    }
    const std::optional<std::vector<std::uint8_t>>& shortcutBindingsJSON() const {
        return shortcutBindingsJSON_;
    }
    void setShortcutBindingsJSON(std::optional<std::vector<std::uint8_t>> v) {
        set(shortcutBindingsJSON_, std::move(v), "shortcutBindingsJSON");
    }
    /// Where sunrise and sunset are computed for; none until the user gives it.
    std::optional<schedule::Location> location() const {
        if (!latitude_ || !longitude_) return std::nullopt;
        return schedule::Location{*latitude_, *longitude_};
    }
    void setLocation(std::optional<schedule::Location> where) {
        set(latitude_, where ? std::optional(where->latitude) : std::nullopt, "latitude");
        set(longitude_, where ? std::optional(where->longitude) : std::nullopt, "longitude");
    }

    /// The bindings document; undecodable bytes read as no bindings.
    input::ShortcutBindings shortcutBindings() const;
    void setShortcutBindings(const input::ShortcutBindings& bindings);

    /// The fields the keys and panels follow.
    input::KeyPreferences keyPreferences() const;

    const char* tableName() const override { return kTable; }
    const std::vector<std::string>& columnNames() const override { return kColumns; }
    void bindColumns(store::SQLiteStatement& statement) const override;
    static std::shared_ptr<AppSettings> fromRow(const store::SQLiteStatement& row, int first);

  private:
    bool interceptBrightnessKeys_ = true;
    bool interceptVolumeKeys_ = false;
    bool brightnessSyncEnabled_ = false;
    bool showOSD_ = true;
    bool launchAtLogin_ = false;
    double brightnessStep_ = 6.25;
    double volumeStep_ = 6.25;
    std::optional<std::string> defaultPresetName_;
    std::optional<std::vector<std::uint8_t>> shortcutBindingsJSON_;
    std::optional<double> latitude_;
    std::optional<double> longitude_;
};

/// The settings record, created with the defaults on first use. Never fails:
/// fetch and save errors leave the caller with a record all the same.
std::shared_ptr<AppSettings> fetchOrCreateSettings(store::ModelContext& context);

}  // namespace orvane::settings
