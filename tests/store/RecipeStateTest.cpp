// The store as the one owner of recipe state: recipes, labels, books and book entries loaded
// and saved as values, and the summaries it keeps in step with its transactions.
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
    store.BuildSummaries();
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

TEST_F(RecipeStateTest, LabelsAndBooksRoundTripAsValuesWithoutTouchingTheBuffers) {
    store.ClearBuffers();
    store.LabelRec = {-1, 1, "label in a buffer"};
    store.BookRec = {-1, "book in a buffer"};
    store.BookEntryRec = {-1, 5, 6};

    // A name is cut to its width, the kind keeps 0 and 1 and turns anything else into 2.
    std::vector<LabelValue> labels = {
        {-1, 0, std::string(45, 'n')}, {-1, 1, "Other"}, {-1, 2, "U"}};
    for (LabelValue& l : labels) {
        const int32_t id = store.SaveLabelValue(l);
        EXPECT_EQ(l.InternalID, id);
        std::optional<LabelValue> back = store.LoadLabelById(id);
        ASSERT_TRUE(back) << l.Name;
        EXPECT_EQ(back->InternalID, l.InternalID);
        EXPECT_EQ(int{back->Kind}, int{l.Kind});
        EXPECT_EQ(back->Name, l.Name);
    }
    EXPECT_EQ(labels[0].Name, std::string(40, 'n'));
    EXPECT_FALSE(store.LoadLabelById(labels.back().InternalID + 1));

    BookValue first{-1, std::string(120, 'b')}, second{-1, "Sunday"};
    const int32_t b1 = store.SaveBookValue(first), b2 = store.SaveBookValue(second);
    EXPECT_EQ(first.Name, std::string(100, 'b'));
    second.Name = "Sunday lunch";
    EXPECT_EQ(store.SaveBookValue(second), b2) << "an identifier saves over its row";
    for (const BookValue& b : {first, second}) {
        std::optional<BookValue> back = store.LoadBookById(b.InternalID);
        ASSERT_TRUE(back) << b.Name;
        EXPECT_EQ(back->InternalID, b.InternalID);
        EXPECT_EQ(back->Name, b.Name);
    }
    const std::vector<BookValue> books = store.Books();
    ASSERT_EQ(books.size(), 2u);
    EXPECT_EQ(books[0].InternalID, b1);
    EXPECT_EQ(books[1].Name, "Sunday lunch");
    EXPECT_FALSE(store.LoadBookById(b2 + 1));

    EXPECT_EQ(store.LabelRec.Name, "label in a buffer");
    EXPECT_EQ(store.BookRec.Name, "book in a buffer");
    EXPECT_EQ(store.BookEntryRec.RecipeID, 5);
}

TEST_F(RecipeStateTest, BookEntriesAreKeptOnceAndNeverPointAtNothing) {
    const int32_t soup = Add("Soup"), bread = Add("Bread");
    BookValue a{-1, "A"}, b{-1, "B"};
    store.SaveBookValue(a);
    store.SaveBookValue(b);
    EXPECT_TRUE(store.AddBookEntry(a.InternalID, bread));
    EXPECT_TRUE(store.AddBookEntry(a.InternalID, soup));
    EXPECT_TRUE(store.AddBookEntry(a.InternalID, bread)) << "already there";
    EXPECT_TRUE(store.AddBookEntry(b.InternalID, bread));
    EXPECT_FALSE(store.AddBookEntry(a.InternalID, soup + 100)) << "no such recipe";
    EXPECT_FALSE(store.AddBookEntry(b.InternalID + 100, soup)) << "no such book";
    EXPECT_EQ(store.tblRecipeInBook().RecordCount(), 3);
    EXPECT_EQ(store.BookRecipeIds(a.InternalID), (std::vector<int32_t>{bread, soup}));

    EXPECT_TRUE(store.RemoveBookEntry(a.InternalID, bread));
    EXPECT_FALSE(store.RemoveBookEntry(a.InternalID, bread));
    EXPECT_EQ(store.BookRecipeIds(a.InternalID), std::vector<int32_t>{soup});
    EXPECT_EQ(store.BookRecipeIds(b.InternalID), std::vector<int32_t>{bread})
        << "another book's entry for the same recipe stays";
    for (TTable* t : {&store.tblRecipes(), &store.tblRecipeBook(), &store.tblRecipeInBook()})
        EXPECT_EQ(t->IndexName(), "InternalID") << t->TableName();
}

} // namespace
