// The recipe filter: which recipe summaries the recipe list shows. It works on the in-memory
// summaries only and never reads the tables.
#pragma once

#include "store/RecipeSummaries.h"

#include <cstdint>
#include <string>
#include <vector>

namespace larderly {

// The filter's settings, as the filter dialog last handed them over.
struct TFilterState {
    bool ByTitle = false;
    std::string TitleText; // at most 150 characters, no leading or trailing blanks
    bool Contains = true;  // true: the title contains the text; false: exact match
    bool ByCategory = false;
    int32_t CategoryId = -1; // -1: no category chosen

    bool operator==(const TFilterState&) const = default;
};

// Whether a summary passes the filter.
//  - Neither ByTitle nor ByCategory: every summary passes.
//  - ByTitle with Contains: the text, letters a-z folded, occurs in the folded title; an
//    empty text occurs nowhere. Without Contains: the title equals the text with a-z folded
//    and every other byte compared as it is (trailing blanks count).
//    A title match is narrowed by the category only when ByCategory is set and a category
//    was chosen.
//  - ByCategory alone: one of the four slots equals CategoryId; with no category chosen
//    (-1) that is every recipe with at least one empty slot.
bool RecipeMatchesFilter(const TFilterState& filter, const TRecipeSummary& summary);

// Builds the cut text of a filter: leading and trailing blanks removed, cut to 150
// characters.
std::string FilterTitleText(const std::string& typed);

// A filter prepared for many summaries: the folded title text is computed once, so testing
// 100 000 summaries allocates nothing.
class TRecipeFilter {
public:
    explicit TRecipeFilter(TFilterState state);
    const TFilterState& State() const { return state_; }
    bool Matches(const TRecipeSummary& summary) const;
    // Every summary that passes, in the summaries' order.
    std::vector<const TRecipeSummary*> Select(const RecipeSummaries& summaries) const;
    std::vector<TRecipeSummary*> Select(RecipeSummaries& summaries) const;

private:
    TFilterState state_;
    std::string foldedText_;
};

} // namespace larderly
