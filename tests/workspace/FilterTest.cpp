// The filter's matching rules on recipe summaries.
#include "workspace/core/RecipeFilter.h"

#include <gtest/gtest.h>

namespace larderly {
namespace {

TRecipeSummary Sum(int32_t id, std::string title, std::array<int32_t, 4> slots = {-1, -1, -1, -1}) {
    TRecipeSummary s;
    s.InternalID = id;
    s.Title = std::move(title);
    s.Category = slots;
    return s;
}

TFilterState Title(std::string text, bool contains = true) {
    TFilterState f;
    f.ByTitle = true;
    f.TitleText = std::move(text);
    f.Contains = contains;
    return f;
}

TFilterState Category(int32_t id) {
    TFilterState f;
    f.ByCategory = true;
    f.CategoryId = id;
    return f;
}

TEST(RecipeFilter, MatchingRules) {
    const TRecipeSummary full = Sum(1, "Leek SOUP with Crème", {7, 8, 9, 10});
    const TRecipeSummary gap = Sum(2, "Leek soup", {7, -1, 9, 10});
    TFilterState both = Title("soup");
    both.ByCategory = true;
    both.CategoryId = 8;
    TFilterState titleAnyCategory = Title("soup");
    titleAnyCategory.ByCategory = true; // no category chosen: the title alone decides
    TFilterState off;
    off.TitleText = "nothing";
    off.CategoryId = 3;
    struct Case {
        const char* name;
        TFilterState filter;
        const TRecipeSummary& summary;
        bool passes;
    };
    const Case cases[] = {
        {"no filter lets everything through", TFilterState{}, full, true},
        {"texts are ignored while both boxes are clear", off, full, true},
        {"contains, any case of a-z", Title("leek soup"), full, true},
        {"contains in the middle", Title("p wI"), full, true},
        {"accented letters must match exactly", Title("CRÈME"), full, false},
        {"accented letters as written", Title("Crème"), full, true},
        {"empty text with contains shows nothing", Title(""), full, false},
        {"text longer than the title", Title("Leek SOUP with Crème and more"), full, false},
        {"exact match ignores a-z case", Title("LEEK SOUP", false), gap, true},
        {"exact match is not a substring", Title("Leek", false), gap, false},
        {"exact match with trailing blanks does not match", Title("Leek soup ", false), gap, false},
        {"exact match of empty text", Title("", false), gap, false},
        {"title and category", both, full, true},
        {"title passes, category not held", both, gap, false},
        {"title and no chosen category: title only", titleAnyCategory, full, true},
        {"category held in slot 4", Category(10), full, true},
        {"category not held", Category(11), full, false},
        {"no chosen category: recipes with an empty slot", Category(-1), gap, true},
        {"no chosen category: recipes with four slots filled", Category(-1), full, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RecipeMatchesFilter(c.filter, c.summary), c.passes) << c.name;
        EXPECT_EQ(TRecipeFilter(c.filter).Matches(c.summary), c.passes) << c.name << " (prepared)";
    }
}

TEST(RecipeFilter, TitleTextIsTrimmedAndCutToTheTitleWidth) {
    EXPECT_EQ(FilterTitleText("  soup \t"), "soup");
    EXPECT_EQ(FilterTitleText(std::string(200, 'x')), std::string(150, 'x'));
    std::string accented;
    for (int i = 0; i < 160; ++i)
        accented += "é";
    EXPECT_EQ(FilterTitleText(accented).size(), 300u) << "150 characters, never a split one";
}

TEST(RecipeFilter, SelectKeepsTheSummariesOrderAndLeavesTheListWhole) {
    TDetachedSummaries all;
    for (int i = 0; i < 10; ++i) {
        RecipeRecord r;
        r.InternalID = i + 1;
        r.Title = (i % 2 ? "Soup " : "Cake ") + std::to_string(i);
        all.Append(r);
    }
    auto shown = TRecipeFilter(Title("SOUP")).Select(all);
    ASSERT_EQ(shown.size(), 5u);
    for (std::size_t k = 0; k < shown.size(); ++k)
        EXPECT_EQ(shown[k]->InternalID, int32_t(2 * k + 2));
    EXPECT_EQ(all.Count(), 10u);
    EXPECT_TRUE(TRecipeFilter(Title("nothing")).Select(all).empty());
    EXPECT_EQ(TRecipeFilter(TFilterState{}).Select(all).size(), 10u);
}

} // namespace
} // namespace larderly
