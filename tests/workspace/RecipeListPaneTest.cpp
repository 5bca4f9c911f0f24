// The recipe list pane on its own, over a store and without the main window: its rows follow
// the store's commits by themselves, and a click, the keys, typing in the search field and
// Show All reach the rows, the status line and whoever holds the pane.
#include "workspace/GuiFixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QTreeView>

#include <gmock/gmock.h>

namespace larderly::test {
namespace {

using ::testing::ElementsAre;

class RecipeListPaneTest : public ::testing::Test {
protected:
    RecipeListPaneTest() { App(); }
    void SetUp() override {
        Seed(home.Home(), {{"Leek soup", {}, {"3 leeks", "Simmer."}},
                           {"Apple pie", {}, {"2 apples"}},
                           {"Bread", {}, {"flour", "water"}}});
        store.OpenDatabase(home.Home());
        store.SetTablesOpen(true);
        pane = std::make_unique<TfmRecipeList>();
        pane->RowMoved = [this] { moved.push_back(Title(pane->Current())); };
        pane->Click = [this] { ++clicks; };
        pane->DeletePressed = [this] { deleted.push_back(Title(pane->Current())); };
        pane->SetStore(&store);
        pane->Build();
        pane->Show();
        pane->resize(250, 400);
        pane->show();
        QApplication::setActiveWindow(pane.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(pane.get()));
    }
    void TearDown() override {
        pane.reset();
        store.SetTablesOpen(false);
    }

    static std::string Title(const TRecipeSummary* s) { return s ? s->Title : "<none>"; }
    std::vector<std::string> Rows() {
        std::vector<std::string> out;
        for (int i = 0; i < pane->Model().Count(); ++i)
            out.push_back(pane->Model().SummaryAt(i)->Title);
        return out;
    }
    QModelIndex Row(const std::string& title) {
        for (int i = 0; i < pane->Model().Count(); ++i)
            if (pane->Model().SummaryAt(i)->Title == title) return pane->Model().index(i);
        return {};
    }
    std::string Status() { return pane->lblListStatus->text().toStdString(); }
    int32_t Save(const std::string& title, std::vector<std::string> text, int32_t id = -1) {
        RecipeValue v{id, title, {-1, -1, -1, -1}, std::move(text)};
        return store.SaveRecipeValue(v);
    }
    int32_t IdOf(const std::string& title) {
        for (const TRecipeSummary& s : store.Summaries())
            if (s.Title == title) return s.InternalID;
        return -1;
    }

