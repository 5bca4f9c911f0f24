// The recipe editor: New, Edit, Save, Undo, Delete through the real buttons, the enabled
// states, the messages, the transactions, and recipes that vanish or fail to save.
#include "workspace/GuiFixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

namespace larderly::test {
namespace {

class RecipeEditorTest : public GuiTest {
protected:
    QPushButton* Btn(const char* name) { return Find<QPushButton>(name); }
    QLineEdit* Title() { return Find<QLineEdit>("edtTitle"); }
    QComboBox* Cat(int n) { return Find<QComboBox>(("cbCategory" + std::to_string(n)).c_str()); }
    QPlainTextEdit* Memo() { return Find<QPlainTextEdit>("Memo1"); }

    // Browse-mode states: Edit/Delete/Print by the current item, New on, Save/Undo off.
    void ExpectBrowse(bool current) {
        EXPECT_FALSE(main_->fmRecipes->Editing());
        EXPECT_EQ(Btn("btnEdit")->isEnabled(), current);
        EXPECT_EQ(Btn("btnDelete")->isEnabled(), current);
        EXPECT_TRUE(Btn("btnNew")->isEnabled());
        EXPECT_FALSE(Btn("btnSave")->isEnabled());
        EXPECT_FALSE(Btn("btnUndo")->isEnabled());
        // The fields cannot be changed: read-only (and readable) with a recipe shown, off
        // without one.
        EXPECT_TRUE(Title()->isReadOnly());
        EXPECT_TRUE(Memo()->isReadOnly());
        EXPECT_EQ(Title()->isEnabled(), current);
        EXPECT_EQ(Memo()->isEnabled(), current);
        EXPECT_TRUE(main_->rptViewRecipes->isEnabled());
        EXPECT_TRUE(main_->btn1->isEnabled());
    }
    void ExpectEdit() {
        EXPECT_TRUE(main_->fmRecipes->Editing());
        for (const char* b : {"btnEdit", "btnNew", "btnDelete"})
            EXPECT_FALSE(Btn(b)->isEnabled()) << b;
        for (const char* b : {"btnSave", "btnUndo"})
            EXPECT_TRUE(Btn(b)->isEnabled()) << b;
        EXPECT_TRUE(Title()->isEnabled());
        EXPECT_FALSE(Title()->isReadOnly());
        for (int i = 1; i <= 4; ++i)
            EXPECT_TRUE(Cat(i)->isEnabled());
        EXPECT_TRUE(Memo()->isEnabled());
        EXPECT_FALSE(Memo()->isReadOnly());
        EXPECT_FALSE(main_->rptViewRecipes->isEnabled());
        EXPECT_FALSE(main_->btn1->isEnabled());
        EXPECT_FALSE(main_->btnFilter->isEnabled());
        EXPECT_FALSE(main_->btnPrint->isEnabled());
    }
};

TEST_F(RecipeEditorTest, NewRecipeIsSavedTrimmedWithPickedCategoriesAndSelected) {
    Seed(home_.Home(), {{"Zucchini fritters", {"Dessert", "Main"}, {}}});
    Start();
    const int labels = CountRows(home_.Data() + "tbl101.nx1", "tblListLabel");
    ClickButton(Btn("btnNew"));
    ExpectEdit();
    EXPECT_EQ(Title()->text(), "");
    Title()->setText("   Pancakes  ");
    Cat(1)->setEditText("dessert");   // a name typed in another letter case
    Cat(3)->setEditText("Breakfast"); // no such label
    Memo()->setPlainText("2 eggs\n  1 cup milk\n\nMix.");
    prompts_.answer(PromptAnswer::No, "Category \"Breakfast\" does not exist. Create it?");
    ClickButton(Btn("btnSave"));
    EXPECT_TRUE(prompts_.done());
    ExpectBrowse(true);
    EXPECT_EQ(CurrentTitle(), "Pancakes");
    EXPECT_EQ(ListTitles(), (std::vector<std::string>{"Pancakes", "Zucchini fritters"}));
    main_.reset();
    auto stored = Stored(home_.Home());
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[1].title, "Pancakes");
    EXPECT_EQ(stored[1].categories[0], stored[0].categories[0]); // Dessert
    EXPECT_EQ(stored[1].categories[1], -1);
    EXPECT_EQ(stored[1].categories[2], -1); // no label unless the user asks for one
    EXPECT_EQ(stored[1].categories[3], -1);
    EXPECT_EQ(stored[1].text, (std::vector<std::string>{"2 eggs", "  1 cup milk", "", "Mix."}));
    EXPECT_EQ(CountRows(home_.Data() + "tbl101.nx1", "tblListLabel"), labels);
}

TEST_F(RecipeEditorTest, BlankTitleIsRefusedAndEditModeKept) {
    for (const char* title : {"", "    ", "\t "}) {
        SCOPED_TRACE(std::string("title '") + title + "'");
        Start();
        ClickButton(Btn("btnNew"));
        Title()->setText(title);
        Memo()->setPlainText("text");
        prompts_.answer(PromptAnswer::Ok, "You must enter a title for the recipe");
        ClickButton(Btn("btnSave"));
        EXPECT_TRUE(prompts_.done());
        ExpectEdit();
        EXPECT_EQ(main_->ListModel().Count(), 0);
        main_.reset();
        EXPECT_TRUE(Stored(home_.Home()).empty());
    }
}

TEST_F(RecipeEditorTest, EditedTitleMovesItsRowAndKeepsItsIdentifier) {
    auto ids =
        Seed(home_.Home(), {{"Apple pie", {}, {"a"}}, {"Bread", {}, {"b"}}, {"Cake", {}, {"c"}}});
    Start();
    EXPECT_EQ(CurrentTitle(), "Apple pie");
    ClickButton(Btn("btnEdit"));
    ExpectEdit();
    Title()->setText("Zabaglione");
    ClickButton(Btn("btnSave"));
    ExpectBrowse(true);
    EXPECT_EQ(ListTitles(), (std::vector<std::string>{"Bread", "Cake", "Zabaglione"}));
    EXPECT_EQ(CurrentTitle(), "Zabaglione");
    EXPECT_EQ(main_->CurrentRecipe()->InternalID, ids[0]);
    EXPECT_EQ(main_->Summaries().Count(), 3u);
    main_.reset();
    auto stored = Stored(home_.Home());
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[0].title, "Zabaglione");
    EXPECT_EQ(stored[0].text, std::vector<std::string>{"a"});
}

