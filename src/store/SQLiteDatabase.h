// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace orvane::store {

/// A store operation that failed; what() is the store's description.
class StoreError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class SQLiteDatabase;

/// One prepared statement; finalized when destroyed.
class SQLiteStatement {
  public:
    SQLiteStatement(SQLiteDatabase& db, const std::string& sql);
    ~SQLiteStatement();
    SQLiteStatement(const SQLiteStatement&) = delete;
    SQLiteStatement& operator=(const SQLiteStatement&) = delete;

    // Parameters count from 1.
    void bind(int index, std::int64_t value);
    void bind(int index, double value);
    void bind(int index, bool value) { bind(index, std::int64_t{value}); }
    void bind(int index, const std::string& value);
    void bind(int index, const std::vector<std::uint8_t>& value);
    void bindNull(int index);
    template <typename T>
    void bind(int index, const std::optional<T>& value) {
        if (value) {
            bind(index, *value);
        } else {
            bindNull(index);
        }
    }

    /// True while a row is available; false when done. Throws on errors.
    bool step();
    void reset();

    // Columns count from 0.
    bool isNull(int column) const;
    std::int64_t int64(int column) const;
    double real(int column) const;
    std::string text(int column) const;
    std::vector<std::uint8_t> blob(int column) const;
    std::optional<std::string> optionalText(int column) const;
    std::optional<std::vector<std::uint8_t>> optionalBlob(int column) const;
    std::optional<double> optionalReal(int column) const;

  private:
    SQLiteDatabase& db_;
    sqlite3_stmt* stmt_ = nullptr;
};

/// An open SQLite database file; closed when destroyed.
class SQLiteDatabase {
  public:
    /// Opens or creates the file. Throws StoreError.
    explicit SQLiteDatabase(const std::string& path);
    ~SQLiteDatabase();
    SQLiteDatabase(const SQLiteDatabase&) = delete;
    SQLiteDatabase& operator=(const SQLiteDatabase&) = delete;

    void execute(const std::string& sql);
    std::int64_t lastInsertRowID() const;
    sqlite3* handle() const { return db_; }
    [[noreturn]] void fail(const std::string& what) const;

  private:
    sqlite3* db_ = nullptr;
};

/// BEGIN IMMEDIATE ... COMMIT; rolled back unless committed.
class SQLiteTransaction {
  public:
    explicit SQLiteTransaction(SQLiteDatabase& db);
    ~SQLiteTransaction();
    SQLiteTransaction(const SQLiteTransaction&) = delete;
    SQLiteTransaction& operator=(const SQLiteTransaction&) = delete;
    void commit();

  private:
    SQLiteDatabase& db_;
    bool done_ = false;
};

}  // namespace orvane::store