    TempHome home;
    TfmTables store;
    std::unique_ptr<TfmRecipeList> pane;
    std::vector<std::string> moved, deleted;
    int clicks = 0;
};

TEST_F(RecipeListPaneTest, ClicksAndKeysMoveTheRowAndDeleteReachesTheHolder) {
    EXPECT_THAT(Rows(), ElementsAre("Apple pie", "Bread", "Leek soup"));
    EXPECT_EQ(Title(pane->Current()), "Apple pie") << "the first row is selected when shown";
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(moved.empty()) << "the pane's own selection is no move of the user's";
    EXPECT_EQ(Status(), "3 of 3 recipes");

    ClickRow(pane->rptViewRecipes, Row("Leek soup"));
    QTest::keyClick(pane->rptViewRecipes, Qt::Key_Up);
    EXPECT_THAT(moved, ::testing::Contains("Leek soup"));
    EXPECT_EQ(moved.back(), "Bread");
    EXPECT_EQ(pane->rptViewRecipes->selectionModel()->selectedRows().size(), 1);

    QTest::keyClick(pane->rptViewRecipes, Qt::Key_Delete);
    EXPECT_THAT(deleted, ElementsAre("Bread"));
    // The holder deletes through the store; the row goes with the summary.
    const int32_t bread = IdOf("Bread");
    Transaction tx(store);
    store.DeleteRecipe(bread);
    tx.Commit();
    EXPECT_THAT(Rows(), ElementsAre("Apple pie", "Leek soup"));
    EXPECT_EQ(Title(pane->Current()), "Apple pie");
    EXPECT_EQ(Status(), "2 of 2 recipes");
    EXPECT_EQ(Stored(home.Home()).size(), 2u);
}

TEST_F(RecipeListPaneTest, TypedWordsNarrowTheRowsAndShowAllBringsThemBack) {
    ClickRow(pane->rptViewRecipes, Row("Bread"));
    ClickButton(pane->edtSearch);
    QTest::keyClicks(pane->edtSearch, "leeks");
    EXPECT_THAT(Rows(), ElementsAre("Apple pie", "Bread", "Leek soup")) << "typing waits";
    ASSERT_TRUE(QTest::qWaitFor([&] { return Rows().size() == 1; }, 2000));
    EXPECT_THAT(Rows(), ElementsAre("Leek soup"));
    EXPECT_EQ(Title(pane->Current()), "Leek soup");
    EXPECT_EQ(clicks, 2) << "the click handling ran for the new first row";
    EXPECT_EQ(Status(), "1 of 3 recipes");
    EXPECT_TRUE(pane->lblNarrowed->isVisible());
    ASSERT_TRUE(pane->btnShowAll->isVisible());

    // Nothing matches: an empty list with no current row and a word on how to get back.
    QTest::keyClicks(pane->edtSearch, " custard");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Rows().empty(); }, 2000));
    EXPECT_EQ(pane->Current(), nullptr);
    EXPECT_EQ(Status(), "0 of 3 recipes");

    ClickButton(pane->btnShowAll);
    EXPECT_THAT(Rows(), ElementsAre("Apple pie", "Bread", "Leek soup"));
    EXPECT_EQ(pane->edtSearch->text(), "");
    EXPECT_FALSE(pane->lblNarrowed->isVisible());
    EXPECT_FALSE(pane->btnShowAll->isVisible());
    EXPECT_EQ(Status(), "3 of 3 recipes");
}

TEST_F(RecipeListPaneTest, RowsFollowTheStoresCommitsWithoutTheHolder) {
    const int clicksBefore = clicks;
    // One new recipe (a save in the editor) gets its row and becomes current.
    {
        Transaction tx(store);
        Save("Cherry cake", {"cherries"});
        tx.Commit();
    }
    EXPECT_THAT(Rows(), ElementsAre("Apple pie", "Bread", "Cherry cake", "Leek soup"));
    EXPECT_EQ(Title(pane->Current()), "Cherry cake");
    EXPECT_EQ(Status(), "4 of 4 recipes");
    // A new title moves the row to its place.
    {
        const int32_t bread = IdOf("Bread");
        Transaction tx(store);
        Save("Zucchini bread", {"flour"}, bread);
        tx.Commit();
    }
    EXPECT_THAT(Rows(), ElementsAre("Apple pie", "Cherry cake", "Leek soup", "Zucchini bread"));
    // Work rolled back shows nothing.
    {
        Transaction tx(store);
        Save("Never stored", {});
    }
    EXPECT_EQ(Rows().size(), 4u);
    // With a search in force, many new recipes join where the search lets them.
    pane->edtSearch->setText("leeks");
    pane->ApplySearch();
    ASSERT_THAT(Rows(), ElementsAre("Leek soup"));
    {
        Transaction tx(store);
        Save("Leek tart", {"2 leeks"});
        Save("Plum jam", {"plums"});
        tx.Commit();
    }
    EXPECT_THAT(Rows(), ElementsAre("Leek soup", "Leek tart"));
    EXPECT_EQ(Status(), "2 of 6 recipes");
    EXPECT_TRUE(moved.empty());
    EXPECT_EQ(clicks, clicksBefore + 1) << "only the search's refill ran the click handling";
}

} // namespace
} // namespace larderly::test
