// The Categories window through real input: a row clicked in the list, the buttons clicked
// and the keys pressed, the names typed into the scripted input box; then what the list shows
// and what the store holds.
#include "workspace/GuiFixture.h"

#include "store/Categories.h"
#include "store/Labels.h"
#include "workspace/TfmCategories.h"

#include <QPushButton>
#include <QTreeWidget>

namespace larderly::test {
namespace {

class CategoriesWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        store.OpenDatabase(home.Home());
        store.SetTablesOpen(true);
        for (auto [title, cat] :
             {std::pair{"Soup", "Soups"}, {"Stew", "Soups"}, {"Salad", "Starters"}}) {
            store.ClearBuffers();
            store.RecipeRec.Title = title;
            SetCategorySlot(store, 1, cat);
            store.SaveRecord(rkRecipe);
        }
        AddCategory(store, "Spare");
    }
    void TearDown() override { store.SetTablesOpen(false); }

    QTreeWidget* List(TfmCategories& w) { return w.findChild<QTreeWidget*>("lvCategories"); }
    std::string Shown(TfmCategories& w) {
        std::string s;
        QTreeWidget* list = List(w);
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            s += list->topLevelItem(i)->text(0).toStdString() + "=" +
                 list->topLevelItem(i)->text(1).toStdString() + " ";
        return s;
    }

    TempHome home;
    TfmTables store;
    ScriptedPrompts prompts;
};

} // namespace

TEST_F(CategoriesWindowTest, AddRenameDeleteAndMergeThroughTheWindow) {
    TfmCategories w(store, prompts);
    int changes = 0;
    w.Changed = [&] { ++changes; };
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_EQ(Shown(w), "Soups=2 Spare=0 Starters=1 ");

    // Delete is offered only for a category no recipe uses.
    ClickRow(List(w), "Soups");
    EXPECT_FALSE(w.findChild<QPushButton*>("btnDelete")->isEnabled());
    ClickRow(List(w), "Spare");
    prompts.answer(PromptAnswer::Yes, "Delete the category \"Spare\"?");
    QTest::keyClick(List(w), Qt::Key_Delete);
    EXPECT_EQ(Shown(w), "Soups=2 Starters=1 ");

    // A name already taken, in other letter case, is refused and nothing changes.
    prompts.AnswerInput(std::string("starters"), "Name of the new category")
        .answer(PromptAnswer::Ok, "already exists");
    ClickButton(w.findChild<QPushButton*>("btnAdd"));
    prompts.AnswerInput(std::string("Breads"), "Name of the new category");
    QTest::keyClick(List(w), Qt::Key_Insert);
    EXPECT_EQ(Shown(w), "Breads=0 Soups=2 Starters=1 ");

    ClickRow(List(w), "Soups");
    prompts.AnswerInput(std::string("Soups & stews"), "New name of \"Soups\"");
    ClickButton(w.findChild<QPushButton*>("btnRename"));
    EXPECT_EQ(Shown(w), "Breads=0 Soups & stews=2 Starters=1 ");

    ClickRow(List(w), "Starters");
    prompts.AnswerInput(std::string("soups & STEWS"), "into which category")
        .answer(PromptAnswer::Yes, "Every recipe in \"Starters\" moves to \"Soups & stews\"");
    ClickButton(w.findChild<QPushButton*>("btnMerge"));
    EXPECT_EQ(Shown(w), "Breads=0 Soups & stews=3 ");
    EXPECT_TRUE(prompts.failures().empty()) << prompts.failures()[0];
    EXPECT_TRUE(prompts.done());
    EXPECT_EQ(changes, 4);

    // The store holds what the window shows: the salad now carries the merged category.
    const int32_t merged = FindLabelByName(store, "Soups & stews");
    store.FindRecipe(3);
    EXPECT_EQ(store.RecipeRec.Category[0], merged);
    EXPECT_EQ(FindLabelByName(store, "Starters"), -1);
}

} // namespace larderly::test
