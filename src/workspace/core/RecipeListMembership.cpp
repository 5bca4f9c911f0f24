#include "workspace/core/RecipeListMembership.h"

#include "store/IngredientIndex.h"
#include "store/SearchIndex.h"
#include "store/Tables.h"

#include <algorithm>

namespace larderly {

void TListMembership::ClearSearch() {
    searchActive_ = false;
    searchIds_.clear();
}

void TListMembership::Search(TfmTables& store, const std::string& words) {
    ClearSearch();
    if (!store.SearchIndex().Available()) return;
    if (words.find_first_not_of(" \t") == std::string::npos) return;
    std::string textWords, ingredientWords;
    SplitSearchWords(words, textWords, ingredientWords);
    std::vector<int32_t> ids;
    if (!textWords.empty() || ingredientWords.empty()) ids = store.SearchIndex().Search(textWords);
    if (!ingredientWords.empty()) {
        std::vector<int32_t> byItem = store.IngredientIndex().Search(ingredientWords);
        if (textWords.empty()) {
            ids = std::move(byItem);
        } else {
            const std::unordered_set<int32_t> keep(byItem.begin(), byItem.end());
            std::erase_if(ids, [&](int32_t id) { return keep.count(id) == 0; });
        }
    }
    searchIds_.reserve(ids.size());
    searchIds_.insert(ids.begin(), ids.end());
    searchActive_ = true;
}

bool TListMembership::Contains(const TRecipeSummary& s) const {
    if (filter_ && !filter_->Matches(s)) return false;
    return !searchActive_ || searchIds_.count(s.InternalID) > 0;
}

bool TListMembership::Narrowed() const {
    if (searchActive_) return true;
    if (!filter_) return false;
    return filter_->State().ByTitle || filter_->State().ByCategory;
}

std::vector<TRecipeSummary*> TListMembership::Select(RecipeSummaries& summaries) const {
    std::vector<TRecipeSummary*> rows;
    rows.reserve(summaries.Count());
    for (TRecipeSummary& s : summaries)
        if (Contains(s)) rows.push_back(&s);
    return rows;
}

std::string ListCountText(std::size_t shown, std::size_t total) {
    return std::to_string(shown) + " of " + std::to_string(total) +
           (total == 1 ? " recipe" : " recipes");
}

} // namespace larderly
