// The recipe list: its order, equal titles, the list operations and the model's moves.
#include "workspace/GuiFixture.h"

#include <QLineEdit>
#include <QPersistentModelIndex>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeView>

#include <algorithm>
#include <random>

namespace larderly::test {
namespace {

class RecipeListTest : public GuiTest {};

TEST_F(RecipeListTest, EqualTitlesAreBothListedAndEachLoadsItsOwnRecipe) {
    auto ids = Seed(home_.Home(),
                    {{"Soup", {}, {"first"}}, {"soup", {}, {"second"}}, {"Soup", {}, {"third"}}});
    TfmMain& m = Start();
    ASSERT_EQ(m.ListModel().Count(), 3);
    std::vector<std::string> texts;
    for (int row = 0; row < 3; ++row) {
        ClickListRow(row);
        EXPECT_EQ(m.CurrentRecipe()->InternalID,
                  ids[static_cast<size_t>(row)]); // equal titles by identifier
        texts.push_back(m.fmRecipes->Memo1->toPlainText().toStdString());
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"first", "second", "third"}));
}

TEST_F(RecipeListTest, TitleComparisonFoldsOnlyAtoZ) {
    Seed(home_.Home(),
         {{"Crème brûlée", {}, {}}, {"CRÈME BRÛLÉE", {}, {}}, {"crème brûlée", {}, {}}});
    TfmMain& m = Start();
    struct Case {
        const char* title;
        bool exists;
    };
    for (const Case& c :
         {Case{"CRÈME BRÛLÉE", true}, Case{"crème brûlée", true}, Case{"Crème Brûlée", true},
          Case{"crÈme brûlée", false}, Case{"Creme brulee", false}, Case{"Crème brûlée ", false}})
        EXPECT_EQ(m.RecipeTitleExists(c.title), c.exists) << c.title;
}

TEST_F(RecipeListTest, AccentedTitlesSortBesideTheirBaseLetters) {
    // Long shared beginnings reach past the sort's 16-byte prefix.
    Seed(home_.Home(), {{"Zucchini bread", {}, {}},
                        {"Éclairs", {}, {}},
                        {"Œufs en cocotte", {}, {}},
                        {"Eclairs", {}, {}},
                        {"½ cup cake", {}, {}},
                        {"Oeufs en cocotte", {}, {}},
                        {"eclairs au café", {}, {}},
                        {"Ångström's pastry with jam", {}, {}},
                        {"Angstrom's pastry with honey", {}, {}},
                        {"Apple", {}, {}},
                        {"apple pie", {}, {}},
                        {"Äpfel", {}, {}}});
    TfmMain& m = Start();
    const std::vector<std::string> expected = {"Angstrom's pastry with honey",
                                               "Ångström's pastry with jam",
                                               "Äpfel",
                                               "Apple",
                                               "apple pie",
                                               "Eclairs",
                                               "Éclairs",
                                               "eclairs au café",
                                               "Oeufs en cocotte",
                                               "Œufs en cocotte",
                                               "Zucchini bread",
                                               "½ cup cake"};
    EXPECT_EQ(ListTitles(), expected);
    // A saved title takes the same place as a listed one.
    ClickListRow(11);
    QTest::mouseClick(Find<QPushButton>("btnEdit"), Qt::LeftButton);
    QTest::keyClick(m.fmRecipes->edtTitle, Qt::Key_A, Qt::ControlModifier);
    // Typed as a keyboard with that letter sends it (QTest's key names are ASCII only).
    for (const QChar c : QString::fromUtf8("Ébène cake"))
        QTest::sendKeyEvent(QTest::Click, m.fmRecipes->edtTitle, Qt::Key_unknown, QString(c),
                            Qt::NoModifier);
    QTest::mouseClick(Find<QPushButton>("btnSave"), Qt::LeftButton);
    EXPECT_EQ(ListTitles()[5], "Ébène cake");
    EXPECT_EQ(CurrentTitle(), "Ébène cake");
}

