// A thin RAII layer over SQLite: one connection, prepared statements, errors as EStoreError.
#pragma once

#include "store/StoreError.h"

#include <cstdint>
#include <sqlite3.h>
#include <string>
#include <string_view>

namespace larderly {

// The file change counter SQLite keeps in a database file's header (bytes 24-27), which
// every commit in rollback-journal mode moves on; -1 when the file cannot be read.
int64_t FileChangeCounter(const std::string& file);

// How long a statement waits for another program's lock on the files before it fails with
// "database is locked".
inline constexpr int kBusyTimeoutMs = 5000;

class SqlStatement {
public:
    SqlStatement() = default;
    SqlStatement(sqlite3* db, const std::string& sql);
    ~SqlStatement();
    SqlStatement(SqlStatement&& o) noexcept;
    SqlStatement& operator=(SqlStatement&& o) noexcept;
    SqlStatement(const SqlStatement&) = delete;
    SqlStatement& operator=(const SqlStatement&) = delete;

    bool valid() const { return stmt_ != nullptr; }
    void Reset();
    void Bind(int index, int64_t value);
    void Bind(int index, std::string_view text);
    void BindBlob(int index, std::string_view bytes);
    // Steps once: true when a row is there, false when done. Raises on error.
    bool Step();
    // Runs to completion.
    void Run();
    int64_t ColumnInt(int col) const { return sqlite3_column_int64(stmt_, col); }
    std::string ColumnText(int col) const;
    std::string ColumnBlob(int col) const;
    bool ColumnIsNull(int col) const { return sqlite3_column_type(stmt_, col) == SQLITE_NULL; }

private:
    sqlite3* db_ = nullptr;
    sqlite3_stmt* stmt_ = nullptr;
};

class SqlConnection {
public:
    SqlConnection() = default;
    ~SqlConnection() { Close(); }
    SqlConnection(const SqlConnection&) = delete;
    SqlConnection& operator=(const SqlConnection&) = delete;

    void Open(const std::string& path);
    void Close();
    bool IsOpen() const { return db_ != nullptr; }
    sqlite3* handle() const { return db_; }
    void Exec(const std::string& sql);
    // Raises EStoreError with `what` and the connection's message.
    [[noreturn]] void Fail(const std::string& what) const;

private:
    sqlite3* db_ = nullptr;
};

} // namespace larderly
