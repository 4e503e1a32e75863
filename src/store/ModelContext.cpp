// SPDX-License-Identifier: MIT
#include "store/ModelContext.h"

namespace orvane::store {

void ModelContext::insert(std::shared_ptr<PersistentModel> model) {
    if (!model || model->rowID_) return;
    if (std::find(inserted_.begin(), inserted_.end(), model) != inserted_.end()) return;
    inserted_.push_back(std::move(model));
}

void ModelContext::remove(const std::shared_ptr<PersistentModel>& model) {
    if (!model) return;
    if (auto it = std::find(inserted_.begin(), inserted_.end(), model); it != inserted_.end()) {
        inserted_.erase(it);
        return;
    }
    if (model->rowID_ && std::find(deleted_.begin(), deleted_.end(), model) == deleted_.end())
        deleted_.push_back(model);
}

bool ModelContext::deleted(std::string_view table, std::int64_t id) const {
    return std::any_of(deleted_.begin(), deleted_.end(), [&](const auto& m) {
        return m->rowID_ == id && std::string_view(m->tableName()) == table;
    });
}

bool ModelContext::hasChanges() const {
    if (!inserted_.empty() || !deleted_.empty()) return true;
    return std::any_of(registered_.begin(), registered_.end(),
                       [](const auto& entry) { return entry.second->changed_; });
}

void ModelContext::save() {
    if (!hasChanges()) return;
    std::vector<std::pair<PersistentModel*, std::int64_t>> assigned;
    {
        SQLiteTransaction transaction(db_);
        for (const auto& m : inserted_) {
            const auto& columns = m->columnNames();
            std::string sql = "INSERT INTO " + std::string(m->tableName()) + " (";
            std::string values;
            for (std::size_t i = 0; i < columns.size(); ++i) {
                sql += (i ? ", " : "") + columns[i];
                values += i ? ", ?" : "?";
            }
            SQLiteStatement insert(db_, sql + ") VALUES (" + values + ")");
            m->bindColumns(insert);
            insert.step();
            assigned.emplace_back(m.get(), db_.lastInsertRowID());
        }
        for (const auto& [k, m] : registered_) {
            if (!m->changed_ || deleted(m->tableName(), *m->rowID_)) continue;
            const auto& columns = m->columnNames();
            std::string sql = "UPDATE " + std::string(m->tableName()) + " SET ";
            for (std::size_t i = 0; i < columns.size(); ++i)
                sql += (i ? ", " : "") + columns[i] + " = ?";
            SQLiteStatement update(db_, sql + " WHERE id = ?");
            m->bindColumns(update);
            update.bind(static_cast<int>(columns.size()) + 1, *m->rowID_);
            update.step();
        }
        for (const auto& m : deleted_) {
            SQLiteStatement del(db_,
                                "DELETE FROM " + std::string(m->tableName()) + " WHERE id = ?");
            del.bind(1, *m->rowID_);
            del.step();
        }
        transaction.commit();
    }
    // Only a committed save changes what the context holds.
    for (auto& [m, id] : assigned)
        m->rowID_ = id;
    for (auto& m : inserted_) {
        m->changed_ = false;
        registered_[key(m->tableName(), *m->rowID_)] = m;
    }
    inserted_.clear();
    for (const auto& m : deleted_) {
        registered_.erase(key(m->tableName(), *m->rowID_));
        m->rowID_.reset();
    }
    deleted_.clear();
    for (auto& [k, m] : registered_)
        m->changed_ = false;
}

}  // namespace orvane::store
