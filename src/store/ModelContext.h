// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "store/PersistentModel.h"
#include "store/SQLiteDatabase.h"

namespace orvane::store {

/// Where records live between saves: inserted, fetched, changed and deleted
/// records are held here until save() writes them in one transaction.
class ModelContext {
  public:
    explicit ModelContext(SQLiteDatabase& db) : db_(db) {}

    void insert(std::shared_ptr<PersistentModel> model);
    void remove(const std::shared_ptr<PersistentModel>& model);
    /// Writes every pending insert, change and delete in one transaction that
    /// has reached the disk when this returns. Throws StoreError; nothing is
    /// written then and the changes stay pending.
    void save();
    bool hasChanges() const;

    /// Every record of type T (pending inserts included, pending deletes
    /// left out), in store order, or sorted by less (stable). Throws StoreError.
    template <typename T>
    std::vector<std::shared_ptr<T>> fetch(std::function<bool(const T&, const T&)> less = nullptr) {
        std::vector<std::shared_ptr<T>> result;
        std::string sql = "SELECT id";
        for (const auto& c : T::kColumns)
            sql += ", " + c;
        sql += " FROM " + std::string(T::kTable) + " ORDER BY id";
        SQLiteStatement select(db_, sql);
        while (select.step()) {
            const auto id = select.int64(0);
            if (deleted(T::kTable, id)) continue;
            auto& slot = registered_[key(T::kTable, id)];
            if (!slot) {
                auto fresh = T::fromRow(select, 1);
                fresh->rowID_ = id;
                slot = fresh;
            }
            result.push_back(std::static_pointer_cast<T>(slot));
        }
        for (const auto& m : inserted_) {
            if (auto t = std::dynamic_pointer_cast<T>(m)) result.push_back(std::move(t));
        }
        if (less) {
            std::stable_sort(result.begin(), result.end(),
                             [&](const auto& a, const auto& b) { return less(*a, *b); });
        }
        return result;
    }

    SQLiteDatabase& database() { return db_; }

  private:
    static std::string key(const char* table, std::int64_t id) {
        return std::string(table) + "#" + std::to_string(id);
    }
    /// Row ids repeat across tables: a pending delete is of one table's row.
    bool deleted(std::string_view table, std::int64_t id) const;

    SQLiteDatabase& db_;
    std::map<std::string, std::shared_ptr<PersistentModel>> registered_;
    std::vector<std::shared_ptr<PersistentModel>> inserted_;
    std::vector<std::shared_ptr<PersistentModel>> deleted_;
};

}  // namespace orvane::store
