// The full-text index of the recipes' titles and texts: derived data in its own file beside
// the tables (data/search.idx), never one of the four table files and never backed up.
//
// While the tables are open the index file is attached to the store's connection and kept in
// step by temporary triggers on the recipe table, so every save, delete and import through
// any of this program's store objects updates it inside the same transaction, and a rollback
// undoes both. The index file and its journal are written without a sync: losing the index
// costs a rebuild, never a recipe, and it never makes a commit of the tables slower than one
// file's. (The journal is a file, not memory, so a large import's memory does not grow with
// the size of the index; it is emptied at each commit and stays beside the index as
// data/search.idx-journal.)
//
// The index remembers the recipe file's change counter (bytes 24-27 of its header) when the
// tables close. A different counter at the next open (a restore, another program writing the
// files, a crash) or a file that cannot be used means the index is built afresh; so does a
// write by another connection seen while the tables are open.
#pragma once

#include "store/DerivedFile.h"
#include "store/Sqlite.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace larderly {

inline constexpr const char* kSearchIndexFile = "search.idx";
// The layout of the file this program writes (its user_version).
inline constexpr int kSearchIndexVersion = 5;

class TSearchIndex {
public:
    // Attaches (creating, upgrading or rebuilding when needed) the index beside the recipe
    // file `recipeFile` in `dataFolder`. Never raises: an index that cannot be had leaves
    // search unavailable and the tables untouched. A file written by a newer version is left
    // as it is, and Problem() says so.
    void Attach(SqlConnection& conn, const std::string& dataFolder, const std::string& recipeFile);
    // Records the recipe file's change counter for the next open, then detaches.
    void Detach();

    bool Available() const { return conn_ != nullptr; }
    // Why the index is unavailable, empty when it is available.
    const std::string& Problem() const { return problem_; }
    // How many times the index was built afresh since this object was made.
    int Rebuilds() const { return rebuilds_; }

    // The identifiers of the recipes whose title or text hold every word of `words` (case and
    // accents ignored, each word matching as a prefix of a word), in no particular order.
    // Words are split as Tokens splits them; no words give every recipe. Raises EStoreError when
    // the index is unavailable.
    std::vector<int32_t> Search(const std::string& words);

    // Builds the index afresh from the recipe table (told through SetRebuildNotice).
    void Rebuild();

    // The words as the index's tokenizer splits them (each a piece of `words`): blanks,
    // punctuation and symbols separate them. Raises EStoreError when the index is unavailable.
    std::vector<std::string> Tokens(const std::string& words);
    // The query text for the index's MATCH: every token as a prefix.
    static std::string MatchQuery(const std::vector<std::string>& tokens);

    // Many recipes added in one transaction (an import): while a TBulkAdd lives in an open
    // transaction, added rows are left unindexed, and Finish, called before the commit,
    // indexes them all in one statement (TPausedInsertTrigger in DerivedFile.h). Without
    // Finish the transaction is meant to roll back, which takes back everything.
    class TBulkAdd {
    public:
        explicit TBulkAdd(TSearchIndex& index);
        void Finish() { paused_.Finish(); }

    private:
        TPausedInsertTrigger paused_;
    };

private:
    // The file's layout and the steps that bring an older one up to it.
    static TDerivedLayout Layout();
    // Makes the empty tables of the current layout, dropping what the schema held.
    static void CreateWords(SqlConnection& conn);
    void InstallTriggers();
    void InstallInsertTrigger();
    void DropTriggers();
    // Indexes the recipes whose identifiers are above `after`, in one statement: the whole
    // table for a build, the rows an import added for a bulk add.
    void IndexRecipesAfter(int64_t after);
    int64_t DataVersion();
    void CheckForeignWrites();

    SqlConnection* conn_ = nullptr;
    std::string path_;
    std::string recipeFile_;
    std::string problem_;
    int64_t dataVersion_ = -1;
    int rebuilds_ = 0;
};

} // namespace larderly
