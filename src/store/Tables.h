// The recipe store: four tables in the folder data/ of the program folder (tbl101.nx1 labels,
// tbl102.nx1 recipes, tbl103.nx1 books, tbl104.nx1 book entries) and one record buffer per
// table, shared by every caller. Callers fill a buffer and save it, or find or load a row
// into it. The store opens no transaction itself; callers that change several rows wrap the
// work in a Transaction.
#pragma once

#include "store/SearchIndex.h"
#include "store/Sqlite.h"
#include "store/Table.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace larderly {

class RecipeSummaries;

// Record kinds of SaveRecord and LoadRecord.
enum RecordKind : int { rkRecipe = 1, rkLabel = 2, rkBook = 3, rkBookEntry = 4 };

// Field positions.
namespace fld {
inline constexpr int InternalID = 0;
// tblListLabel
inline constexpr int LabelName = 1, LabelKind = 2;
// tblRecipes
inline constexpr int RecipeText = 1, Category1 = 2, Category2 = 3, Category3 = 4, Category4 = 5,
                     Title = 6;
// tblRecipeBook
inline constexpr int BookName = 1;
// tblRecipeInBook
inline constexpr int RecipeID = 1, BookID = 2;
} // namespace fld

// Field widths in characters.
inline constexpr std::size_t kTitleWidth = 150;
inline constexpr std::size_t kLabelNameWidth = 40;
inline constexpr std::size_t kBookNameWidth = 100;

struct LabelRecord {
    int32_t InternalID = -1;
    uint8_t Kind = 2;
    std::string Name;
};

struct RecipeRecord {
    int32_t InternalID = -1;
    std::array<int32_t, 4> Category{-1, -1, -1, -1}; // slots 1 to 4
    std::string Title;
};

// A whole recipe as a value: what the editor, the report and the exchange formats read and
// write, without going through the shared record buffers.
struct RecipeValue {
    int32_t InternalID = -1; // -1: not stored yet
    std::string Title;
    std::array<int32_t, 4> Category{-1, -1, -1, -1};
    std::vector<std::string> Lines;
};

struct BookRecord {
    int32_t InternalID = -1;
    std::string Name;
};

struct BookEntryRecord {
    int32_t InternalID = -1;
    int32_t RecipeID = -1;
    int32_t BookID = -1;
};

// The four table files, in the order the tables open.
inline const std::array<std::string, 4> kTableFiles{"tbl101.nx1", "tbl102.nx1", "tbl103.nx1",
                                                    "tbl104.nx1"};

// Recipe text as stored: each line followed by CR LF; read back with CR, LF or CR LF ending a
// line and a zero byte ending the text.
std::string EncodeRecipeText(const std::vector<std::string>& lines);
std::vector<std::string> DecodeRecipeText(std::string_view blob);

// Copies the table files of `dataFolder` that exist into `folder` (under their own names,
// with their modification times) as one consistent state: a read lock is held on all four
// while they are copied, so that no other program's commit lands half-way; a commit waits
// for the copy. Gives the copies' paths; raises EStoreError when a file cannot be copied.
std::vector<std::string> SnapshotTableFiles(const std::string& dataFolder,
                                            const std::string& folder);

class TfmTables {
public:
    TfmTables();
    ~TfmTables();
    TfmTables(const TfmTables&) = delete;
    TfmTables& operator=(const TfmTables&) = delete;

    // Lets pending window messages run; SetTablesOpen calls it first. The program sets it to
    // the event loop; empty does nothing.
    std::function<void()> ProcessMessages;

    // Points the database at programFolder + "data" (the program folder ends in "/").
    void OpenDatabase(const std::string& programFolder);
    // The same for the program folder of this process.
    void OpenDatabase();
    const std::string& DataFolder() const { return dataFolder_; }

    // Opens the database and the four tables (creating the data folder and empty tables
    // when none of the four files exists), or closes them so that no file stays open.
    void SetTablesOpen(bool open);
    bool TablesOpen() const { return conn_.IsOpen(); }