TEST_F(RecipeEditorTest, UndoShowsTheListsRecipeAgain) {
    Seed(home_.Home(), {{"Soup", {"Starter"}, {"water"}}});
    Start();
    ClickButton(Btn("btnEdit"));
    Title()->setText("Changed");
    Cat(1)->setEditText("");
    Memo()->setPlainText("nothing");
    ClickButton(Btn("btnUndo"));
    ExpectBrowse(true);
    EXPECT_EQ(Title()->text(), "Soup");
    EXPECT_EQ(Cat(1)->currentText(), "Starter");
    EXPECT_EQ(Memo()->toPlainText(), "water");
    // New, then Undo: the list's recipe comes back.
    ClickButton(Btn("btnNew"));
    EXPECT_EQ(Title()->text(), "");
    ClickButton(Btn("btnUndo"));
    EXPECT_EQ(Title()->text(), "Soup");
}

TEST_F(RecipeEditorTest, DeleteAsksRemovesBookEntriesAndSelectsFirstRow) {
    auto ids = Seed(home_.Home(), {{"Apple pie", {}, {}}, {"Bread", {}, {}}, {"Cake", {}, {}}});
    SeedBookEntries(home_.Home(), "Sunday", {ids[1], ids[2]});
    SeedBookEntries(home_.Home(), "Baking", {ids[1]});
    Start();
    ClickListRow("Bread");
    EXPECT_EQ(Title()->text(), "Bread");
    // No keeps everything.
    prompts_.answer(PromptAnswer::No, "Are you sure you want to delete this recipe?");
    ClickButton(Btn("btnDelete"));
    EXPECT_EQ(main_->ListModel().Count(), 3);
    EXPECT_EQ(CurrentTitle(), "Bread");
    prompts_
        .answer(PromptAnswer::Yes,
                "If this recipe is in a book, it will also be deleted from the book.")
        .answer(PromptAnswer::Ok, "Recipe Deleted!");
    ClickButton(Btn("btnDelete"));
    EXPECT_TRUE(prompts_.done());
    EXPECT_EQ(ListTitles(), (std::vector<std::string>{"Apple pie", "Cake"}));
    EXPECT_EQ(CurrentTitle(), "Apple pie");
    EXPECT_EQ(Title()->text(), "Apple pie");
    EXPECT_EQ(main_->FindSummary(ids[1]), nullptr);
    ExpectBrowse(true);
    main_.reset();
    EXPECT_EQ(Stored(home_.Home()).size(), 2u);
    EXPECT_EQ(CountRows(home_.Data() + "tbl104.nx1",
                        "tblRecipeInBook WHERE RecipeID=" + std::to_string(ids[1])),
              0);
    EXPECT_EQ(CountRows(home_.Data() + "tbl104.nx1", "tblRecipeInBook"), 1);
}

