// The index of the recipes' ingredient items: derived data in its own file beside the tables
// (data/ingredients.idx), never one of the table files and never backed up. It is kept in
// step as the full-text index is (SearchIndex.h): attached to the store's connection while
// the tables are open, updated by temporary triggers inside the same transaction as the
// change, written without a sync, upgraded from an older layout (DerivedFile.h), and built
// afresh when it is missing, damaged, or out of step with the recipe file (a restore, another
// program's write). A file written by a newer version is left as it is.
//
// Each recipe's entry holds the items of its ingredient lines, read from its text as the
// ingredient model reads them, each word in lower case and singular ("Leeks, sliced" is
// "leek"), so that a search for "leeks" or "leek" finds both.
#pragma once

#include "store/DerivedFile.h"
#include "store/Sqlite.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace larderly {

inline constexpr const char* kIngredientIndexFile = "ingredients.idx";
// The layout of the file this program writes (its user_version).
inline constexpr int kIngredientIndexVersion = 1;

// Splits what was typed into the search field: each blank-separated word that starts with
// "ingredient:" (any letter case) gives the rest of it to `ingredientWords`; every other word
// goes to `textWords`. "ingredient:leek soup" asks for leek among the ingredients and soup in
// the title or text.
void SplitSearchWords(const std::string& typed, std::string& textWords,
                      std::string& ingredientWords);

class TIngredientIndex {
public:
    // Attaches (creating or rebuilding when needed) the index beside the recipe file. Never
    // raises: an index that cannot be had leaves ingredient search unavailable.
    void Attach(SqlConnection& conn, const std::string& dataFolder, const std::string& recipeFile);
    // Records the recipe file's change counter for the next open, then detaches.
    void Detach();

    bool Available() const { return conn_ != nullptr; }
    const std::string& Problem() const { return problem_; }
    int Rebuilds() const { return rebuilds_; }

    // The recipes whose ingredient items hold every word of `words` (each word as the start
    // of an item's word; letter case and plural ignored), in no particular order. No words
    // give no recipes. Raises EStoreError when the index is unavailable.
    std::vector<int32_t> Search(const std::string& words);

    // Builds the index afresh from the recipe table (told through SetRebuildNotice).
    void Rebuild();
    // Indexes the items of every recipe whose identifier is above `after` (every recipe for
    // 0), in the transaction at work: the one routine for a build and for many rows added at
    // once. The rows must not be in the index yet.
    void IndexRows(int64_t after);

    // Many recipes added in one transaction (an import): while a TBulkAdd lives in an open
    // transaction, added rows are left unindexed, and Finish, called before the commit,
    // indexes them all (TPausedInsertTrigger in DerivedFile.h). Without Finish the
    // transaction is meant to roll back, which takes back everything.
    //
    // Reading the items out of a recipe's text is most of the work of indexing it. The
    // recipes handed to Added have theirs read on a second thread while the caller goes on;
    // the rows whose items are ready are indexed a few thousand at a time as the import goes,
    // and the rest at Finish. A row whose stored text is no longer what it was handed over
    // with (changed since in the same transaction), and any row added without Added, has its
    // items read from the stored text, as the trigger would have.
    class TBulkAdd {
    public:
        explicit TBulkAdd(TIngredientIndex& index);
        ~TBulkAdd();
        TBulkAdd(const TBulkAdd&) = delete;
        TBulkAdd& operator=(const TBulkAdd&) = delete;
        // The recipe `id` was just added with these lines as its text.
        void Added(int64_t id, std::vector<std::string> lines);
        void Finish();

    private:
        class TReader;
        // Indexes the rows added up to the last one whose items are ready (all of them when
        // `all`), using what the reader has read.
        void IndexReady(bool all);

        TIngredientIndex& index_;
        TPausedInsertTrigger paused_;
        std::unique_ptr<TReader> reader_;
        int64_t indexedUpTo_ = 0; // the rows up to this identifier are indexed
    };

    // The text indexed for a recipe's stored text: one line per ingredient item.
    static std::string ItemsOf(const std::string& recipeText);
    // The same for the lines of a text.
    static std::string ItemsOfLines(const std::vector<std::string>& lines);

private:
    // The file's layout and the steps that bring an older one up to it.
    static TDerivedLayout Layout();
    // Makes the empty tables of the current layout, dropping what the schema held.
    static void CreateItems(SqlConnection& conn);
    void InstallTriggers();
    void InstallInsertTrigger();
    void DropTriggers();
    // Indexes the recipes whose identifiers are above `after` and at most `upTo`, in one
    // statement: the whole table for a build, the rows an import added for a bulk add.
    void IndexRecipes(int64_t after, int64_t upTo);
    int64_t DataVersion();
    // The SQL function that gives a row's items from its text (and identifier).
    static void ItemsFunction(sqlite3_context* context, int argc, sqlite3_value** argv);

    // Items read ahead for rows of a bulk add, by identifier: each with the stored text they
    // were read from. Used (and emptied) while a bulk add indexes its rows.
    struct TReadyItems {
        std::string Text, Items;
    };
    std::unordered_map<int64_t, TReadyItems>* ready_ = nullptr;

    SqlConnection* conn_ = nullptr;
    std::string path_;
    std::string recipeFile_;
    std::string problem_;
    int64_t dataVersion_ = -1;
    int rebuilds_ = 0;
};

} // namespace larderly
