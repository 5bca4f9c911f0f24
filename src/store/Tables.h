// The recipe store: four tables in the folder data/ of the program folder (tbl101.nx1 labels,
// tbl102.nx1 recipes, tbl103.nx1 books, tbl104.nx1 book entries). Recipes, labels, books and
// book entries are loaded and saved by identifier as values; the store keeps the recipe
// summaries in step. The record buffers (one per table, filled and saved, or found and
// loaded, in place), the table objects and the connection are the store's own row-by-row
// layer: the rest of the program works with the values only (the store_closed test checks).
// The store opens no transaction itself; callers that change several rows wrap the work in a
// Transaction.
#pragma once

#include "store/IngredientIndex.h"
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

class FolderLock;
class RecipeSummaries;
struct TRecipeSummary;

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

// A category label as a value (and the label buffer's type): kind 0 recipe category, 1 the
// second kind, 2 undefined (see Labels.h); the name keeps at most 40 characters.
struct LabelValue {
    int32_t InternalID = -1; // -1: not stored yet
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

// A recipe book as a value (and the book buffer's type); the name keeps at most 100
// characters. Its recipes are its book entries (AddBookEntry, BookRecipeIds).
struct BookValue {
    int32_t InternalID = -1; // -1: not stored yet
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

    // Whether opening the tables takes both indexes into use at once (the program's window,
    // open for a whole session: a build that an index needs happens at the start, not at the
    // user's first save or search) or only when they are first needed (a command).
    bool IndexesAtOpen = false;

    // Points the database at programFolder + "data" (the program folder ends in "/").
    void OpenDatabase(const std::string& programFolder);
    // The same for the program folder of this process.
    void OpenDatabase();
    const std::string& DataFolder() const { return dataFolder_; }

    // Opens the database and the four tables (creating the data folder and empty tables
    // when none of the four files exists), or closes them so that no file stays open. While
    // they are open the data folder's tables lock is held (FolderLock.h), so that no restore
    // replaces the files meanwhile; an open during a restore is refused with that reason.
    // An interrupted restore's swap is completed or undone first.
    void SetTablesOpen(bool open);

    // Holds the data folder's writer lock until the tables close, for a job that writes
    // from start to end (the command-line import), naming it as `job` ("the import") to
    // whoever waits; waits while another writer has it, telling `waiting` once. Without it
    // each transaction takes the lock for its own duration.
    void HoldWriteLock(const std::string& job,
                       const std::function<void(const std::string&)>& waiting);
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
    // The identifier, categories and title (cut to 150 characters) of the recipes with those
    // identifiers, in that order; identifiers with no recipe are left out. Reads those rows
    // only, so a command that shows a few recipes costs what it shows.
    std::vector<RecipeRecord> RecipeRecordsByIds(const std::vector<int32_t>& ids);
    // The whole recipes with those identifiers, text included, in that order; identifiers
    // with no recipe are left out. `step` (when set) is called once per recipe read. Leaves
    // the record buffers and the tables' cursors as they were.
    std::vector<RecipeValue> RecipesByIds(const std::vector<int32_t>& ids,
                                          const std::function<void()>& step = {});

    // Labels and books by value. Like the recipe operations above, these leave the record
    // buffers and every table's index as they were.
    //
    // The label with that identifier, or nothing when there is none.
    std::optional<LabelValue> LoadLabelById(int32_t id);
    // Stores the label (a new row when its identifier is -1) and gives back its identifier,
    // which `label` then holds too, with the name cut to 40 characters.
    int32_t SaveLabelValue(LabelValue& label);
    // The book with that identifier, or nothing when there is none.
    std::optional<BookValue> LoadBookById(int32_t id);
    // Stores the book (a new row when its identifier is -1) and gives back its identifier,
    // which `book` then holds too, with the name cut to 100 characters.
    int32_t SaveBookValue(BookValue& book);
    // Every book, in identifier order.
    std::vector<BookValue> Books();
    // The recipe identifiers of a book's entries, in the order the entries were stored.
    std::vector<int32_t> BookRecipeIds(int32_t bookId);
    // Puts the recipe into the book: appends an entry unless the book has one for it already.
    // True when the book has the entry afterwards; false, with nothing stored, when the book
    // or the recipe is not stored, so that no new entry points at nothing.
    bool AddBookEntry(int32_t bookId, int32_t recipeId);
    // Deletes the book's entry for the recipe; false when there is none.
    bool RemoveBookEntry(int32_t bookId, int32_t recipeId);

