// SQLite connection and statement wrappers.
#include "store/Sqlite.h"

namespace larderly {

SqlStatement::SqlStatement(sqlite3* db, const std::string& sql) : db_(db) {
    if (sqlite3_prepare_v3(db, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                           &stmt_, nullptr) != SQLITE_OK)
        throw EStoreError(std::string(sqlite3_errmsg(db)));
}

SqlStatement::~SqlStatement() {
    if (stmt_) sqlite3_finalize(stmt_);
}

SqlStatement::SqlStatement(SqlStatement&& o) noexcept : db_(o.db_), stmt_(o.stmt_) {
    o.stmt_ = nullptr;
}

SqlStatement& SqlStatement::operator=(SqlStatement&& o) noexcept {
    if (this != &o) {
        if (stmt_) sqlite3_finalize(stmt_);
        db_ = o.db_;
        stmt_ = o.stmt_;
        o.stmt_ = nullptr;
    }
    return *this;
}

void SqlStatement::Reset() {
    if (stmt_) {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
}

void SqlStatement::Bind(int index, int64_t value) {
    sqlite3_bind_int64(stmt_, index, value);
}

void SqlStatement::Bind(int index, std::string_view text) {
    sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void SqlStatement::BindBlob(int index, std::string_view bytes) {
    if (bytes.empty())
        sqlite3_bind_zeroblob(stmt_, index, 0);
    else
        sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT);
}

bool SqlStatement::Step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    std::string msg = sqlite3_errmsg(db_);
    sqlite3_reset(stmt_);
    throw EStoreError(msg);
}

void SqlStatement::Run() {
    while (Step()) {
    }
}

std::string SqlStatement::ColumnText(int col) const {
    auto p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
    return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(stmt_, col)))
             : std::string();
}

std::string SqlStatement::ColumnBlob(int col) const {
    auto p = static_cast<const char*>(sqlite3_column_blob(stmt_, col));
    return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(stmt_, col)))
             : std::string();
}

void SqlConnection::Open(const std::string& path) {
    Close();
    int rc =
        sqlite3_open_v2(path.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        std::string msg = db_ ? sqlite3_errmsg(db_) : "out of memory";
        Close();
        throw EStoreError("Cannot open table file " + path + ": " + msg);
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, 5000);
}

void SqlConnection::Close() {
    if (db_) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
}

void SqlConnection::Exec(const std::string& sql) {
    char* err = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        std::string msg = err ? err : sqlite3_errmsg(db_);
        sqlite3_free(err);
        throw EStoreError(msg);
    }
}

void SqlConnection::Fail(const std::string& what) const {
    throw EStoreError(what + ": " + (db_ ? sqlite3_errmsg(db_) : "no database"));
}

} // namespace larderly
