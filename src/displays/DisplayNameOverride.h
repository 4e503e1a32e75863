// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "store/PersistentModel.h"

namespace orvane::displays {

/// A user-chosen name for the display with this key. Stored records are
/// identified by the store's own identity, not by their fields.
class DisplayNameOverride final : public store::PersistentModel {
  public:
    static constexpr const char* kTable = "DisplayNameOverride";
    static const std::vector<std::string> kColumns;

    DisplayNameOverride(std::string displayKey, std::string customName)
        : displayKey_(std::move(displayKey)), customName_(std::move(customName)) {}

    const std::string& displayKey() const { return displayKey_; }
    void setDisplayKey(std::string v) { set(displayKey_, std::move(v), "displayKey"); }
    const std::string& customName() const { return customName_; }
    void setCustomName(std::string v) { set(customName_, std::move(v), "customName"); }

    const char* tableName() const override { return kTable; }
    const std::vector<std::string>& columnNames() const override { return kColumns; }
    void bindColumns(store::SQLiteStatement& statement) const override;
    static std::shared_ptr<DisplayNameOverride> fromRow(const store::SQLiteStatement& row,
                                                        int first);

  private:
    std::string displayKey_;
    std::string customName_;
};

}  // namespace orvane::displays
