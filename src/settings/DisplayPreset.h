// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "schedule/PresetSchedule.h"
#include "store/PersistentModel.h"

namespace orvane::settings {

/// One display's values in a preset, keyed by its display key.
struct DisplayPresetEntry {
    std::string displayKey;
    std::string displayName;
    std::optional<double> brightness;
    std::optional<double> contrast;
    std::optional<double> volume;
    std::optional<std::uint16_t> inputSource;
    std::optional<std::int64_t> resolutionWidth;
    std::optional<std::int64_t> resolutionHeight;
    std::optional<double> refreshRate;
    std::optional<bool> isHiDPI;
    /// Features beyond the five controls by VCP code, stored as
    /// "features": {"0x87": 50}. A member of another shape is left out
    /// rather than spoiling the preset.
    std::map<std::uint8_t, std::uint16_t> features{};
    bool operator==(const DisplayPresetEntry&) const = default;
};

/// The entries document: a JSON array; absent members are left out. None when
/// the bytes are not such an array (one bad entry spoils all of them).
std::optional<std::vector<DisplayPresetEntry>> decodePresetEntries(
    const std::vector<std::uint8_t>& bytes);
std::optional<std::vector<std::uint8_t>> encodePresetEntries(
    const std::vector<DisplayPresetEntry>& entries);

/// Seconds since 1970, as the store keeps dates.
using StoreDate = double;

/// A named snapshot of every display's values.
class DisplayPreset final : public store::PersistentModel {
  public:
    static constexpr const char* kTable = "DisplayPreset";
    static const std::vector<std::string> kColumns;

    DisplayPreset() = default;
    DisplayPreset(std::string name, StoreDate createdAt, std::int64_t sortOrder)
        : name_(std::move(name)), createdAt_(createdAt), sortOrder_(sortOrder) {}

    const std::string& name() const { return name_; }
    void setName(std::string v) { set(name_, std::move(v), "name"); }
    StoreDate createdAt() const { return createdAt_; }
    const std::optional<StoreDate>& lastUsedAt() const { return lastUsedAt_; }
    void setLastUsedAt(std::optional<StoreDate> v) { set(lastUsedAt_, v, "lastUsedAt"); }
    std::int64_t sortOrder() const { return sortOrder_; }
    const std::optional<std::vector<std::uint8_t>>& entriesJSON() const { return entriesJSON_; }
    void setEntriesJSON(std::optional<std::vector<std::uint8_t>> v) {
        set(entriesJSON_, std::move(v), "entriesJSON");
    }

    /// When the preset comes into force each day; none for one applied by hand only.
    std::optional<schedule::PresetSchedule> schedule() const {
        if (!scheduleJSON_) return std::nullopt;
        return schedule::PresetSchedule::decode(*scheduleJSON_);
    }
    void setSchedule(const std::optional<schedule::PresetSchedule>& s) {
        set(scheduleJSON_, s ? std::optional(s->encode()) : std::nullopt, "scheduleJSON");
    }

    /// Empty when the document is missing or undecodable.
    std::vector<DisplayPresetEntry> entries() const;
    void setEntries(const std::vector<DisplayPresetEntry>& entries);

    static bool bySortOrder(const DisplayPreset& a, const DisplayPreset& b) {
        return a.sortOrder_ < b.sortOrder_;
    }

    const char* tableName() const override { return kTable; }
    const std::vector<std::string>& columnNames() const override { return kColumns; }
    void bindColumns(store::SQLiteStatement& statement) const override;
    static std::shared_ptr<DisplayPreset> fromRow(const store::SQLiteStatement& row, int first);

  private:
    std::string name_;
    StoreDate createdAt_ = 0;
    std::optional<StoreDate> lastUsedAt_;
    std::int64_t sortOrder_ = 0;
    std::optional<std::vector<std::uint8_t>> entriesJSON_;
    std::optional<std::vector<std::uint8_t>> scheduleJSON_;
};

}  // namespace orvane::settings