TEST_F(RecipeEditorTest, DeletingTheOnlyRecipeLeavesAnEmptyPane) {
    Seed(home_.Home(), {{"Soup", {"Starter"}, {"water"}}});
    Start();
    prompts_.answer(PromptAnswer::Yes).answer(PromptAnswer::Ok, "Recipe Deleted!");
    ClickButton(Btn("btnDelete"));
    EXPECT_EQ(main_->ListModel().Count(), 0);
    EXPECT_EQ(main_->CurrentRecipe(), nullptr);
    EXPECT_EQ(Title()->text(), "");
    EXPECT_EQ(Memo()->toPlainText(), "");
    EXPECT_EQ(Cat(1)->currentText(), "");
    ExpectBrowse(false);
    EXPECT_FALSE(main_->btnPrint->isEnabled());
}

TEST_F(RecipeEditorTest, RecipeThatVanishedCannotBeShownDeletedOrSaved) {
    auto ids = Seed(home_.Home(),
                    {{"Apple pie", {}, {"apples"}}, {"Bread", {}, {"flour"}}, {"Cake", {}, {}}});
    Start();
    // Rows vanish behind the window's back before it has looked for changes made elsewhere.
    main_->tmrStoreChanges->stop();
    ExecSql(home_.Data() + "tbl102.nx1",
            "DELETE FROM tblRecipes WHERE InternalID=" + std::to_string(ids[1]));
    // Clicking its row: the store's message, the pane keeps what it showed.
    prompts_.answer(PromptAnswer::Ok, "Unable to find Recipe Record. Contact Support");
    ClickListRow("Bread");
    EXPECT_TRUE(prompts_.done());
    EXPECT_EQ(Title()->text(), "Apple pie");

    // The shown recipe vanishes while it is edited: the save fails, nothing is stored and the
    // edit stays open with what was typed. The save's transaction brought the summaries in
    // line with the table first, so the vanished recipes' rows are gone.
    ExecSql(home_.Data() + "tbl102.nx1",
            "DELETE FROM tblRecipes WHERE InternalID=" + std::to_string(ids[0]));
    ClickButton(Btn("btnEdit"));
    Title()->setText("Apple tart");
    prompts_.answer(PromptAnswer::Ok, "Unable to find Recipe Record. Contact Support");
    ClickButton(Btn("btnSave"));
    EXPECT_TRUE(prompts_.done());
    ExpectEdit();
    EXPECT_EQ(Title()->text(), "Apple tart");
    EXPECT_EQ(main_->Summaries().Find(ids[0]), nullptr);
    EXPECT_EQ(main_->ListModel().Count(), 1);
    EXPECT_FALSE(main_->Store().InTransaction());
    // Undo leaves edit mode and shows the list's recipe.
    ClickButton(Btn("btnUndo"));
    EXPECT_FALSE(main_->fmRecipes->Editing());
    EXPECT_EQ(Title()->text(), "Cake");

    // Deleting a recipe that vanished: told that it cannot be deleted.
    ExecSql(home_.Data() + "tbl102.nx1",
            "DELETE FROM tblRecipes WHERE InternalID=" + std::to_string(ids[2]));
    prompts_.answer(PromptAnswer::Yes)
        .answer(PromptAnswer::Ok, "Unable to delete recipe.  Please exit Larderly and try again");
    ClickButton(Btn("btnDelete"));
    EXPECT_TRUE(prompts_.done());
    EXPECT_EQ(main_->ListModel().Count(), 0);
    EXPECT_FALSE(main_->Store().InTransaction());
    main_.reset();
    EXPECT_EQ(Stored(home_.Home()).size(), 0u);
}

