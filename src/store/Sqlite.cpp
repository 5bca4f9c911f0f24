// SQLite connection and statement wrappers.
#include "store/Sqlite.h"

#include "platform/FileUtil.h"
#include "platform/FolderLock.h"

#include <cstdio>

namespace larderly {

namespace {

// The data folder of the files `db` has open ("" when it has none).
std::string DataFolderOf(sqlite3* db) {
    const char* file = sqlite3_db_filename(db, "main");
    return file && *file ? fileutil::ParentFolder(file) : std::string();
}

bool IsBusy(sqlite3* db) {
    const int code = sqlite3_errcode(db) & 0xff;
    return code == SQLITE_BUSY || code == SQLITE_LOCKED;
}

// The failure of the last call on `db` in words a user can act on, where SQLite's own text
// ("database is locked", "database or disk is full") would only puzzle; others keep it.
std::string FailureText(sqlite3* db) {
    if (sqlite3_extended_errcode(db) == SQLITE_READONLY_DBMOVED)
        return "a file of the data folder " + DataFolderOf(db) +
               " was removed or replaced by another process while it was open here; end this "
               "command or close the program, then start it again";
    switch (sqlite3_errcode(db) & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: {
        // A lock conflict, never a fault of the files: say who holds them, when it is known.
        const std::string folder = DataFolderOf(db);
        std::string holder = folder.empty() ? std::string() : FolderLock::Writer(folder);
        if (holder.empty()) holder = "another program";
        return "the data folder " + folder + " is in use by " + holder +
               "; try again when it has finished";
    }
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

// Raises `text`, the failure of the last call on `db`, as EStoreBusy when it was a lock
// conflict.
[[noreturn]] void Raise(bool busy, const std::string& text) {
    if (busy) throw EStoreBusy(text);
    throw EStoreError(text);
}

} // namespace

SqlStatement::SqlStatement(sqlite3* db, const std::string& sql) : db_(db) {
    if (sqlite3_prepare_v3(db, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                           &stmt_, nullptr) != SQLITE_OK)
        Raise(IsBusy(db), FailureText(db));
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
    const std::string msg = FailureText(db_);
    const bool busy = IsBusy(db_);
    sqlite3_reset(stmt_);
    Raise(busy, msg);
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
        Raise(IsBusy(db_), msg);
    }
}

void SqlConnection::Fail(const std::string& what) const {
    if (!db_) throw EStoreError(what + ": no database");
    Raise(IsBusy(db_), what + ": " + FailureText(db_));
}

} // namespace larderly
