// Which recipes the list shows: the filter and the search words together, decided without any
// window.
#include "workspace/StoreFixture.h"

#include "store/RecipeSummaries.h"
#include "workspace/core/RecipeListMembership.h"

#include <gmock/gmock.h>

namespace larderly::test {
namespace {

using ::testing::ElementsAreArray;

class ListMembership : public ::testing::Test {
protected:
    void SetUp() override {
        Seed(home.Home(), {{"Leek Soup", {"Soups"}, {"3 leeks, sliced", "2 potatoes", "Simmer."}},
                           {"Potato gratin", {}, {"1 kg potatoes", "Serve with leek salad."}},
                           {"Leek tart", {}, {"2 leeks", "1 pie crust"}}});
        store.OpenDatabase(home.Home());
        store.SetTablesOpen(true);
        store.BuildSummaries();
    }
    void TearDown() override { store.SetTablesOpen(false); }

    std::vector<std::string> Titles(const TListMembership& m) {
        std::vector<std::string> out;
        for (const TRecipeSummary* s : m.Select(store.Summaries()))
            out.push_back(s->Title);
        return out;
    }
    int32_t CategoryOf(const std::string& title) {
        for (const TRecipeSummary& s : store.Summaries())
            if (s.Title == title) return s.Category[0];
        return -1;
    }

    TempHome home;
    TfmTables store;
};

TEST_F(ListMembership, FilterAndSearchWordsMustBothLetARecipeThrough) {
    TFilterState byTitle;
    byTitle.ByTitle = true;
    byTitle.TitleText = "leek";
    TFilterState bySoups;
    bySoups.ByCategory = true;
    bySoups.CategoryId = CategoryOf("Leek Soup");
    struct Case {
        const char* words;
        TFilterState filter;
        std::vector<std::string> titles;
        bool narrowed;
    };
    for (const Case& c : {
             Case{"", {}, {"Leek Soup", "Potato gratin", "Leek tart"}, false},
             Case{"  \t", {}, {"Leek Soup", "Potato gratin", "Leek tart"}, false},
             Case{"leek", {}, {"Leek Soup", "Potato gratin", "Leek tart"}, true},
             Case{"potatoes", {}, {"Leek Soup", "Potato gratin"}, true},
             Case{"ingredient:leek", {}, {"Leek Soup", "Leek tart"}, true},
             Case{"ingredient:leek potatoes", {}, {"Leek Soup"}, true},
             Case{"ingredient:salad", {}, {}, true},
             Case{"potatoes", byTitle, {"Leek Soup"}, true},
             Case{"", byTitle, {"Leek Soup", "Leek tart"}, true},
             Case{"", bySoups, {"Leek Soup"}, true},
             Case{"crust", bySoups, {}, true},
         }) {
        const TRecipeFilter filter(c.filter);
        TListMembership m;
        m.SetFilter(&filter);
        m.Search(store, c.words);
        EXPECT_THAT(Titles(m), ElementsAreArray(c.titles)) << "'" << c.words << "'";
        EXPECT_EQ(m.Narrowed(), c.narrowed) << "'" << c.words << "'";
        for (const TRecipeSummary& s : store.Summaries())
            EXPECT_EQ(m.Contains(s),
                      std::find(c.titles.begin(), c.titles.end(), s.Title) != c.titles.end())
                << s.Title << " for '" << c.words << "'";
    }
}

TEST_F(ListMembership, ClearingTheSearchOrLosingTheIndexLeavesNothingOut) {
    TListMembership m;
    m.Search(store, "crust");
    EXPECT_THAT(Titles(m), ElementsAreArray({"Leek tart"}));
    m.ClearSearch();
    EXPECT_FALSE(m.Narrowed());
    EXPECT_EQ(Titles(m).size(), 3u);
    // A recipe stored after the search is not among its answers until the search runs again.
    m.Search(store, "crust");
    store.ClearBuffers();
    store.RecipeRec.Title = "Onion tart";
    store.RecipeText = {"1 pie crust"};
    store.SaveRecipe();
    EXPECT_THAT(Titles(m), ElementsAreArray({"Leek tart"}));
    m.Search(store, "crust");
    EXPECT_THAT(Titles(m), ElementsAreArray({"Leek tart", "Onion tart"}));
}

TEST(ListCountText, CountsTheShownAmongAll) {
    EXPECT_EQ(ListCountText(0, 0), "0 of 0 recipes");
    EXPECT_EQ(ListCountText(1, 1), "1 of 1 recipe");
    EXPECT_EQ(ListCountText(2, 10), "2 of 10 recipes");
}

} // namespace
} // namespace larderly::test