TEST_F(RecipeEditorTest, FailedSaveAndDeleteRollBackAndLeaveListAndPaneUsable) {
    auto ids = Seed(home_.Home(), {{"Apple pie", {}, {"apples"}}});
    SeedBookEntries(home_.Home(), "Sunday", {ids[0]});
    Start();
    // The table engine refuses new rows.
    ExecSql(home_.Data() + "tbl102.nx1", "CREATE TRIGGER no_insert BEFORE INSERT ON tblRecipes "
                                         "BEGIN SELECT RAISE(ABORT, 'disk is full'); END");
    ClickButton(Btn("btnNew"));
    Title()->setText("Bread");
    prompts_.answer(PromptAnswer::Ok, "disk is full");
    ClickButton(Btn("btnSave"));
    EXPECT_TRUE(prompts_.done());
    ExpectEdit();
    EXPECT_EQ(ListTitles(), std::vector<std::string>{"Apple pie"});
    EXPECT_EQ(main_->Summaries().Count(), 1u);
    EXPECT_FALSE(main_->Store().InTransaction());

    // Once the fault is gone the same recipe saves as a new one.
    ExecSql(home_.Data() + "tbl102.nx1", "DROP TRIGGER no_insert");
    ClickButton(Btn("btnSave"));
    ExpectBrowse(true);
    EXPECT_EQ(ListTitles(), (std::vector<std::string>{"Apple pie", "Bread"}));

    // Removing the book entries fails after the recipe row went: all of it is rolled back
    // and the user is not told it was deleted.
    ExecSql(home_.Data() + "tbl104.nx1",
            "CREATE TRIGGER no_delete BEFORE DELETE ON tblRecipeInBook BEGIN SELECT RAISE(ABORT, "
            "'database is locked'); END");
    ClickListRow("Apple pie");
    prompts_.answer(PromptAnswer::Yes).answer(PromptAnswer::Ok, "database is locked");
    ClickButton(Btn("btnDelete"));
    EXPECT_TRUE(prompts_.done());
    for (const auto& a : prompts_.asked())
        EXPECT_NE(a.text, "Recipe Deleted!");
    EXPECT_EQ(ListTitles(), (std::vector<std::string>{"Apple pie", "Bread"}));
    EXPECT_FALSE(main_->Store().InTransaction());
    ExpectBrowse(true);
    main_.reset();
    EXPECT_EQ(Stored(home_.Home()).size(), 2u);
    EXPECT_EQ(CountRows(home_.Data() + "tbl104.nx1", "tblRecipeInBook"), 1);
}