TEST_F(RecipeListTest, UpdateAddsNewRecipesEvenWhenAppendedQuietlyBefore) {
    Seed(home_.Home(), {{"Bread", {}, {}}});
    TfmMain& m = Start();
    // An importer appends summaries without touching the view; ShowRecipeList shows them.
    RecipeRecord r;
    r.InternalID = 900;
    r.Title = "Apple";
    m.AppendSummary(r);
    EXPECT_EQ(ListTitles(), std::vector<std::string>{"Bread"});
    EXPECT_TRUE(m.RecipeTitleExists("APPLE"));
    EXPECT_NE(m.FindSummary(900), nullptr);
    // Removing a summary that has no row and an identifier that has no summary.
    m.RemoveSummary(900);
    m.RemoveSummary(12345);
    EXPECT_EQ(m.FindSummary(900), nullptr);
    EXPECT_EQ(ListTitles(), std::vector<std::string>{"Bread"});
}

// Changes made to the store by anyone (here straight through it, as an import or another
// window would) reach the list when they commit, and never when they roll back.
TEST_F(RecipeListTest, AChangeNotificationReachesTheList) {
    auto ids = Seed(home_.Home(), {{"Bread", {}, {}}, {"Soup", {}, {}}});
    TfmMain& m = Start();
    TfmTables& st = m.Store();
    {
        Transaction tx(st);
        RecipeValue v;
        v.Title = "Apple";
        st.SaveRecipeValue(v);
        st.DeleteRecipe(ids[0]);
        EXPECT_EQ(ListTitles(), (std::vector<std::string>{"Bread", "Soup"}))
            << "nothing shows before the commit";
    }
    EXPECT_EQ(ListTitles(), (std::vector<std::string>{"Bread", "Soup"}))
        << "a rollback shows nothing";
    EXPECT_EQ(m.FindSummary(ids[0])->Title, "Bread");
    {
        Transaction tx(st);
        RecipeValue v = *st.LoadRecipeById(ids[1]);
        v.Title = "Apple soup";
        st.SaveRecipeValue(v);
        RecipeValue pie;
        pie.Title = "Pie";
        st.SaveRecipeValue(pie);
        st.DeleteRecipe(ids[0]);
        tx.Commit();
    }
    EXPECT_EQ(ListTitles(), (std::vector<std::string>{"Apple soup", "Pie"}));
    // The list's current row names a stored recipe, and the editor shows it when clicked.
    ASSERT_NE(m.CurrentRecipe(), nullptr);
    const QRect r = m.rptViewRecipes->visualRect(m.ListModel().index(1));
    QTest::mouseClick(m.rptViewRecipes->viewport(), Qt::LeftButton, {}, r.center());
    EXPECT_EQ(m.fmRecipes->edtTitle->text().toStdString(), "Pie");
}

// The model against a plain sort, through random adds, title changes and removals.
TEST_F(RecipeListTest, ModelStaysSortedThroughRandomChanges) {
    App();
    RecipeListModel model;
    std::list<TRecipeSummary> store;
    std::mt19937 rng(7);
    const char* words[] = {"apple", "Apple", "BREAD", "bread", "cake",   "_x",     "Zest",
                           "zest",  "a",     "ab",    "Ab",    "Éclair", "éclair", "eclair"};
    auto title = [&] { return std::string(words[rng() % 14]) + (rng() % 2 ? " pie" : ""); };
    std::vector<TRecipeSummary*> live;
    // Rows held as the view holds its current row and selection: each must stay on its
    // recipe as rows move.
    std::vector<std::pair<QPersistentModelIndex, const TRecipeSummary*>> held;
    int id = 0;
    for (int step = 0; step < 600; ++step) {
        // Now and then a run of neighbouring rows, which a move shifts together.
        if (step % 7 == 0 && model.Count() > 0) {
            const int r = static_cast<int>(rng() % static_cast<unsigned>(model.Count()));
            for (int k = r; k < std::min(r + 3, model.Count()); ++k)
                held.emplace_back(QPersistentModelIndex(model.index(k)), model.SummaryAt(k));
        }
        int op = static_cast<int>(rng() % 3);
        if (op == 0 || live.empty()) {
            store.push_back({++id, {-1, -1, -1, -1}, title()});
            live.push_back(&store.back());
            model.AddRow(&store.back());
        } else if (op == 1) {
            TRecipeSummary* s = live[rng() % live.size()];
            s->Title = title();
            EXPECT_GE(model.RowChanged(s), 0);
        } else {
            auto it = live.begin() + static_cast<long>(rng() % live.size());
            EXPECT_TRUE(model.RemoveRow(*it));
            live.erase(it);
        }
        ASSERT_EQ(model.Count(), static_cast<int>(live.size()));
        for (const auto& [index, summary] : held) {
            if (index.isValid()) {
                ASSERT_EQ(model.SummaryAt(index.row()), summary) << "step " << step;
            }
        }
        for (int i = 1; i < model.Count(); ++i) {
            const TRecipeSummary* a = model.SummaryAt(i - 1);
            const TRecipeSummary* b = model.SummaryAt(i);
            int c = RecipeListModel::CompareFields(*a, *b, 0);
            ASSERT_TRUE(c < 0 || (c == 0 && a->InternalID < b->InternalID))
                << "step " << step << " row " << i;
        }
    }
    EXPECT_EQ(RecipeListModel::GetFieldAsString(*model.SummaryAt(0), 1), "");
    EXPECT_EQ(RecipeListModel::CompareFields(*model.SummaryAt(0), *model.SummaryAt(1), 1), 0);
}

