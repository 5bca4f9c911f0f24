// Which recipe summaries the recipe list shows: those that both the filter and the search let
// through. The search is the words typed above the list: "ingredient:leek" words ask the
// ingredient index, the others the full-text index, and a recipe must answer both. No words,
// or an index that is unavailable, leave nothing out.
#pragma once

#include "store/RecipeSummaries.h"
#include "workspace/core/RecipeFilter.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

namespace larderly {

class TListMembership {
public:
    // The filter in force, not owned (nullptr: none). It is read at every question, so a
    // filter changed in place is followed.
    void SetFilter(const TRecipeFilter* filter) { filter_ = filter; }

    // Runs the search for `words` on the store's indexes as they are now. An index error
    // propagates and leaves the search off (nothing left out by it).
    void Search(TfmTables& store, const std::string& words);
    void ClearSearch();
    bool SearchActive() const { return searchActive_; }

    // Whether a summary belongs in the list.
    bool Contains(const TRecipeSummary& s) const;
    // Whether the filter or the search leaves recipes out.
    bool Narrowed() const;
    // Every summary that belongs in the list, in the summaries' order.
    std::vector<TRecipeSummary*> Select(RecipeSummaries& summaries) const;

private:
    const TRecipeFilter* filter_ = nullptr;
    bool searchActive_ = false;
    std::unordered_set<int32_t> searchIds_;
};

// The count under the list: "3 of 10 recipes" ("recipe" when the collection holds one).
std::string ListCountText(std::size_t shown, std::size_t total);

} // namespace larderly