TEST_F(RecipeEditorTest, CloseQueryYesSavesAndEmptyTitleKeepsWindowOpen) {
    Seed(home_.Home(), {{"Soup", {}, {}}});
    Start();
    ClickButton(Btn("btnEdit"));
    Title()->setText("   ");
    prompts_.answer(PromptAnswer::Yes, "Do you want to save your changes?")
        .answer(PromptAnswer::Ok, "You must enter a title for the recipe");
    EXPECT_FALSE(main_->close());
    EXPECT_TRUE(prompts_.done());
    ExpectEdit();
    Title()->setText("Stew");
    prompts_.answer(PromptAnswer::Yes, "Do you want to save your changes?");
    EXPECT_TRUE(main_->close());
    main_.reset();
    auto stored = Stored(home_.Home());
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].title, "Stew");
}

TEST_F(RecipeEditorTest, EnterMovesFocusAlongTheFields) {
    Start();
    main_->activateWindow();
    QApplication::setActiveWindow(main_.get());
    ClickButton(Btn("btnNew"));
    std::vector<QWidget*> chain{Title(), Cat(1), Cat(2), Cat(3), Cat(4), Memo()};
    for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
        chain[i]->setFocus();
        QWidget* target = chain[i];
        if (auto* cb = qobject_cast<QComboBox*>(target)) target = cb->lineEdit();
        QTest::keyClick(target, Qt::Key_Return);
        QWidget* f = QApplication::focusWidget();
        EXPECT_TRUE(f == chain[i + 1] || f->parentWidget() == chain[i + 1])
            << "after " << chain[i]->objectName().toStdString() << " focus is on "
            << (f ? f->objectName().toStdString() : "nothing");
    }
    EXPECT_TRUE(prompts_.asked().empty());
    EXPECT_TRUE(main_->fmRecipes->Editing()); // Enter saves nothing
}

TEST_F(RecipeEditorTest, LabelsAddedLaterAreOfferedAndNeverLostOnSave) {
    Seed(home_.Home(), {{"Soup", {"Starter"}, {}}});
    Start();
    EXPECT_EQ(Cat(2)->count(), 1);
    // Another part of the program (an import) adds labels and a recipe that uses one.
    TfmTables& st = main_->Store();
    int32_t hot = CreateLabel(st, "Hot", 0);
    main_->LabelsChanged();
    EXPECT_EQ(Cat(2)->count(), 2);
    EXPECT_EQ(Cat(2)->itemText(0), "Hot");
    // Without a notification, showing a recipe with an unknown label refills the pickers.
    int32_t cold = CreateLabel(st, "Cold", 0);
    st.ClearBuffers();
    st.RecipeRec.Title = "Gazpacho";
    st.RecipeRec.Category = {cold, hot, -1, -1};
    int32_t id = st.SaveRecipe();
    // The new row became current without loading; the user moves away and back to it.
    ClickListRow("Soup");
    ClickListRow("Gazpacho");
    EXPECT_EQ(Cat(1)->currentText(), "Cold");
    EXPECT_EQ(Cat(2)->currentText(), "Hot");
    ClickButton(Btn("btnEdit"));
    ClickButton(Btn("btnSave"));
    main_.reset();
    bool found = false;
    for (const auto& r : Stored(home_.Home())) {
        if (r.id != id) continue;
        found = true;
        EXPECT_EQ(r.categories, (std::array<int32_t, 4>{cold, hot, -1, -1}));
    }
    EXPECT_TRUE(found);
}

TEST_F(RecipeEditorTest, RefillKeepsWhatAPickerNamesWhileEditing) {
    Seed(home_.Home(), {{"Soup", {"Starter", "Winter"}, {}}});
    Start();
    ClickButton(Btn("btnEdit"));
    Cat(3)->setEditText("Summ"); // typed, names nothing yet
    CreateLabel(main_->Store(), "Autumn", 0);
    main_->LabelsChanged();
    EXPECT_EQ(Cat(1)->currentText(), "Starter");
    EXPECT_EQ(Cat(2)->currentText(), "Winter");
    EXPECT_EQ(Cat(3)->currentText(), "Summ");
    EXPECT_EQ(Cat(1)->count(), 3);
}

} // namespace
} // namespace larderly::test