TEST_F(RecipeListTest, SavedRecipeKeepsItsRowSelectedWhenItMoves) {
    Seed(home_.Home(), {{"Apple", {}, {}}, {"Bread", {}, {}}, {"Cake", {}, {}}, {"Dates", {}, {}}});
    TfmMain& m = Start();
    ClickListRow(3);
    EXPECT_EQ(CurrentTitle(), "Dates");
    ClickButton(m.fmRecipes->btnEdit);
    QTest::keyClick(m.fmRecipes->edtTitle, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(m.fmRecipes->edtTitle, "Aardvark stew");
    ClickButton(m.fmRecipes->btnSave);
    EXPECT_EQ(ListTitles(), (std::vector<std::string>{"Aardvark stew", "Apple", "Bread", "Cake"}));
    EXPECT_EQ(CurrentTitle(), "Aardvark stew");
    EXPECT_EQ(m.rptViewRecipes->currentIndex().row(), 0);
}

TEST_F(RecipeListTest, RebuildAfterTheTableChangedBehindTheList) {
    Seed(home_.Home(), {{"Apple", {}, {}}, {"Bread", {}, {}}});
    TfmMain& m = Start();
    // A restore replaces the table: the list is built again from it.
    ExecSql(home_.Data() + "tbl102.nx1", "DELETE FROM tblRecipes WHERE Title='Apple'");
    ExecSql(
        home_.Data() + "tbl102.nx1",
        "INSERT INTO tblRecipes (RecipeText, Category1, Category2, Category3, Category4, Title) "
        "VALUES (x'', -1, -1, -1, -1, 'Cherry')");
    m.BuildRecipeList();
    EXPECT_EQ(m.ListModel().Count(), 0); // the view never refers to freed summaries
    m.ShowRecipeList();
    EXPECT_EQ(ListTitles(), (std::vector<std::string>{"Bread", "Cherry"}));
    EXPECT_EQ(CurrentTitle(), "Bread");
    EXPECT_EQ(m.fmRecipes->edtTitle->text(), "Bread");
}

TEST_F(RecipeListTest, ClickWithBookPaneActiveOnlySelects) {
    Seed(home_.Home(), {{"Apple", {}, {}}, {"Bread", {}, {}}});
    TfmMain& m = Start();
    TriggerEnabledAction(m.actRecipeBook);
    ClickListRow(1);
    EXPECT_EQ(CurrentTitle(), "Bread");
    EXPECT_EQ(m.fmRecipes->edtTitle->text(), "Apple");
    // Back in the recipe pane, the selected recipe is loaded.
    TriggerEnabledAction(m.actRecipes);
    EXPECT_EQ(m.fmRecipes->edtTitle->text(), "Bread");
}

} // namespace
} // namespace larderly::test
