// The store as the one owner of recipe state: recipes loaded and saved as values, and the
// summaries it keeps in step with its transactions.
#include "TestHome.h"
#include "store/RecipeSummaries.h"
#include "store/Tables.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace larderly;
using larderly::testing::TestHome;

namespace {

struct Recorder : ISummaryObserver {
    std::vector<std::vector<TSummaryChange>> told;
    std::vector<std::string> titles; // the summary's title as the observer sees it
    void SummariesChanged(const std::vector<TSummaryChange>& changes) override {
        told.push_back(changes);
        for (const TSummaryChange& c : changes)
            titles.push_back(c.Summary->Title);
    }
};

class RecipeStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        store.OpenDatabase(home.home());
        store.SetTablesOpen(true);
    }

    int32_t Add(const std::string& title) {
        RecipeValue v;
        v.Title = title;
        return store.SaveRecipeValue(v);
    }

    // The summaries as (identifier, title) in their order.
    std::vector<std::pair<int32_t, std::string>> Listed() {
        std::vector<std::pair<int32_t, std::string>> out;
        for (const TRecipeSummary& s : store.Summaries())
            out.emplace_back(s.InternalID, s.Title);
        return out;
    }

    TestHome home;
    TfmTables store;
};

TEST_F(RecipeStateTest, ValuesRoundTripWithoutTouchingTheBuffers) {
    store.ClearBuffers();
    store.RecipeRec.Title = "In the editor";
    store.RecipeText = {"unsaved"};
    RecipeValue v;
    v.Title = std::string(160, 'x');
    v.Category = {3, -1, 7, -1};
    v.Lines = {"Serving Size  : 2", "", "Stir."};
    const int32_t id = store.SaveRecipeValue(v);
    EXPECT_EQ(v.InternalID, id);
    EXPECT_EQ(v.Title.size(), kTitleWidth);
    v.Title = "Changed";
    EXPECT_EQ(store.SaveRecipeValue(v), id) << "an identifier saves over its row";

    std::optional<RecipeValue> back = store.LoadRecipeById(id);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Title, "Changed");
    EXPECT_EQ(back->Category, v.Category);
    EXPECT_EQ(back->Lines, v.Lines);
    EXPECT_FALSE(store.LoadRecipeById(id + 100));
    EXPECT_EQ(store.RecipeRec.Title, "In the editor");
    EXPECT_EQ(store.RecipeText, std::vector<std::string>{"unsaved"});
    ASSERT_NE(store.Summaries().Find(id), nullptr);
    EXPECT_EQ(store.Summaries().Find(id)->Title, "Changed");
}

// Whatever a transaction did to the summaries (adds, title changes, deletes, in any mix),
// a rollback leaves them as they were, in their order, and tells no one; the transaction's
// own work saw its changes meanwhile.
TEST_F(RecipeStateTest, ASummaryNeverOutlivesARollback) {
    const int32_t soup = Add("Soup"), bread = Add("Bread"), stew = Add("Stew");
    store.Summaries().Build(store);
    const auto before = Listed();
    Recorder rec;
    store.Summaries().AddObserver(&rec);
    {
        Transaction tx(store);
        const int32_t pie = Add("Pie");
        RecipeValue v = *store.LoadRecipeById(bread);
        v.Title = "Brioche";
        store.SaveRecipeValue(v);
        EXPECT_TRUE(store.DeleteRecipe(soup));
        EXPECT_TRUE(store.DeleteRecipe(pie)); // added and deleted in the same transaction
        Add("Tart");
        EXPECT_TRUE(store.DeleteRecipe(stew));
        EXPECT_TRUE(store.Summaries().TitleExists("tart"));
        EXPECT_TRUE(store.Summaries().TitleExists("BRIOCHE"));
        EXPECT_FALSE(store.Summaries().TitleExists("soup"));
    } // not committed
    EXPECT_EQ(Listed(), before);
    for (const char* t : {"Soup", "Bread", "Stew"})
        EXPECT_TRUE(store.Summaries().TitleExists(t)) << t;
    for (const char* t : {"Pie", "Tart", "Brioche"})
        EXPECT_FALSE(store.Summaries().TitleExists(t)) << t;
    EXPECT_TRUE(rec.told.empty());
    // A later transaction's commit is told, once, in the order of the changes.
    {
        Transaction tx(store);
        EXPECT_TRUE(store.DeleteRecipe(soup));
        Add("Pie");
        EXPECT_TRUE(rec.told.empty()) << "nothing is told before the commit";
        tx.Commit();
    }
    ASSERT_EQ(rec.told.size(), 1u);
    ASSERT_EQ(rec.told[0].size(), 2u);
    EXPECT_EQ(rec.told[0][0].What, TSummaryChange::Removed);
    EXPECT_EQ(rec.told[0][0].InternalID, soup);
    EXPECT_EQ(rec.told[0][1].What, TSummaryChange::Added);
    EXPECT_EQ(rec.titles, (std::vector<std::string>{"Soup", "Pie"}))
        << "a removed summary is readable while told";
    EXPECT_EQ(store.Summaries().Count(), 3u);
    // Outside a transaction each change is told at once.
    Add("Cake");
    EXPECT_EQ(rec.told.size(), 2u);
    store.Summaries().RemoveObserver(&rec);
}

} // namespace
