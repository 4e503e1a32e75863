// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/Observable.h"

namespace orvane::store {

class ModelContext;
class SQLiteStatement;

/// A record of the store. Identity is the store's: two objects are the same
/// record when they are the same object. Field writes mark the record changed
/// and tell its observers; saving the context writes it.
class PersistentModel {
  public:
    virtual ~PersistentModel() = default;
    PersistentModel() = default;
    PersistentModel(const PersistentModel&) = delete;
    PersistentModel& operator=(const PersistentModel&) = delete;

    /// The row's identifier once saved.
    std::optional<std::int64_t> persistentID() const { return rowID_; }
    bool hasChanges() const { return changed_; }

    [[nodiscard]] std::shared_ptr<void> observe(runtime::ChangeNotifier::Observer observer) {
        return notifier_.observe(std::move(observer));
    }

    // The table mapping, in schema order.
    virtual const char* tableName() const = 0;
    virtual const std::vector<std::string>& columnNames() const = 0;
    /// Binds every column, from parameter 1.
    virtual void bindColumns(SQLiteStatement& statement) const = 0;

  protected:
    template <typename T>
    void set(T& field, T value, std::string_view name) {
        if (field == value) return;
        field = std::move(value);
        changed_ = true;
        notifier_.notify(name);
    }

  private:
    friend class ModelContext;
    std::optional<std::int64_t> rowID_;
    bool changed_ = false;
    runtime::ChangeNotifier notifier_;
};

}  // namespace orvane::store
