// Recipe summaries with identifier and title indexes.
#include "workspace/RecipeSummaries.h"

#include "platform/Text.h"

namespace larderly {

void RecipeSummaries::Clear() {
    list_.clear();
    byId_.clear();
    titles_.clear();
    titlesBuilt_ = true;
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
    return &*it;
}

TRecipeSummary* RecipeSummaries::Find(int32_t id) {
    auto it = byId_.find(id);
    return it == byId_.end() ? nullptr : &*it->second;
}

TRecipeSummary* RecipeSummaries::Update(const RecipeRecord& rec, bool* added) {
    if (TRecipeSummary* s = Find(rec.InternalID)) {
        IndexTitle(s->Title, -1);
        s->Category = rec.Category;
        s->Title = CutChars(rec.Title, kTitleWidth);
        IndexTitle(s->Title, 1);
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
    list_.erase(node);
    // An earlier summary with the same identifier (never made by the program) takes its place.
    for (auto r = list_.end(); r != list_.begin();) {
        --r;
        if (r->InternalID == id) {
            byId_[id] = r;
            break;
        }
    }
    return true;
}

bool RecipeSummaries::TitleExists(const std::string& title) const {
    EnsureTitleIndex();
    return titles_.count(FoldAZ(title)) != 0;
}

void RecipeSummaries::EnsureTitleIndex() const {
    if (titlesBuilt_) return;
    titles_.clear();
    titles_.reserve(list_.size());
    for (const TRecipeSummary& s : list_) ++titles_[FoldAZ(s.Title)];
    titlesBuilt_ = true;
}

void RecipeSummaries::Build(TfmTables& store, const std::function<void()>& step) {
    Clear();
    titlesBuilt_ = false;
    TTable& t = store.tblRecipes();
    RecipeRecord rec;
    t.First();
    while (!t.Eof()) {
        rec.InternalID = t.FieldAsInteger(fld::InternalID);
        for (int s = 0; s < 4; ++s) rec.Category[static_cast<size_t>(s)] = t.FieldAsInteger(fld::Category1 + s);
        rec.Title = t.FieldAsString(fld::Title);
        Append(rec);
        if (step) step();
        t.Next();
    }
}

} // namespace larderly
