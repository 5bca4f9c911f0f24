// Recipe summaries with identifier and title indexes.
#include "store/RecipeSummaries.h"

#include "platform/Text.h"

#include <algorithm>
#include <unordered_set>

namespace larderly {

void RecipeSummaries::Clear() {
    undo_.clear();
    pending_.clear();
    removed_.clear();
    list_.clear();
    byId_.clear();
    titles_.clear();
    titlesBuilt_ = true;
    built_ = false;
}

void RecipeSummaries::IndexTitle(const std::string& title, int delta) {
    if (!titlesBuilt_) return;
    std::string key = FoldAZ(title);
    auto it = titles_.find(key);
    if (it == titles_.end()) {
        if (delta > 0) titles_.emplace(std::move(key), delta);
        return;
    }
    it->second += delta;
    if (it->second <= 0) titles_.erase(it);
}

TRecipeSummary* RecipeSummaries::Append(const RecipeRecord& rec) {
    list_.push_back({rec.InternalID, rec.Category, CutChars(rec.Title, kTitleWidth)});
    auto it = std::prev(list_.end());
    // A later summary with the same identifier wins, as a search from the last node would.
    byId_[rec.InternalID] = it;
    IndexTitle(it->Title, 1);
    if (inTransaction_) undo_.push_back({TSummaryChange::Added, it, {}, {}});
    Changed(TSummaryChange::Added, &*it);
    return &*it;
}

TRecipeSummary* RecipeSummaries::AppendUntold(const RecipeRecord& rec) {
    const bool was = building_;
    building_ = true;
    TRecipeSummary* s = Append(rec);
    building_ = was;
    return s;
}

TRecipeSummary* RecipeSummaries::Find(int32_t id) {
    auto it = byId_.find(id);
    return it == byId_.end() ? nullptr : &*it->second;
}

TRecipeSummary* RecipeSummaries::Update(const RecipeRecord& rec, bool* added) {
    if (TRecipeSummary* s = Find(rec.InternalID)) {
        if (inTransaction_)
            undo_.push_back({TSummaryChange::Updated, byId_[rec.InternalID], {}, *s});
        IndexTitle(s->Title, -1);
        s->Category = rec.Category;
        s->Title = CutChars(rec.Title, kTitleWidth);
        IndexTitle(s->Title, 1);
        Changed(TSummaryChange::Updated, s);
        if (added) *added = false;
        return s;
    }
    if (added) *added = true;
    return Append(rec);
}

bool RecipeSummaries::Remove(int32_t id) {
    auto it = byId_.find(id);
    if (it == byId_.end()) return false;
    auto node = it->second;
    byId_.erase(it);
    IndexTitle(node->Title, -1);
    // The node is kept aside until the change is told, so that observers may still look at it.
    const auto next = std::next(node);
    removed_.splice(removed_.end(), list_, node);
    if (inTransaction_) undo_.push_back({TSummaryChange::Removed, node, next, {}});
    // An earlier summary with the same identifier (never made by the program) takes its place.
    for (auto r = list_.end(); r != list_.begin();) {
        --r;
        if (r->InternalID == id) {
            byId_[id] = r;
            break;
        }
    }
    Changed(TSummaryChange::Removed, &*node);
    return true;
}

void RecipeSummaries::Changed(TSummaryChange::Kind what, TRecipeSummary* s) {
    if (building_) return;
    if (inTransaction_) {
        pending_.push_back({what, s->InternalID, s});
        return;
    }
    Tell({{what, s->InternalID, s}});
    removed_.clear();
}

void RecipeSummaries::Tell(const std::vector<TSummaryChange>& changes) {
    // An observer may remove itself while being told.
    const std::vector<ISummaryObserver*> observers = observers_;
    for (ISummaryObserver* o : observers)
        if (std::find(observers_.begin(), observers_.end(), o) != observers_.end())
            o->SummariesChanged(changes);
}

void RecipeSummaries::BeginChanges() {
    undo_.clear();
    pending_.clear();
    inTransaction_ = true;
}

void RecipeSummaries::CommitChanges() {
    inTransaction_ = false;
    undo_.clear();
    std::vector<TSummaryChange> changes;
    changes.swap(pending_);
    if (!changes.empty()) Tell(changes);
    removed_.clear();
}

void RecipeSummaries::RollbackChanges() {
    inTransaction_ = false;
    for (auto u = undo_.rbegin(); u != undo_.rend(); ++u) {
        switch (u->What) {
        case TSummaryChange::Added: {
            const int32_t id = u->Node->InternalID;
            IndexTitle(u->Node->Title, -1);
            list_.erase(u->Node);
            byId_.erase(id);
            break;
        }
        case TSummaryChange::Updated:
            IndexTitle(u->Node->Title, -1);
            u->Node->Category = u->Before.Category;
            u->Node->Title = u->Before.Title;
            IndexTitle(u->Node->Title, 1);
            break;
        case TSummaryChange::Removed:
            list_.splice(u->Next, removed_, u->Node);
            byId_[u->Node->InternalID] = u->Node;
            IndexTitle(u->Node->Title, 1);
            break;
        }
    }
    undo_.clear();
    pending_.clear();
    removed_.clear();
}

void RecipeSummaries::AddObserver(ISummaryObserver* observer) {
    if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void RecipeSummaries::RemoveObserver(ISummaryObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

bool RecipeSummaries::TitleExists(const std::string& title) const {
    EnsureTitleIndex();
    return titles_.count(FoldAZ(title)) != 0;
}

void RecipeSummaries::EnsureTitleIndex() const {
    if (titlesBuilt_) return;
    titles_.clear();
    titles_.reserve(list_.size());
    for (const TRecipeSummary& s : list_)
        ++titles_[FoldAZ(s.Title)];
    titlesBuilt_ = true;
}

void RecipeSummaries::Build(TfmTables& store, const std::function<void()>& step) {
    Clear();
    titlesBuilt_ = false;
    // A rebuild is no change to tell: whoever rebuilds shows the list afresh.
    struct Quiet {
        bool& b;
        ~Quiet() { b = false; }
    } quiet{building_ = true};
    // Changes by other programs before this point are in what the walk reads.
    store.PollChangesElsewhere();
    builtAt_ = store.ChangesElsewhere()[1];
    built_ = true;
    TTable& t = store.tblRecipes();
    RecipeRecord rec;
    t.First();
    while (!t.Eof()) {
        rec.InternalID = t.FieldAsInteger(fld::InternalID);
        for (int s = 0; s < 4; ++s)
            rec.Category[static_cast<size_t>(s)] = t.FieldAsInteger(fld::Category1 + s);
        rec.Title = t.FieldAsString(fld::Title);
        Append(rec);
        if (step) step();
        t.Next();
    }
}

void RecipeSummaries::Reload(TfmTables& store) {
    store.PollChangesElsewhere();
    const uint64_t at = store.ChangesElsewhere()[1];
    SqlStatement st(store.Connection().handle(),
                    "SELECT InternalID, Category1, Category2, Category3, Category4, Title FROM " +
                        store.tblRecipes().QualifiedName() + " ORDER BY InternalID");
    BeginChanges();
    try {
        std::unordered_set<int32_t> stored;
        RecipeRecord rec;
        while (st.Step()) {
            rec.InternalID = static_cast<int32_t>(st.ColumnInt(0));
            for (int s = 0; s < 4; ++s)
                rec.Category[static_cast<size_t>(s)] = static_cast<int32_t>(st.ColumnInt(1 + s));
            rec.Title = CutChars(st.ColumnText(5), kTitleWidth);
            stored.insert(rec.InternalID);
            const TRecipeSummary* s = Find(rec.InternalID);
            if (!s)
                Append(rec);
            else if (s->Category != rec.Category || s->Title != rec.Title)
                Update(rec);
        }
        st.Reset();
        std::vector<int32_t> gone;
        for (const TRecipeSummary& s : list_)
            if (!stored.count(s.InternalID)) gone.push_back(s.InternalID);
        for (int32_t id : gone)
            Remove(id);
    } catch (...) {
        RollbackChanges();
        throw;
    }
    builtAt_ = at;
    built_ = true;
    struct Telling {
        bool& b;
        ~Telling() { b = false; }
    } telling{reloading_ = true};
    CommitChanges();
}

} // namespace larderly
