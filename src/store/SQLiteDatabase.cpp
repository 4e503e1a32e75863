// SPDX-License-Identifier: MIT
#include "store/SQLiteDatabase.h"

#include <sqlite3.h>

namespace orvane::store {

SQLiteDatabase::SQLiteDatabase(const std::string& path) {
    const int rc = sqlite3_open_v2(
        path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
        nullptr);
    if (rc != SQLITE_OK) {
        const std::string what = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        sqlite3_close(db_);
        db_ = nullptr;
        throw StoreError(what + " (" + path + ")");
    }
    sqlite3_busy_timeout(db_, 5000);
}

SQLiteDatabase::~SQLiteDatabase() {
    sqlite3_close(db_);
}

void SQLiteDatabase::fail(const std::string& what) const {
    throw StoreError(what + ": " + sqlite3_errmsg(db_));
}

void SQLiteDatabase::execute(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::string what = error ? error : "unknown error";
        sqlite3_free(error);
        throw StoreError(what);
    }
}

std::int64_t SQLiteDatabase::lastInsertRowID() const {
    return sqlite3_last_insert_rowid(db_);
}

SQLiteStatement::SQLiteStatement(SQLiteDatabase& db, const std::string& sql) : db_(db) {
    if (sqlite3_prepare_v2(db.handle(), sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK)
        db.fail("cannot prepare \"" + sql + "\"");
}

SQLiteStatement::~SQLiteStatement() {
    sqlite3_finalize(stmt_);
}

namespace {
void check(SQLiteDatabase& db, int rc) {
    if (rc != SQLITE_OK) db.fail("cannot bind");
}
}  // namespace

void SQLiteStatement::bind(int i, std::int64_t v) {
    check(db_, sqlite3_bind_int64(stmt_, i, v));
}
void SQLiteStatement::bind(int i, double v) {
    check(db_, sqlite3_bind_double(stmt_, i, v));
}
void SQLiteStatement::bind(int i, const std::string& v) {
    check(db_, sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT));
}
void SQLiteStatement::bind(int i, const std::vector<std::uint8_t>& v) {
    // A zero-length blob must stay a blob, not become NULL.
    static const std::uint8_t empty = 0;
    check(db_, sqlite3_bind_blob(stmt_, i, v.empty() ? &empty : v.data(),
                                 static_cast<int>(v.size()), SQLITE_TRANSIENT));
}
void SQLiteStatement::bindNull(int i) {
    check(db_, sqlite3_bind_null(stmt_, i));
}

bool SQLiteStatement::step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    db_.fail("statement failed");
}

void SQLiteStatement::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

bool SQLiteStatement::isNull(int c) const {
    return sqlite3_column_type(stmt_, c) == SQLITE_NULL;
}
std::int64_t SQLiteStatement::int64(int c) const {
    return sqlite3_column_int64(stmt_, c);
}
double SQLiteStatement::real(int c) const {
    return sqlite3_column_double(stmt_, c);
}
std::string SQLiteStatement::text(int c) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, c));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, c))) : "";
}
std::vector<std::uint8_t> SQLiteStatement::blob(int c) const {
    const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, c));
    const auto n = static_cast<std::size_t>(sqlite3_column_bytes(stmt_, c));
    return p ? std::vector<std::uint8_t>(p, p + n) : std::vector<std::uint8_t>{};
}
std::optional<std::string> SQLiteStatement::optionalText(int c) const {
    if (isNull(c)) return std::nullopt;
    return text(c);
}
std::optional<std::vector<std::uint8_t>> SQLiteStatement::optionalBlob(int c) const {
    if (isNull(c)) return std::nullopt;
    return blob(c);
}
std::optional<double> SQLiteStatement::optionalReal(int c) const {
    if (isNull(c)) return std::nullopt;
    return real(c);
}

SQLiteTransaction::SQLiteTransaction(SQLiteDatabase& db) : db_(db) {
    db_.execute("BEGIN IMMEDIATE");
}

SQLiteTransaction::~SQLiteTransaction() {
    if (!done_) {
        try {
            db_.execute("ROLLBACK");
        } catch (const StoreError&) {
            // Nothing more can be done; the store rolls back on its own at close.
        }
    }
}

void SQLiteTransaction::commit() {
    db_.execute("COMMIT");
    done_ = true;
}

}  // namespace orvane::store
