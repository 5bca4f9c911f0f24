// The recipe store over SQLite.
#include "store/Tables.h"

#include "store/Labels.h"
#include "store/RecipeSummaries.h"
#include "store/TableSwap.h"

#include "platform/AppPaths.h"
#include "platform/FileUtil.h"
#include "platform/FolderLock.h"
#include "platform/Text.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace larderly {

namespace {

std::vector<TableDef> Definitions() {
    using F = FieldKind;
    return {
        {"tblListLabel",
         "tbl101",
         "t101",
         {{"InternalID", F::Integer}, {"LabelName", F::String}, {"LabelKind", F::Integer}},
         {{"LabelIndex", {fld::LabelName}, true}}},
        {"tblRecipes",
         "tbl102",
         "main",
         {{"InternalID", F::Integer},
          {"RecipeText", F::Blob},
          {"Category1", F::Integer},
          {"Category2", F::Integer},
          {"Category3", F::Integer},
          {"Category4", F::Integer},
          {"Title", F::String}},
         {{"TitleIndex", {fld::Title}, true}}},
        {"tblRecipeBook",
         "tbl103",
         "t103",
         {{"InternalID", F::Integer}, {"BookName", F::String}},
         {}},
        {"tblRecipeInBook",
         "tbl104",
         "t104",
         {{"InternalID", F::Integer}, {"RecipeID", F::Integer}, {"BookID", F::Integer}},
         {{"RecipeIndex", {fld::RecipeID}, false},
          {"BookIndex", {fld::BookID}, false},
          {"BookRecipeIndex", {fld::BookID, fld::RecipeID}, false}}},
    };
}

// Creates the data folder and its missing parents.
void MakeFolders(const std::string& dir) {
    if (!fileutil::MakeDirectories(dir))
        throw EStoreError("Cannot create the data folder " + dir + ": " + std::strerror(errno));
}

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("''") : std::string(1, c);
    return q + "'";
}

constexpr int kSchemaVersion = 1;

} // namespace

std::string EncodeRecipeText(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) {
        out += l;
        out += "\r\n";
    }
    return out;
}

