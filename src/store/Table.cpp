// The table cursor over SQL.
#include "store/Table.h"

namespace larderly {

TTable::TTable(SqlConnection& conn, TableDef def) : conn_(conn), def_(std::move(def)) {
    qualified_ = def_.schema + "." + def_.name;
    int col = 0;
    for (std::size_t p = 0; p < def_.fields.size(); ++p) {
        if (def_.fields[p].kind == FieldKind::Blob) {
            selectPos_.push_back(-1);
            continue;
        }
        if (!selectCols_.empty()) selectCols_ += ", ";
        selectCols_ += def_.fields[p].name;
        selectPos_.push_back(col++);
    }
    row_.resize(def_.fields.size());
}

std::vector<std::string> TTable::CreateSql() const {
    std::string cols = "InternalID INTEGER PRIMARY KEY AUTOINCREMENT";
    for (std::size_t p = 1; p < def_.fields.size(); ++p) {
        const auto& f = def_.fields[p];
        cols += ", " + f.name +
                (f.kind == FieldKind::Integer  ? " INTEGER NOT NULL DEFAULT 0"
                 : f.kind == FieldKind::String ? " TEXT NOT NULL DEFAULT ''"
                                               : " BLOB");
    }
    std::vector<std::string> sql{"CREATE TABLE " + qualified_ + " (" + cols + ")"};
    for (const auto& ix : def_.indexes) {
        std::string key;
        for (int f : ix.fields) {
            if (!key.empty()) key += ", ";
            key += def_.fields[static_cast<size_t>(f)].name;
            if (ix.noCase && def_.fields[static_cast<size_t>(f)].kind == FieldKind::String)
                key += " COLLATE NOCASE";
        }
        sql.push_back("CREATE INDEX " + def_.schema + "." + ix.name + " ON " + def_.name + " (" +
                      key + ")");
    }
    return sql;
}

void TTable::Open() {
    active_ = true;
    hasRow_ = false;
    state_ = State::Browse;
    range_.reset();
    indexName_ = "InternalID";
}

void TTable::Close() {
    iter_ = nullptr;
    cache_.clear();
    active_ = false;
    hasRow_ = false;
    state_ = State::Browse;
    range_.reset();
}

void TTable::RequireOpen() const {
    if (!active_)
        throw EStoreError("Cannot perform this operation on a closed dataset (" + def_.name + ")");
}

void TTable::RequireEditing() const {
    if (state_ == State::Browse)
        throw EStoreError("Dataset not in edit or insert mode (" + def_.name + ")");
}

const IndexDef* TTable::CurrentIndex() const {
    for (const auto& ix : def_.indexes)
        if (ix.name == indexName_) return &ix;
    return nullptr;
}

void TTable::SetIndexName(const std::string& name) {
    if (name == indexName_) return;
    if (name != "InternalID") {
        bool known = false;
        for (const auto& ix : def_.indexes)
            known = known || ix.name == name;
        if (!known) throw EStoreError("Index '" + name + "' not found in " + def_.name);
    }
    indexName_ = name;
    range_.reset();
    // The walk under the old index ends here: a statement left stepping would hold a read
    // lock on the table file until the connection closes.
    if (iter_) iter_->Reset();
    iter_ = nullptr;
}

std::string TTable::KeyExpr(int field) const {
    const IndexDef* ix = CurrentIndex();
    std::string e = def_.fields[static_cast<size_t>(field)].name;
    if (ix && ix->noCase && def_.fields[static_cast<size_t>(field)].kind == FieldKind::String)
        e += " COLLATE NOCASE";
    return e;
}

std::string TTable::OrderBy() const {
    std::string o;
    if (const IndexDef* ix = CurrentIndex())
        for (int f : ix->fields)
            o += KeyExpr(f) + ", ";
    return o + "InternalID";
}

std::string TTable::RangeWhere() const {
    if (!range_) return {};
    const IndexDef* ix = CurrentIndex();
    return KeyExpr(ix ? ix->fields[0] : 0) + " = ?";
}

void TTable::BindRange(SqlStatement& st, int& n) const {
    if (!range_) return;
    if (auto* i = std::get_if<int64_t>(&*range_))
        st.Bind(n++, *i);
    else
        st.Bind(n++, std::get<std::string>(*range_));
}

SqlStatement& TTable::Cached(const std::string& sql) {
    auto it = cache_.find(sql);
    if (it == cache_.end()) it = cache_.emplace(sql, SqlStatement(conn_.handle(), sql)).first;
    it->second.Reset();
    return it->second;
}

void TTable::LoadRow(const SqlStatement& st) {
    for (std::size_t p = 0; p < def_.fields.size(); ++p) {
        int c = selectPos_[p];
        if (c < 0) continue;
        if (def_.fields[p].kind == FieldKind::String)
            row_[p].s = st.ColumnText(c);
        else
            row_[p].i = st.ColumnInt(c);
    }
    hasRow_ = true;
}

bool TTable::StepIter() {
    if (iter_ && iter_->Step()) {
        LoadRow(*iter_);
        return true;
    }
    if (iter_) iter_->Reset();
    iter_ = nullptr;
    hasRow_ = false;
    return false;
}

void TTable::First() {
    RequireOpen();
    state_ = State::Browse;
    std::string where = RangeWhere();
    std::string sql = "SELECT " + selectCols_ + " FROM " + qualified_ +
                      (where.empty() ? "" : " WHERE " + where) + " ORDER BY " + OrderBy();
    SqlStatement& st = Cached(sql);
    if (iter_ && iter_ != &st) iter_->Reset();
    int n = 1;
    BindRange(st, n);
    iter_ = &st;
    StepIter();
}

void TTable::SeekAfter(const std::vector<Cell>& row) {
    const IndexDef* ix = CurrentIndex();
    std::string lhs = "(", rhs = "(";
    if (ix)
        for (int f : ix->fields) {
            lhs += KeyExpr(f) + ", ";
            rhs += "?, ";
        }
    lhs += "InternalID)";
    rhs += "?)";
    std::string where = RangeWhere();
    std::string sql = "SELECT " + selectCols_ + " FROM " + qualified_ + " WHERE " +
                      (where.empty() ? "" : where + " AND ") + lhs + " > " + rhs + " ORDER BY " +
                      OrderBy();
    SqlStatement& st = Cached(sql);
    if (iter_ && iter_ != &st) iter_->Reset();
    int n = 1;
    BindRange(st, n);
    if (ix)
        for (int f : ix->fields) {
            const Cell& c = row[static_cast<size_t>(f)];
            if (def_.fields[static_cast<size_t>(f)].kind == FieldKind::String)
                st.Bind(n++, c.s);
            else
                st.Bind(n++, c.i);
        }
    st.Bind(n++, row[0].i);
    iter_ = &st;
    StepIter();
}

void TTable::Next() {
    RequireOpen();
    if (!hasRow_) return;
    state_ = State::Browse;
    if (iter_)
        StepIter();
    else
        SeekAfter(row_);
}

int TTable::RecordCount() {
    RequireOpen();
    std::string where = RangeWhere();
    std::string sql =
        "SELECT COUNT(*) FROM " + qualified_ + (where.empty() ? "" : " WHERE " + where);
    SqlStatement& st = Cached(sql);
    int n = 1;
    BindRange(st, n);
    int count = st.Step() ? static_cast<int>(st.ColumnInt(0)) : 0;
    st.Reset();
    return count;
}

bool TTable::FindKey(const std::vector<KeyValue>& key) {
    RequireOpen();
    const IndexDef* ix = CurrentIndex();
    std::vector<int> fields = ix ? ix->fields : std::vector<int>{0};
    if (key.empty() || key.size() > fields.size())
        throw EStoreError("Invalid key for index " + indexName_);
    std::string where = RangeWhere();
    for (std::size_t k = 0; k < key.size(); ++k)
        where += (where.empty() ? "" : " AND ") + KeyExpr(fields[k]) + " = ?";
    std::string sql = "SELECT " + selectCols_ + " FROM " + qualified_ + " WHERE " + where +
                      " ORDER BY " + OrderBy() + " LIMIT 1";
    SqlStatement& st = Cached(sql);
    int n = 1;
    BindRange(st, n);
    for (const auto& v : key) {
        if (auto* i = std::get_if<int64_t>(&v))
            st.Bind(n++, *i);
        else
            st.Bind(n++, std::get<std::string>(v));
    }
    bool found = st.Step();
    if (found) {
        state_ = State::Browse;
        if (iter_) iter_->Reset();
        iter_ = nullptr;
        LoadRow(st);
    }
    st.Reset();
    return found;
}

bool TTable::Locate(int32_t id) {
    RequireOpen();
    SqlStatement& st =
        Cached("SELECT " + selectCols_ + " FROM " + qualified_ + " WHERE InternalID = ?");
    st.Bind(1, static_cast<int64_t>(id));
    bool found = st.Step();
    if (found) {
        state_ = State::Browse;
        if (iter_) iter_->Reset();
        iter_ = nullptr;
        LoadRow(st);
    }
    st.Reset();
    return found;
}

void TTable::SetRange(const KeyValue& v) {
    RequireOpen();
    range_ = v;
    if (iter_) iter_->Reset();
    iter_ = nullptr;
}

void TTable::CancelRange() {
    if (!range_) return;
    range_.reset();
    if (iter_) iter_->Reset();
    iter_ = nullptr;
}

void TTable::ResetCursor() {
    if (iter_) iter_->Reset();
    iter_ = nullptr;
}

void TTable::Append() {
    RequireOpen();
    state_ = State::Insert;
    edit_.assign(def_.fields.size(), Cell{});
    editBlobs_.clear();
}

void TTable::Edit() {
    RequireOpen();
    if (!hasRow_) throw EStoreError("No current record in " + def_.name);
    state_ = State::Edit;
    edit_ = row_;
    editBlobs_.clear();
}

void TTable::Cancel() {
    state_ = State::Browse;
    editBlobs_.clear();
}

void TTable::SetFieldInteger(int pos, int32_t v) {
    RequireEditing();
    edit_.at(static_cast<size_t>(pos)).i = v;
}

void TTable::SetFieldString(int pos, const std::string& v) {
    RequireEditing();
    edit_.at(static_cast<size_t>(pos)).s = v;
}

void TTable::SetFieldBlob(int pos, std::string bytes) {
    RequireEditing();
    editBlobs_[pos] = std::move(bytes);
}

void TTable::Post() {
    RequireEditing();
    if (iter_) iter_->Reset();
    iter_ = nullptr;
    std::string cols, marks, sets;
    for (std::size_t p = 1; p < def_.fields.size(); ++p) {
        bool blob = def_.fields[p].kind == FieldKind::Blob;
        if (blob && state_ == State::Edit && !editBlobs_.count(static_cast<int>(p))) continue;
        if (!cols.empty()) {
            cols += ", ";
            marks += ", ";
            sets += ", ";
        }
        cols += def_.fields[p].name;
        marks += "?";
        sets += def_.fields[p].name + " = ?";
    }
    bool insert = state_ == State::Insert;
    SqlStatement& st =
        Cached(insert ? "INSERT INTO " + qualified_ + " (" + cols + ") VALUES (" + marks + ")"
                      : "UPDATE " + qualified_ + " SET " + sets + " WHERE InternalID = ?");
    int n = 1;
    for (std::size_t p = 1; p < def_.fields.size(); ++p) {
        switch (def_.fields[p].kind) {
        case FieldKind::Integer:
            st.Bind(n++, edit_[p].i);
            break;
        case FieldKind::String:
            st.Bind(n++, edit_[p].s);
            break;
        case FieldKind::Blob: {
            auto it = editBlobs_.find(static_cast<int>(p));
            if (it != editBlobs_.end())
                st.BindBlob(n++, it->second);
            else if (insert)
                st.BindBlob(n++, {});
            break;
        }
        }
    }
    int64_t id = edit_[0].i;
    if (!insert) st.Bind(n++, id);
    st.Run();
    if (insert)
        id = sqlite3_last_insert_rowid(conn_.handle());
    else if (sqlite3_changes(conn_.handle()) == 0)
        throw EStoreError("Record not found in " + def_.name);
    state_ = State::Browse;
    editBlobs_.clear();
    if (!Locate(static_cast<int32_t>(id))) throw EStoreError("Record not found in " + def_.name);
}

void TTable::Delete() {
    RequireOpen();
    if (!hasRow_) throw EStoreError("No current record in " + def_.name);
    state_ = State::Browse;
    if (iter_) iter_->Reset();
    iter_ = nullptr;
    std::vector<Cell> was = row_;
    SqlStatement& st = Cached("DELETE FROM " + qualified_ + " WHERE InternalID = ?");
    st.Bind(1, was[0].i);
    st.Run();
    SeekAfter(was);
}

int32_t TTable::FieldAsInteger(int pos) const {
    if (!hasRow_) throw EStoreError("No current record in " + def_.name);
    return static_cast<int32_t>(row_.at(static_cast<size_t>(pos)).i);
}

std::string TTable::FieldAsString(int pos) const {
    if (!hasRow_) throw EStoreError("No current record in " + def_.name);
    return row_.at(static_cast<size_t>(pos)).s;
}

std::string TTable::FieldAsBlob(int pos) {
    if (!hasRow_) throw EStoreError("No current record in " + def_.name);
    SqlStatement& st = Cached("SELECT " + def_.fields.at(static_cast<size_t>(pos)).name + " FROM " +
                              qualified_ + " WHERE InternalID = ?");
    st.Bind(1, row_[0].i);
    std::string out = st.Step() ? st.ColumnBlob(0) : std::string();
    st.Reset();
    return out;
}

} // namespace larderly
