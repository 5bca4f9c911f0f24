// One table of the store as the table engine's cursor: a current index, first/next/end,
// ranges on the current index, exact-key lookups, append/edit/post, and delete that moves
// to the following row. Rows live in SQLite; each table sits in its own database file,
// attached to the store's one connection under its own schema name.
#pragma once

#include "store/Sqlite.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace larderly {

enum class FieldKind { Integer, String, Blob };

struct FieldDef {
    std::string name;
    FieldKind kind = FieldKind::Integer;
};

struct IndexDef {
    std::string name;
    std::vector<int> fields; // field positions of the key
    bool noCase = false;     // string keys compare with the letters a-z folded
};

struct TableDef {
    std::string name;              // "tblListLabel"
    std::string file;              // "tbl101" (the file is file + ".nx1")
    std::string schema;            // attached schema name
    std::vector<FieldDef> fields;  // position 0 is InternalID
    std::vector<IndexDef> indexes; // besides "InternalID"
};

using KeyValue = std::variant<int64_t, std::string>;

class TTable {
public:
    TTable(SqlConnection& conn, TableDef def);
    TTable(const TTable&) = delete;
    TTable& operator=(const TTable&) = delete;

    const TableDef& Def() const { return def_; }
    const std::string& TableName() const { return def_.name; }
    std::string FileName() const { return def_.file + ".nx1"; }
    // "schema.name", for SQL that reaches the table directly.
    const std::string& QualifiedName() const { return qualified_; }

    // SQL that creates the table and its indexes in its schema.
    std::vector<std::string> CreateSql() const;

    void Open();
    void Close();
    bool Active() const { return active_; }

    // Chooses the current index by name ("InternalID" or one of the table's indexes).
    // Choosing the current one changes nothing.
    void SetIndexName(const std::string& name);
    const std::string& IndexName() const { return indexName_; }

    void First();
    void Next();
    bool Eof() const { return !hasRow_; }
    // Rows in the table, or within the range when one is set.
    int RecordCount();

    // Exact-key lookup on the current index (one value, or two on a two-field index).
    // Found: the table stands on the first such row. Not found: nothing moves.
    bool FindKey(const std::vector<KeyValue>& key);
    // Restricts the table to the rows whose first key field of the current index equals v.
    void SetRange(const KeyValue& v);
    void CancelRange();

    // Positions on the row with that identifier, whatever the current index.
    bool Locate(int32_t id);

    void Append();
    void Edit();
    void Post();
    void Cancel();
    // Deletes the current row; the table then stands on the following row (or at the end).
    void Delete();
    bool Editing() const { return state_ != State::Browse; }

    int32_t FieldAsInteger(int pos) const;
    std::string FieldAsString(int pos) const;
    // The blob of the current row, read on demand.
    std::string FieldAsBlob(int pos);
    void SetFieldInteger(int pos, int32_t v);
    void SetFieldString(int pos, const std::string& v);
    void SetFieldBlob(int pos, std::string bytes);

    // Forgets any pending iteration statement; the next Next() seeks again from the
    // current row. Called around commits and rollbacks.
    void ResetCursor();

private:
    enum class State { Browse, Insert, Edit };
    struct Cell {
        int64_t i = 0;
        std::string s;
    };

    const IndexDef* CurrentIndex() const;
    std::string OrderBy() const;
    std::string KeyExpr(int field) const;
    std::string RangeWhere() const;
    SqlStatement& Cached(const std::string& sql);
    void BindRange(SqlStatement& st, int& n) const;
    void LoadRow(const SqlStatement& st);
    bool StepIter();
    void SeekAfter(const std::vector<Cell>& row);
    void RequireOpen() const;
    void RequireEditing() const;

    SqlConnection& conn_;
    TableDef def_;
    std::string qualified_;      // schema.name
    std::string selectCols_;     // non-blob columns, in position order
    std::vector<int> selectPos_; // position -> column in a select, -1 for blobs
    bool active_ = false;
    std::string indexName_ = "InternalID";
    std::optional<KeyValue> range_;
    std::map<std::string, SqlStatement> cache_;
    SqlStatement* iter_ = nullptr; // live iteration statement, positioned at the current row
    bool hasRow_ = false;
    std::vector<Cell> row_;
    State state_ = State::Browse;
    std::vector<Cell> edit_;
    std::map<int, std::string> editBlobs_;
};

// Returns a table to the index InternalID when it goes out of scope, whatever happened.
class IndexRestorer {
public:
    explicit IndexRestorer(TTable& t) : t_(t) {}
    ~IndexRestorer() {
        try {
            t_.CancelRange();
            t_.SetIndexName("InternalID");
        } catch (...) {
        }
    }
    IndexRestorer(const IndexRestorer&) = delete;
    IndexRestorer& operator=(const IndexRestorer&) = delete;

private:
    TTable& t_;
};

} // namespace larderly
