// SQLite connection and statement wrappers.
#include "store/Sqlite.h"

#include <cstdio>

namespace larderly {

namespace {

// The failure of the last call on `db` in words a user can act on, where SQLite's own text
// ("database is locked", "database or disk is full") would only puzzle; others keep it.
std::string FailureText(sqlite3* db) {
    switch (sqlite3_errcode(db) & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return "another program is writing to the recipe files; try again when it has "
               "finished";
    case SQLITE_FULL:
        return "the disk that holds the recipe files is full; make room on it, then try again";
    case SQLITE_READONLY:
        return "the recipe files cannot be written (a read-only file or folder); give your "
               "user write permission to the data folder, then try again";
    case SQLITE_IOERR:
        return "the recipe files could not be read or written (an input/output error); check "
               "the disk, then try again";
    default:
        return sqlite3_errmsg(db);
    }
}

} // namespace

SqlStatement::SqlStatement(sqlite3* db, const std::string& sql) : db_(db) {
    if (sqlite3_prepare_v3(db, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                           &stmt_, nullptr) != SQLITE_OK)
        throw EStoreError(FailureText(db));
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
    std::string msg = FailureText(db_);
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

int64_t FileChangeCounter(const std::string& file) {
    FILE* f = std::fopen(file.c_str(), "rb");
    if (!f) return -1;
    unsigned char b[28];
    const bool ok = std::fread(b, 1, sizeof b, f) == sizeof b;
    std::fclose(f);
    if (!ok) return -1;
    return (int64_t{b[24]} << 24) | (int64_t{b[25]} << 16) | (int64_t{b[26]} << 8) | int64_t{b[27]};
}

void SqlConnection::Open(const std::string& path) {
    Close();
    int rc =
        sqlite3_open_v2(path.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        std::string msg = db_ ? FailureText(db_) : "out of memory";
        Close();
        throw EStoreError("Cannot open table file " + path + ": " + msg);
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
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
        const int code = sqlite3_errcode(db_) & 0xff;
        const bool worded = code == SQLITE_BUSY || code == SQLITE_LOCKED || code == SQLITE_FULL ||
                            code == SQLITE_READONLY || code == SQLITE_IOERR;
        std::string msg = worded || !err ? FailureText(db_) : std::string(err);
        sqlite3_free(err);
        throw EStoreError(msg);
    }
}

void SqlConnection::Fail(const std::string& what) const {
    throw EStoreError(what + ": " + (db_ ? FailureText(db_) : "no database"));
}

} // namespace larderly
