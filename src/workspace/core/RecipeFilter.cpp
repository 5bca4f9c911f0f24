// The recipe filter's matching rules.
#include "workspace/core/RecipeFilter.h"

#include "platform/Text.h"
#include "store/Tables.h"

#include <algorithm>

namespace larderly {

namespace {

inline unsigned char FoldByte(char c) {
    auto b = static_cast<unsigned char>(c);
    return (b >= 'a' && b <= 'z') ? static_cast<unsigned char>(b - 'a' + 'A') : b;
}

// Whether `needle` (already folded to upper case) occurs in `hay` with a-z folded.
bool ContainsFolded(std::string_view hay, std::string_view needle) {
    if (needle.empty() || needle.size() > hay.size()) return false;
    const auto first = static_cast<unsigned char>(needle[0]);
    const std::size_t last = hay.size() - needle.size();
    for (std::size_t i = 0; i <= last; ++i) {
        if (FoldByte(hay[i]) != first) continue;
        std::size_t k = 1;
        while (k < needle.size() && FoldByte(hay[i + k]) == static_cast<unsigned char>(needle[k]))
            ++k;
        if (k == needle.size()) return true;
    }
    return false;
}

std::string FoldUpper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(FoldByte(c));
    return out;
}

bool HasCategory(const TRecipeSummary& s, int32_t id) {
    return std::find(s.Category.begin(), s.Category.end(), id) != s.Category.end();
}

bool Match(const TFilterState& f, std::string_view foldedText, const TRecipeSummary& s) {
    if (!f.ByTitle && !f.ByCategory) return true;
    if (f.ByTitle) {
        bool pass =
            f.Contains ? ContainsFolded(s.Title, foldedText) : SameTextAZ(f.TitleText, s.Title);
        if (pass && f.ByCategory && f.CategoryId != -1) pass = HasCategory(s, f.CategoryId);
        return pass;
    }
    return HasCategory(s, f.CategoryId);
}

} // namespace

bool RecipeMatchesFilter(const TFilterState& filter, const TRecipeSummary& summary) {
    const std::string folded = FoldUpper(filter.TitleText);
    return Match(filter, folded, summary);
}

std::string FilterTitleText(const std::string& typed) {
    // Blanks are the characters the entry field can hold that trimming removes: codes 0-32.
    return CutChars(TrimCodes(typed), kTitleWidth);
}

TRecipeFilter::TRecipeFilter(TFilterState state)
    : state_(std::move(state)), foldedText_(FoldUpper(state_.TitleText)) {}

bool TRecipeFilter::Matches(const TRecipeSummary& summary) const {
    return Match(state_, foldedText_, summary);
}

std::vector<const TRecipeSummary*> TRecipeFilter::Select(const RecipeSummaries& summaries) const {
    std::vector<const TRecipeSummary*> out;
    if (!state_.ByTitle && !state_.ByCategory) out.reserve(summaries.Count());
    for (const TRecipeSummary& s : summaries)
        if (Matches(s)) out.push_back(&s);
    return out;
}

std::vector<TRecipeSummary*> TRecipeFilter::Select(RecipeSummaries& summaries) const {
    std::vector<TRecipeSummary*> out;
    if (!state_.ByTitle && !state_.ByCategory) out.reserve(summaries.Count());
    for (TRecipeSummary& s : summaries)
        if (Matches(s)) out.push_back(&s);
    return out;
}

} // namespace larderly