    // Every label, in identifier order (names cut to 40 characters).
    std::vector<LabelValue> Labels();
    // The identifier, categories and title (cut to 150 characters) of every recipe, in
    // identifier order; never the text.
    std::vector<RecipeRecord> RecipeRecords();
    // How many recipes and how many labels the tables hold.
    int RecipeCount();
    int LabelCount();
    // Sets the four category slots of the recipe with that identifier, leaving its title and
    // text as they are; the recipe's summary follows. False when there is no such recipe.
    bool SaveRecipeCategories(int32_t id, const std::array<int32_t, 4>& slots);
    // Deletes the label with that identifier; false when there is none. Recipes that hold it
    // keep its identifier (callers move them first).
    bool DeleteLabel(int32_t id);

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

    // The full-text index of the recipes. While the tables are open it is taken into use
    // (attached, and built afresh when out of step) the first time it is asked for, and
    // before anything changes the recipe table, so that work which never searches never
    // reads it. Inside a transaction begun behind the store's back it cannot be attached and
    // stays unavailable; the next open finds it out of step and builds it again.
    TSearchIndex& SearchIndex();
    // The index of the recipes' ingredient items, taken into use as the full-text index is.
    TIngredientIndex& IngredientIndex();

    // The summaries of the stored recipes, kept in step by every save and delete of a recipe
    // and by the transactions (see RecipeSummaries). Only the store changes them.
    RecipeSummaries& Summaries() { return *summaries_; }
    // Builds the summaries afresh from the recipe table, walking it in its current order;
    // `step` is called once per recipe. Nothing is told to the observers.
    void BuildSummaries(const std::function<void()>& step = {});
    // Empties the summaries (the window that showed them is going).
    void ClearSummaries();
    // Appends a summary without telling the observers (whoever shows the list afresh
    // afterwards): for a recipe that an importer stored.
    TRecipeSummary* AppendSummaryUntold(const RecipeRecord& rec);
    // Removes the summary of a recipe that is no longer stored; false when there is no such
    // summary or the recipe is still in the table (a summary never goes while its recipe is
    // stored).
    bool RemoveSummary(int32_t id);

    TTable& tblListLabel() { return *tables_[0]; }
    TTable& tblRecipes() { return *tables_[1]; }
    TTable& tblRecipeBook() { return *tables_[2]; }
    TTable& tblRecipeInBook() { return *tables_[3]; }

    // The record buffers.
    LabelValue LabelRec;
    RecipeRecord RecipeRec;
    std::vector<std::string> RecipeText;
    BookValue BookRec;
    BookEntryRecord BookEntryRec;

private:
    void OpenFiles();
    void ResetCursors();
    std::array<int64_t, 4> DataVersions();
    std::array<int64_t, 4> FileCounters() const;

    void ReleaseTransactionLock();
    void StartSqlTransaction();
    // Takes both indexes into use before a change of the recipe table: a change they do not
    // see would leave them to be built again at the next open.
    void IndexesBeforeChange();

    SqlConnection conn_;
    std::unique_ptr<FolderLock> tablesLock_, writerLock_;
    bool transactionWriter_ = false; // the writer lock was taken for the running transaction
    TSearchIndex search_;
    TIngredientIndex ingredients_;
    // Whether the index was taken into use (or tried) since the tables opened.
    bool searchTaken_ = false, ingredientsTaken_ = false;
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
