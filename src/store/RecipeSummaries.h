// The recipe summaries: a copy of every stored recipe's identifier, four category slots and
// title (never the text), in the order they were appended. The store owns one list and keeps
// it in step with the recipe table: a change made inside a transaction is seen at once by
// the transaction's own work (an import's title checks), reaches the observers when the
// transaction commits and is taken back when it rolls back. Lookups by identifier and by
// folded title go through hash indexes, so they cost the same with a hundred recipes or a
// hundred thousand.
#pragma once

#include "store/Tables.h"

#include <array>
#include <cstdint>
#include <functional>
#include <list>
#include <string>
#include <unordered_map>
#include <vector>

namespace larderly {

struct TRecipeSummary {
    int32_t InternalID = -1;
    std::array<int32_t, 4> Category{-1, -1, -1, -1};
    std::string Title;
};

// One change to the summaries, as the observers are told of it.
struct TSummaryChange {
    enum Kind { Added, Updated, Removed };
    Kind What = Added;
    int32_t InternalID = -1;
    TRecipeSummary* Summary = nullptr; // valid during the call, a removed one included
};

// Told of committed changes to the summaries, in the order they were made. A removed
// summary's pointer is still valid during the call and is freed after it.
class ISummaryObserver {
public:
    virtual ~ISummaryObserver() = default;
    virtual void SummariesChanged(const std::vector<TSummaryChange>& changes) = 0;
};

class RecipeSummaries {
public:
    using List = std::list<TRecipeSummary>;

    void Clear();
    std::size_t Count() const { return list_.size(); }
    bool Empty() const { return list_.empty(); }

    // Appends a summary of the recipe buffer (title cut to 150 characters). The returned
    // pointer stays valid until that summary is removed or the list cleared.
    TRecipeSummary* Append(const RecipeRecord& rec);
    // The same without telling the observers: for whoever shows the list afresh afterwards.
    TRecipeSummary* AppendUntold(const RecipeRecord& rec);
    // The summary with that identifier, or nullptr.
    TRecipeSummary* Find(int32_t id);
    // Overwrites the summary with the buffer's identifier, or appends one. `added` tells which.
    TRecipeSummary* Update(const RecipeRecord& rec, bool* added = nullptr);
    // Removes the summary with that identifier; false when there is none.
    bool Remove(int32_t id);
    // Whether any summary's title equals `title` with the letters a-z folded.
    bool TitleExists(const std::string& title) const;

    // Rebuilds every summary from the recipe table, walking it in its current order and
    // reading only the identifier, the four slots and the title. `step` is called once per
    // row. Summaries built before an error stay in the list.
    void Build(TfmTables& store, const std::function<void()>& step = {});
    // Brings the summaries in line with the recipe table after another program changed it:
    // what was added, changed or removed there is told to the observers as one change (new
    // summaries at the end, in identifier order). Not inside a transaction.
    void Reload(TfmTables& store);
    // Whether the observers are being told of a Reload.
    bool Reloading() const { return reloading_; }
    // Whether the list was built from the table (Build, Reload) and not cleared since, and
    // the store's count of changes to the recipe table by other programs at that time.
    bool Built() const { return built_; }
    uint64_t BuiltAt() const { return builtAt_; }

    // Transactions: between BeginChanges and CommitChanges the changes are kept and told to
    // the observers at the commit; RollbackChanges takes them back (in reverse order, each
    // summary back at its place) and tells no one. Outside a transaction each change is told
    // at once.
    void BeginChanges();
    void CommitChanges();
    void RollbackChanges();

    void AddObserver(ISummaryObserver* observer);
    void RemoveObserver(ISummaryObserver* observer);

    List::iterator begin() { return list_.begin(); }
    List::iterator end() { return list_.end(); }
    List::const_iterator begin() const { return list_.begin(); }
    List::const_iterator end() const { return list_.end(); }

private:
    // What undoes one change of an open transaction.
    struct Undo {
        TSummaryChange::Kind What;
        List::iterator Node;   // Added, Updated: the summary; Removed: the node kept aside
        List::iterator Next;   // Removed: the node that followed it
        TRecipeSummary Before; // Updated: the values before
    };
    void Changed(TSummaryChange::Kind what, TRecipeSummary* s);
    void Tell(const std::vector<TSummaryChange>& changes);
    void IndexTitle(const std::string& title, int delta);
    // Builds the title index from the list when a rebuild left it unbuilt.
    void EnsureTitleIndex() const;

    List list_;
    std::unordered_map<int32_t, List::iterator> byId_;
    // folded title -> count. A rebuild from the table leaves it unbuilt; the first title
    // lookup builds it, so showing the list never waits for an index only importers use.
    mutable std::unordered_map<std::string, int> titles_;
    mutable bool titlesBuilt_ = true;

    bool inTransaction_ = false;
    bool building_ = false;
    bool reloading_ = false;
    bool built_ = false;
    uint64_t builtAt_ = 0;
    std::vector<Undo> undo_;
    std::vector<TSummaryChange> pending_;
    // Summaries removed by the open transaction: kept until it ends, so that their pointers
    // stay valid for the observers (and for a rollback that puts them back).
    List removed_;
    std::vector<ISummaryObserver*> observers_;
};

} // namespace larderly