    void ClearBuffers();
    int32_t SaveRecord(int kind);
    void LoadRecord(int kind);
    int32_t SaveRecipe();
    int32_t SaveLabel();
    int32_t SaveBook();
    int32_t SaveBookEntry();
    void LoadRecipe();
    void LoadLabel();
    void LoadBook();
    void LoadBookEntry();

    // The recipe with that identifier, or nothing when there is none. Leaves the record
    // buffers and the recipe table's index as they were.
    std::optional<RecipeValue> LoadRecipeById(int32_t id);
    // Stores the recipe (a new row when its identifier is -1) and gives back its identifier,
    // which `recipe` then holds too, with the title cut to 150 characters.
    int32_t SaveRecipeValue(RecipeValue& recipe);

    bool FindRecipe(int32_t id);
    bool FindLabel(int32_t id);
    bool DeleteRecipe(int32_t id);
    void RemoveRecipeFromBooks(int32_t id);
    bool DeleteBook(int32_t id);

    // A transaction takes the write lock of the files at its start (waiting up to the busy
    // timeout for another program's write to end), then brings the summaries in line with
    // what other programs committed, so that the work inside sees every stored recipe.
    void StartTransaction();
    void Commit();
    void Rollback();
    bool InTransaction() const;

    // Other programs on the same files (a second connection, the command line). Looks
    // whether another connection committed to the tables since the last look; each table it
    // changed counts one more in ChangesElsewhere. With `wait` false it gives up at once when
    // a writer holds the files at the moment, and gives false (look again later).
    bool PollChangesElsewhere(bool wait = true);
    // How many times another connection was seen to change each table (labels, recipes,
    // books, book entries), counted over this object's life, closes and reopens included.
    const std::array<uint64_t, 4>& ChangesElsewhere() const { return foreign_; }
    // Rebuilds the summaries (telling the observers what changed) when they were built and
    // the recipe table has changed elsewhere since; true when it did.
    bool SyncSummaries();
    // Ends the table walks left standing, so that no read lock stays on the files while the
    // program waits for its user (another program's commit would have to wait for it).
    void ReleaseReadLocks();

    // The one connection, for tests and benchmarks that need to reach under the store
    // (for example PRAGMA query_only to make every write fail).
    SqlConnection& Connection() { return conn_; }

    // The full-text index of the recipes, attached while the tables are open.
    TSearchIndex& SearchIndex() { return search_; }

    // The summaries of the stored recipes, kept in step by every save and delete of a recipe
    // and by the transactions (see RecipeSummaries). Built from the table by Build.
    RecipeSummaries& Summaries() { return *summaries_; }

    TTable& tblListLabel() { return *tables_[0]; }
    TTable& tblRecipes() { return *tables_[1]; }
    TTable& tblRecipeBook() { return *tables_[2]; }
    TTable& tblRecipeInBook() { return *tables_[3]; }

    // The record buffers.
    LabelRecord LabelRec;
    RecipeRecord RecipeRec;
    std::vector<std::string> RecipeText;
    BookRecord BookRec;
    BookEntryRecord BookEntryRec;

private:
    void OpenFiles();
    void ResetCursors();
    std::array<int64_t, 4> DataVersions();
    std::array<int64_t, 4> FileCounters() const;

    SqlConnection conn_;
    TSearchIndex search_;
    std::unique_ptr<RecipeSummaries> summaries_;
    std::string dataFolder_;
    std::array<std::unique_ptr<TTable>, 4> tables_;
    std::array<int64_t, 4> dataVersion_{-1, -1, -1, -1};   // as last looked at
    std::array<int64_t, 4> closedCounter_{-1, -1, -1, -1}; // file counters at the last close
    std::array<uint64_t, 4> foreign_{0, 0, 0, 0};
};

// Starts a transaction; rolls it back when it goes out of scope while still open, whatever
// happened in between.
class Transaction {
public:
    explicit Transaction(TfmTables& t) : t_(t) { t_.StartTransaction(); }
    ~Transaction() {
        try {
            if (t_.InTransaction()) t_.Rollback();
        } catch (...) {
        }
    }
    void Commit() { t_.Commit(); }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

private:
    TfmTables& t_;
};

} // namespace larderly