std::vector<std::string> DecodeRecipeText(std::string_view blob) {
    std::vector<std::string> lines;
    auto zero = blob.find('\0');
    if (zero != std::string_view::npos) blob = blob.substr(0, zero);
    std::size_t start = 0;
    for (std::size_t i = 0; i < blob.size(); ++i) {
        if (blob[i] == '\r' || blob[i] == '\n') {
            lines.emplace_back(blob.substr(start, i - start));
            if (blob[i] == '\r' && i + 1 < blob.size() && blob[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
    if (start < blob.size()) lines.emplace_back(blob.substr(start));
    return lines;
}

std::vector<std::string> SnapshotTableFiles(const std::string& dataFolder,
                                            const std::string& folder) {
    namespace fs = std::filesystem;
    const std::string from = fileutil::IncludeTrailingSeparator(dataFolder);
    const std::string to = fileutil::IncludeTrailingSeparator(folder);
    std::vector<std::string> names;
    for (const auto& f : kTableFiles)
        if (fileutil::PathExists(from + f)) names.push_back(f);
    // The read lock needs all four files (an incomplete set is copied as it is: no store
    // can open it, so nobody writes it).
    SqlConnection conn;
    if (names.size() == kTableFiles.size()) {
        conn.Open(from + kTableFiles[1]);
        for (std::size_t i = 0; i < kTableFiles.size(); ++i)
            if (i != 1)
                conn.Exec("ATTACH DATABASE " + Quote(from + kTableFiles[i]) + " AS f" +
                          std::to_string(i));
        conn.Exec("BEGIN");
        // A read in each file takes its shared lock until the end of the transaction.
        for (std::size_t i = 0; i < kTableFiles.size(); ++i) {
            const std::string schema = i == 1 ? "main" : "f" + std::to_string(i);
            SqlStatement st(conn.handle(), "SELECT COUNT(*) FROM " + schema + ".sqlite_master");
            st.Step();
        }
    }
    std::vector<std::string> copies;
    for (const auto& f : names) {
        std::error_code ec;
        fs::copy_file(from + f, to + f, fs::copy_options::overwrite_existing, ec);
        if (!ec) fs::last_write_time(to + f, fs::last_write_time(from + f, ec), ec);
        if (ec) throw EStoreError("Cannot copy " + from + f + ": " + ec.message());
        copies.push_back(to + f);
    }
    return copies;
}

TfmTables::TfmTables() : summaries_(std::make_unique<RecipeSummaries>()) {
    auto defs = Definitions();
    for (std::size_t i = 0; i < 4; ++i)
        tables_[i] = std::make_unique<TTable>(conn_, defs[i]);
    ClearBuffers();
}

TfmTables::~TfmTables() {
    try {
        if (TablesOpen()) SetTablesOpen(false);
    } catch (...) {
    }
}

void TfmTables::OpenDatabase(const std::string& programFolder) {
    dataFolder_ = DataFolderOf(programFolder);
}

void TfmTables::OpenDatabase() {
    OpenDatabase(ProgramFolder());
}

void TfmTables::OpenFiles() {
    if (dataFolder_.empty()) OpenDatabase();
    MakeFolders(dataFolder_);
    std::array<std::string, 4> paths;
    int present = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        paths[i] = dataFolder_ + "/" + tables_[i]->FileName();
        present += fileutil::PathExists(paths[i]) ? 1 : 0;
    }
    bool create = present == 0;
    if (!create)
        for (const auto& p : paths)
            if (!fileutil::PathExists(p)) throw EStoreError("Table file " + p + " not found");

    // The recipes file is the main database, so a transaction over several files commits
    // atomically through a super-journal; the other three are attached.
    conn_.Open(paths[1]);
    try {
        // The main file is looked at first: a damaged one fails every statement, and would
        // otherwise be blamed on the first file attached to it.
        for (std::size_t i : {1, 0, 2, 3}) {
            const std::string& schema = tables_[i]->Def().schema;
            try {
                if (schema != "main")
                    conn_.Exec("ATTACH DATABASE " + Quote(paths[i]) + " AS " + schema);
                conn_.Exec("PRAGMA " + schema + ".journal_mode=DELETE");
                conn_.Exec("PRAGMA " + schema + ".synchronous=FULL");
                if (!create) {
                    SqlStatement v(conn_.handle(), "PRAGMA " + schema + ".user_version");
                    int version = v.Step() ? static_cast<int>(v.ColumnInt(0)) : 0;
                    if (version > kSchemaVersion)
                        throw EStoreError("it was written by a newer version of the program");
                    SqlStatement t(conn_.handle(),
                                   "SELECT COUNT(*) FROM " + schema +
                                       ".sqlite_master WHERE type='table' AND name=" +
                                       Quote(tables_[i]->TableName()));
                    if (!t.Step() || t.ColumnInt(0) == 0)
                        throw EStoreError("it holds no table " + tables_[i]->TableName());
                }
            } catch (const EStoreError& e) {
                throw EStoreError("Table file " + paths[i] + " cannot be used: " + e.what());
            }
        }
        if (create) {
            conn_.Exec("BEGIN");
            try {
                for (auto& t : tables_) {
                    for (const auto& sql : t->CreateSql())
                        conn_.Exec(sql);
                    conn_.Exec("PRAGMA " + t->Def().schema +
                               ".user_version=" + std::to_string(kSchemaVersion));
                }
                conn_.Exec("COMMIT");
            } catch (...) {
                sqlite3_exec(conn_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
                throw;
            }
        }
    } catch (...) {
        conn_.Close();
        throw;
    }
    // The indexes are attached when first needed (SearchIndex, IngredientIndex).
    searchTaken_ = ingredientsTaken_ = false;
}

TSearchIndex& TfmTables::SearchIndex() {
    // ATTACH is refused inside a transaction; the store attaches before its own begin.
    if (!searchTaken_ && TablesOpen() && !InTransaction()) {
        searchTaken_ = true;
        search_.Attach(conn_, dataFolder_, dataFolder_ + "/" + tblRecipes().FileName());
    }
    return search_;
}

TIngredientIndex& TfmTables::IngredientIndex() {
    if (!ingredientsTaken_ && TablesOpen() && !InTransaction()) {
        ingredientsTaken_ = true;
        ingredients_.Attach(conn_, dataFolder_, dataFolder_ + "/" + tblRecipes().FileName());
    }
    return ingredients_;
}

void TfmTables::IndexesBeforeChange() {
    SearchIndex();
    IngredientIndex();
}

void TfmTables::SetTablesOpen(bool open) {
    if (ProcessMessages) ProcessMessages();
    if (open) {
        if (TablesOpen()) return;
        if (dataFolder_.empty()) OpenDatabase();
        CleanUpTempFolder(dataFolder_.substr(0, dataFolder_.size() - 4));
        tablesLock_ = std::make_unique<FolderLock>(dataFolder_, FolderLockKind::Tables);
        try {
            if (!tablesLock_->TryTake()) throw EStoreError(tablesLock_->BusyText());
            OpenFiles();
        } catch (const EFolderLockError& e) {
            tablesLock_.reset();
            throw EStoreError(e.what());
        } catch (...) {
            tablesLock_.reset();
            throw;
        }
        for (auto& t : tables_)
            t->Open();
        // What another program wrote while the tables were closed (during a backup) shows
        // in the files' change counters.
        const std::array<int64_t, 4> counters = FileCounters();
        for (std::size_t i = 0; i < 4; ++i)
            if (closedCounter_[i] != -1 && counters[i] != closedCounter_[i]) ++foreign_[i];
        dataVersion_ = DataVersions();
        if (IndexesAtOpen) IndexesBeforeChange();
    } else {
        if (!TablesOpen()) return;
        // The last look before the files close: a writer at work now counts as a change.
        if (!PollChangesElsewhere(false))
            for (auto& n : foreign_)
                ++n;
        for (auto& t : tables_)
            t->Close();
        search_.Detach();
        ingredients_.Detach();
        searchTaken_ = ingredientsTaken_ = false;
        conn_.Close();
        closedCounter_ = FileCounters();
        transactionWriter_ = false;
        writerLock_.reset();
        tablesLock_.reset();
    }
}

void TfmTables::ClearBuffers() {
    LabelRec = LabelValue{};
    LabelRec.Kind = 2;
    RecipeRec = RecipeRecord{};
    RecipeText.clear();
    BookRec = BookValue{};
    BookEntryRec = BookEntryRecord{};
}

int32_t TfmTables::SaveRecord(int kind) {
    switch (kind) {
    case rkRecipe:
        return SaveRecipe();
    case rkLabel:
        return SaveLabel();
    case rkBook:
        return SaveBook();
    case rkBookEntry:
        return SaveBookEntry();
    default:
        return -1;
    }
}

void TfmTables::LoadRecord(int kind) {
    switch (kind) {
    case rkRecipe:
        LoadRecipe();
        break;
    case rkLabel:
        LoadLabel();
        break;
    case rkBook:
        LoadBook();
        break;
    case rkBookEntry:
        LoadBookEntry();
        break;
    default:
        break;
    }
}

namespace {
// Appends a row, or edits the row with the given identifier; runs `fill`, posts, and gives
// the posted row's identifier. A failure leaves the table out of edit mode.
template <typename Fill> int32_t SaveRow(TTable& t, int32_t id, const char* notFound, Fill fill) {
    if (id == -1) {
        t.Append();
    } else {
        if (!t.Locate(id)) throw EStoreError(notFound);
        t.Edit();
    }
    try {
        fill();
        t.Post();
    } catch (...) {
        t.Cancel();
        throw;
    }
    return t.FieldAsInteger(fld::InternalID);
}
} // namespace

int32_t TfmTables::SaveRecipeValue(RecipeValue& recipe) {
    IndexesBeforeChange();
    TTable& t = tblRecipes();
    recipe.Title = CutChars(recipe.Title, kTitleWidth);
    recipe.InternalID = SaveRow(t, recipe.InternalID, kRecipeNotFound, [&] {
        t.SetFieldBlob(fld::RecipeText, EncodeRecipeText(recipe.Lines));
        for (int s = 0; s < 4; ++s)
            t.SetFieldInteger(fld::Category1 + s, recipe.Category[static_cast<size_t>(s)]);
        t.SetFieldString(fld::Title, recipe.Title);
    });
    summaries_->Update(RecipeRecord{recipe.InternalID, recipe.Category, recipe.Title});
    return recipe.InternalID;
}

int32_t TfmTables::SaveRecipe() {
    RecipeValue v{RecipeRec.InternalID, RecipeRec.Title, RecipeRec.Category, std::move(RecipeText)};
    struct GiveBack {
        RecipeValue& v;
        std::vector<std::string>& text;
        ~GiveBack() { text = std::move(v.Lines); }
    } giveBack{v, RecipeText};
    RecipeRec.Title = CutChars(RecipeRec.Title, kTitleWidth);
    RecipeRec.InternalID = SaveRecipeValue(v);
    return RecipeRec.InternalID;
}

std::optional<RecipeValue> TfmTables::LoadRecipeById(int32_t id) {
    TTable& t = tblRecipes();
    const std::string index = t.IndexName();
    struct Restore {
        TTable& t;
        const std::string& index;
        ~Restore() {
            try {
                t.SetIndexName(index);
                t.ResetCursor();
            } catch (...) {
            }
        }
    } restore{t, index};
    t.SetIndexName("InternalID");
    if (!t.FindKey({int64_t{id}})) return std::nullopt;
    RecipeValue v;
    v.InternalID = t.FieldAsInteger(fld::InternalID);
    v.Lines = DecodeRecipeText(t.FieldAsBlob(fld::RecipeText));
    for (int s = 0; s < 4; ++s)
        v.Category[static_cast<size_t>(s)] = t.FieldAsInteger(fld::Category1 + s);
    v.Title = CutChars(t.FieldAsString(fld::Title), kTitleWidth);
    return v;
}

std::vector<RecipeRecord> TfmTables::RecipeRecordsByIds(const std::vector<int32_t>& ids) {
    std::vector<RecipeRecord> rows;
    rows.reserve(ids.size());
    SqlStatement st(conn_.handle(),
                    "SELECT Category1, Category2, Category3, Category4, Title FROM " +
                        tblRecipes().QualifiedName() + " WHERE InternalID = ?");
    for (int32_t id : ids) {
        st.Reset();
        st.Bind(1, int64_t{id});
        if (!st.Step()) continue;
        RecipeRecord r;
        r.InternalID = id;
        for (int s = 0; s < 4; ++s)
            r.Category[static_cast<size_t>(s)] = static_cast<int32_t>(st.ColumnInt(s));
        r.Title = CutChars(st.ColumnText(4), kTitleWidth);
        rows.push_back(std::move(r));
    }
    return rows;
}

std::vector<RecipeValue> TfmTables::RecipesByIds(const std::vector<int32_t>& ids,
                                                 const std::function<void()>& step) {
    std::vector<RecipeValue> out;
    out.reserve(ids.size());
    SqlStatement st(conn_.handle(),
                    "SELECT Category1, Category2, Category3, Category4, Title, RecipeText FROM " +
                        tblRecipes().QualifiedName() + " WHERE InternalID = ?");
    for (int32_t id : ids) {
        st.Reset();
        st.Bind(1, int64_t{id});
        if (!st.Step()) continue;
        RecipeValue v;
        v.InternalID = id;
        for (int s = 0; s < 4; ++s)
            v.Category[static_cast<size_t>(s)] = static_cast<int32_t>(st.ColumnInt(s));
        v.Title = CutChars(st.ColumnText(4), kTitleWidth);
        v.Lines = DecodeRecipeText(st.ColumnBlob(5));
        out.push_back(std::move(v));
        if (step) step();
    }
    return out;
}

std::vector<RecipeRecord> TfmTables::RecipeRecords() {
    std::vector<RecipeRecord> rows;
    SqlStatement st(conn_.handle(),
                    "SELECT InternalID, Category1, Category2, Category3, Category4, Title FROM " +
                        tblRecipes().QualifiedName() + " ORDER BY InternalID");
    while (st.Step()) {
        RecipeRecord r;
        r.InternalID = static_cast<int32_t>(st.ColumnInt(0));
        for (int s = 0; s < 4; ++s)
            r.Category[static_cast<size_t>(s)] = static_cast<int32_t>(st.ColumnInt(1 + s));
        r.Title = CutChars(st.ColumnText(5), kTitleWidth);
        rows.push_back(std::move(r));
    }
    return rows;
}

std::vector<LabelValue> TfmTables::Labels() {
    std::vector<LabelValue> out;
    SqlStatement st(conn_.handle(), "SELECT InternalID, LabelName, LabelKind FROM " +
                                        tblListLabel().QualifiedName() + " ORDER BY InternalID");
    while (st.Step())
        out.push_back({static_cast<int32_t>(st.ColumnInt(0)),
                       LabelKindFromStored(static_cast<int32_t>(st.ColumnInt(2))),
                       CutChars(st.ColumnText(1), kLabelNameWidth)});
    return out;
}

int TfmTables::RecipeCount() {
    return tblRecipes().RecordCount();
}

int TfmTables::LabelCount() {
    return tblListLabel().RecordCount();
}

bool TfmTables::SaveRecipeCategories(int32_t id, const std::array<int32_t, 4>& slots) {
    IndexesBeforeChange();
    std::string title;
    {
        SqlStatement st(conn_.handle(), "SELECT Title FROM " + tblRecipes().QualifiedName() +
                                            " WHERE InternalID = ?");
        st.Bind(1, int64_t{id});
        if (!st.Step()) return false;
        title = CutChars(st.ColumnText(0), kTitleWidth);
    }
    SqlStatement up(conn_.handle(), "UPDATE " + tblRecipes().QualifiedName() +
                                        " SET Category1 = ?, Category2 = ?, Category3 = ?, "
                                        "Category4 = ? WHERE InternalID = ?");
    for (int k = 0; k < 4; ++k)
        up.Bind(k + 1, int64_t{slots[static_cast<size_t>(k)]});
    up.Bind(5, int64_t{id});
    up.Run();
    tblRecipes().ResetCursor();
    // The summary follows (told to the observers when the change commits); a list that was
    // never built stays unbuilt.
    if (summaries_->Find(id)) summaries_->Update(RecipeRecord{id, slots, title});
    return true;
}

bool TfmTables::DeleteLabel(int32_t id) {
    SqlStatement del(conn_.handle(),
                     "DELETE FROM " + tblListLabel().QualifiedName() + " WHERE InternalID = ?");
    del.Bind(1, int64_t{id});
    del.Run();
    tblListLabel().ResetCursor();
    return sqlite3_changes(conn_.handle()) > 0;
}

void TfmTables::BuildSummaries(const std::function<void()>& step) {
    summaries_->Build(*this, step);
}

void TfmTables::ClearSummaries() {
    summaries_->Clear();
}

TRecipeSummary* TfmTables::AppendSummaryUntold(const RecipeRecord& rec) {
    return summaries_->AppendUntold(rec);
}

bool TfmTables::RemoveSummary(int32_t id) {
    if (!summaries_->Find(id)) return false;
    if (TablesOpen()) {
        SqlStatement st(conn_.handle(),
                        "SELECT 1 FROM " + tblRecipes().QualifiedName() + " WHERE InternalID = ?");
        st.Bind(1, int64_t{id});
        if (st.Step()) return false;
    }
    return summaries_->Remove(id);
}

namespace {
constexpr const char* kBookNotFound = "Unable to find Book Record. Contact Support";
constexpr const char* kBookEntryNotFound = "Unable to find Book Entry Record. Contact Support";

// The label or book on the table's current row.
LabelValue LabelOnRow(const TTable& t) {
    return {t.FieldAsInteger(fld::InternalID),
            LabelKindFromStored(t.FieldAsInteger(fld::LabelKind)),
            CutChars(t.FieldAsString(fld::LabelName), kLabelNameWidth)};
}
BookValue BookOnRow(const TTable& t) {
    return {t.FieldAsInteger(fld::InternalID),
            CutChars(t.FieldAsString(fld::BookName), kBookNameWidth)};
}
} // namespace

int32_t TfmTables::SaveLabelValue(LabelValue& label) {
    TTable& t = tblListLabel();
    label.Name = CutChars(label.Name, kLabelNameWidth);
    label.InternalID = SaveRow(t, label.InternalID, kLabelNotFound, [&] {
        t.SetFieldString(fld::LabelName, label.Name);
        t.SetFieldInteger(fld::LabelKind, label.Kind == 0 ? 0 : label.Kind == 1 ? 1 : -1);
    });
    return label.InternalID;
}

std::optional<LabelValue> TfmTables::LoadLabelById(int32_t id) {
    TTable& t = tblListLabel();
    if (!t.Locate(id)) return std::nullopt;
    return LabelOnRow(t);
}

int32_t TfmTables::SaveLabel() {
    return SaveLabelValue(LabelRec);
}

int32_t TfmTables::SaveBookValue(BookValue& book) {
    TTable& t = tblRecipeBook();
    book.Name = CutChars(book.Name, kBookNameWidth);
    book.InternalID = SaveRow(t, book.InternalID, kBookNotFound,
                              [&] { t.SetFieldString(fld::BookName, book.Name); });
    return book.InternalID;
}

std::optional<BookValue> TfmTables::LoadBookById(int32_t id) {
    TTable& t = tblRecipeBook();
    if (!t.Locate(id)) return std::nullopt;
    return BookOnRow(t);
}

std::vector<BookValue> TfmTables::Books() {
    TTable& t = tblRecipeBook();
    IndexRestorer back(t);
    t.SetIndexName("InternalID");
    std::vector<BookValue> out;
    for (t.First(); !t.Eof(); t.Next())
        out.push_back(BookOnRow(t));
    return out;
}

std::vector<int32_t> TfmTables::BookRecipeIds(int32_t bookId) {
    TTable& t = tblRecipeInBook();
    IndexRestorer back(t);
    t.SetIndexName("BookIndex");
    t.SetRange(int64_t{bookId});
    // Only the book's own entries are walked: the cost follows the book's size.
    std::vector<int32_t> out;
    for (t.First(); !t.Eof(); t.Next())
        out.push_back(t.FieldAsInteger(fld::RecipeID));
    return out;
}

bool TfmTables::AddBookEntry(int32_t bookId, int32_t recipeId) {
    TTable& t = tblRecipeInBook();
    IndexRestorer back(t);
    t.SetIndexName("BookRecipeIndex");
    if (t.FindKey({int64_t{bookId}, int64_t{recipeId}})) return true;
    if (!tblRecipeBook().Locate(bookId) || !tblRecipes().Locate(recipeId)) return false;
    SaveRow(t, -1, kBookEntryNotFound, [&] {
        t.SetFieldInteger(fld::RecipeID, recipeId);
        t.SetFieldInteger(fld::BookID, bookId);
    });
    return true;
}

bool TfmTables::RemoveBookEntry(int32_t bookId, int32_t recipeId) {
    TTable& t = tblRecipeInBook();
    IndexRestorer back(t);
    t.SetIndexName("BookRecipeIndex");
    if (!t.FindKey({int64_t{bookId}, int64_t{recipeId}})) return false;
    t.Delete();
    return true;
}

int32_t TfmTables::SaveBook() {
    return SaveBookValue(BookRec);
}

int32_t TfmTables::SaveBookEntry() {
    TTable& t = tblRecipeInBook();
    BookEntryRec.InternalID = SaveRow(t, BookEntryRec.InternalID, kBookEntryNotFound, [&] {
        t.SetFieldInteger(fld::RecipeID, BookEntryRec.RecipeID);
        t.SetFieldInteger(fld::BookID, BookEntryRec.BookID);
    });
    return BookEntryRec.InternalID;
}

void TfmTables::LoadRecipe() {
    TTable& t = tblRecipes();
    RecipeText.clear();
    RecipeRec.InternalID = t.FieldAsInteger(fld::InternalID);
    RecipeText = DecodeRecipeText(t.FieldAsBlob(fld::RecipeText));
    for (int s = 0; s < 4; ++s)
        RecipeRec.Category[static_cast<size_t>(s)] = t.FieldAsInteger(fld::Category1 + s);
    RecipeRec.Title = CutChars(t.FieldAsString(fld::Title), kTitleWidth);
}

void TfmTables::LoadLabel() {
    LabelRec = LabelOnRow(tblListLabel());
}

void TfmTables::LoadBook() {
    BookRec = BookOnRow(tblRecipeBook());
}

void TfmTables::LoadBookEntry() {
    TTable& t = tblRecipeInBook();
    BookEntryRec.InternalID = t.FieldAsInteger(fld::InternalID);
    BookEntryRec.RecipeID = t.FieldAsInteger(fld::RecipeID);
    BookEntryRec.BookID = t.FieldAsInteger(fld::BookID);
}

bool TfmTables::FindRecipe(int32_t id) {
    TTable& t = tblRecipes();
    if (t.RecordCount() == 0) return false;
    t.SetIndexName("InternalID");
    if (!t.FindKey({int64_t{id}})) throw EStoreError(kRecipeNotFound);
    LoadRecipe();
    return true;
}

bool TfmTables::FindLabel(int32_t id) {
    TTable& t = tblListLabel();
    if (t.RecordCount() == 0) return false;
    IndexRestorer back(t);
    t.SetIndexName("InternalID");
    if (!t.FindKey({int64_t{id}})) throw EStoreError(kLabelNotFound);
    LoadLabel();
    return true;
}

bool TfmTables::DeleteRecipe(int32_t id) {
    IndexesBeforeChange();
    TTable& t = tblRecipes();
    t.SetIndexName("InternalID");
    if (!t.FindKey({int64_t{id}})) return false;
    t.Delete();
    summaries_->Remove(id);
    return true;
}

void TfmTables::RemoveRecipeFromBooks(int32_t id) {
    TTable& t = tblRecipeInBook();
    IndexRestorer back(t);
    t.SetIndexName("RecipeIndex");
    t.SetRange(int64_t{id});
    t.First();
    while (!t.Eof())
        t.Delete();
}

bool TfmTables::DeleteBook(int32_t id) {
    TTable& books = tblRecipeBook();
    TTable& entries = tblRecipeInBook();
    IndexRestorer back(entries);
    books.SetIndexName("InternalID");
    entries.SetIndexName("BookIndex");
    if (!books.FindKey({int64_t{id}})) return false;
    books.Delete();
    entries.SetRange(int64_t{id});
    entries.First();
    while (!entries.Eof())
        entries.Delete();
    return true;
}

void TfmTables::ResetCursors() {
    for (auto& t : tables_)
        t->ResetCursor();
}

void TfmTables::HoldWriteLock(const std::string& job,
                              const std::function<void(const std::string&)>& waiting) {
    if (!TablesOpen()) throw EStoreError("The database is not open");
    if (!writerLock_)
        writerLock_ = std::make_unique<FolderLock>(dataFolder_, FolderLockKind::Writer);
    try {
        writerLock_->Take(job, -1, waiting);
    } catch (const EFolderLockError& e) {
        throw EStoreError(e.what());
    }
}

void TfmTables::ReleaseTransactionLock() {
    if (transactionWriter_ && writerLock_) writerLock_->Release();
    transactionWriter_ = false;
}

void TfmTables::StartTransaction() {
    if (!TablesOpen()) throw EStoreError("The database is not open");
    IndexesBeforeChange();
    if (!writerLock_ || !writerLock_->Held()) {
        // One writer at a time: a change waits a while for a running job, then says which.
        if (!writerLock_)
            writerLock_ = std::make_unique<FolderLock>(dataFolder_, FolderLockKind::Writer);
        bool taken = false;
        try {
            taken = writerLock_->Take("the program's window", kBusyTimeoutMs);
        } catch (const EFolderLockError& e) {
            throw EStoreError(e.what());
        }
        if (!taken) {
            std::string writer = FolderLock::Writer(dataFolder_);
            if (writer.empty()) writer = "another program";
            throw EStoreError("The change was not stored: " + writer +
                              " is writing to the data folder " + dataFolder_ +
                              ". Try again when it has finished.");
        }
        transactionWriter_ = true;
    }
    try {
        StartSqlTransaction();
    } catch (...) {
        ReleaseTransactionLock();
        throw;
    }
}

void TfmTables::StartSqlTransaction() {
    // A walk left standing holds a read lock; a read lock turned into a write lock fails at
    // once when another program writes, where a fresh write lock waits for it.
    ResetCursors();
    try {
        conn_.Exec("BEGIN IMMEDIATE");
    } catch (const EStoreError&) {
        // Files that cannot be written at all: the transaction still starts, and the first
        // write in it fails as it would have.
        if ((sqlite3_extended_errcode(conn_.handle()) & 0xff) != SQLITE_READONLY) throw;
        conn_.Exec("BEGIN");
    }
    try {
        // Nobody else can commit now: the summaries catch up with the files once more.
        PollChangesElsewhere(true);
        SyncSummaries();
    } catch (...) {
        sqlite3_exec(conn_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    summaries_->BeginChanges();
}

void TfmTables::Commit() {
    ResetCursors();
    try {
        conn_.Exec("COMMIT");
    } catch (...) {
        // A commit that failed and ended the transaction lets go of the lock as well.
        if (!InTransaction()) ReleaseTransactionLock();
        throw;
    }
    ReleaseTransactionLock();
    // Told only once the rows are there for good.
    summaries_->CommitChanges();
}

void TfmTables::Rollback() {
    ResetCursors();
    // The summaries go back even when the rollback itself fails: the transaction is over
    // either way (SQLite ends it on the errors that make a rollback fail).
    summaries_->RollbackChanges();
    struct Release {
        TfmTables& t;
        ~Release() { t.ReleaseTransactionLock(); }
    } release{*this};
    conn_.Exec("ROLLBACK");
}

std::array<int64_t, 4> TfmTables::DataVersions() {
    std::array<int64_t, 4> v{-1, -1, -1, -1};
    for (std::size_t i = 0; i < 4; ++i) {
        SqlStatement st(conn_.handle(), "PRAGMA " + tables_[i]->Def().schema + ".data_version");
        v[i] = st.Step() ? st.ColumnInt(0) : -1;
    }
    return v;
}

std::array<int64_t, 4> TfmTables::FileCounters() const {
    std::array<int64_t, 4> c{-1, -1, -1, -1};
    for (std::size_t i = 0; i < 4; ++i)
        c[i] = FileChangeCounter(dataFolder_ + "/" + tables_[i]->FileName());
    return c;
}

bool TfmTables::PollChangesElsewhere(bool wait) {
    if (!TablesOpen()) return true;
    std::array<int64_t, 4> now;
    if (wait) {
        now = DataVersions();
    } else {
        sqlite3_busy_timeout(conn_.handle(), 0);
        try {
            now = DataVersions();
        } catch (const EStoreError&) {
            sqlite3_busy_timeout(conn_.handle(), kBusyTimeoutMs);
            return false;
        }
        sqlite3_busy_timeout(conn_.handle(), kBusyTimeoutMs);
    }
    for (std::size_t i = 0; i < 4; ++i)
        if (now[i] != dataVersion_[i]) ++foreign_[i];
    dataVersion_ = now;
    return true;
}

bool TfmTables::SyncSummaries() {
    if (!summaries_->Built() || summaries_->BuiltAt() == foreign_[1]) return false;
    summaries_->Reload(*this);
    return true;
}

void TfmTables::ReleaseReadLocks() {
    if (TablesOpen() && !InTransaction()) ResetCursors();
}

bool TfmTables::InTransaction() const {
    return conn_.IsOpen() && sqlite3_get_autocommit(conn_.handle()) == 0;
}

} // namespace larderly
