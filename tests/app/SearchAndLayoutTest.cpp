// The search above the recipe list, the status line under it, and the layout the main
// window remembers between runs.
#include "workspace/GuiFixture.h"

#include "platform/IniFile.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolButton>
#include <QTreeView>

#include <gmock/gmock.h>

#include <filesystem>

namespace larderly::test {
namespace {

using ::testing::ElementsAre;

class SearchAndLayoutTest : public GuiTest {
protected:
    std::vector<SeedRecipe> Recipes() {
        return {{"Tomato basil soup", {"Soups"}, {"Simmer the tomatoes."}},
                {"Leek Soup", {"Soups"}, {"Sweat the leeks in butter."}},
                {"Basil pesto", {}, {"Pound the basil with pine nuts."}},
                {"Crème brûlée", {"Desserts"}, {"Burn the sugar."}}};
    }
    QLineEdit* Search() { return Find<QLineEdit>("edtSearch"); }
    std::string Status() { return Find<QLabel>("lblListStatus")->text().toStdString(); }
    bool Marked() {
        return Find<QLabel>("lblNarrowed")->isVisible() &&
               Find<QToolButton>("btnShowAll")->isVisible();
    }
    // Types into the focused search field and waits for the list to follow the pause.
    void Type(const char* text) {
        QTest::keyClicks(Search(), text);
        QTest::qWait(400);
    }
    void FocusSearch() {
        main_->activateWindow();
        QTest::keyClick(main_.get(), Qt::Key_F, Qt::ControlModifier);
        EXPECT_EQ(QApplication::focusWidget(), Search()) << "Ctrl+F goes to the search";
    }
    std::string EditorTitle() { return Find<QLineEdit>("edtTitle")->text().toStdString(); }
};

TEST_F(SearchAndLayoutTest, TypingNarrowsTheListAndTheEditorFollowsEscapeClears) {
    Seed(home_.Home(), Recipes());
    TfmMain& m = Start();
    EXPECT_EQ(Status(), "4 of 4 recipes");
    EXPECT_FALSE(Marked());
    m.rptViewRecipes->setFocus();
    FocusSearch();

    // Word prefixes, in any order, in the title or the text; case and accents ignored.
    struct Case {
        const char* typed;
        std::vector<std::string> titles;
    };
    for (const Case& c : {Case{"tom bas", {"Tomato basil soup"}},
                          Case{"BASIL", {"Basil pesto", "Tomato basil soup"}},
                          Case{"pine", {"Basil pesto"}}, Case{"creme BRU", {"Crème brûlée"}},
                          Case{"soup leek", {"Leek Soup"}}, Case{"nothing", {}}}) {
        QTest::keyClick(Search(), Qt::Key_A, Qt::ControlModifier);
        Type(c.typed);
        EXPECT_EQ(ListTitles(), c.titles) << c.typed;
        const std::string first = c.titles.empty() ? "<none>" : c.titles.front();
        EXPECT_EQ(CurrentTitle(), first) << c.typed;
        EXPECT_EQ(EditorTitle(), c.titles.empty() ? "" : first) << "the editor follows the list";
        EXPECT_EQ(Find<QPushButton>("btnDelete")->isEnabled(), !c.titles.empty()) << c.typed;
        EXPECT_EQ(Status(), std::to_string(c.titles.size()) + " of 4 recipes") << c.typed;
        EXPECT_TRUE(Marked()) << c.typed;
    }

    QTest::keyClick(Search(), Qt::Key_Escape);
    EXPECT_EQ(Search()->text(), "");
    EXPECT_EQ(ListTitles().size(), 4u) << "Escape shows every recipe at once";
    EXPECT_EQ(Status(), "4 of 4 recipes");
    EXPECT_FALSE(Marked());
    EXPECT_EQ(EditorTitle(), CurrentTitle());
}

TEST_F(SearchAndLayoutTest, ALostIndexIsRebuiltAtTheStartAndTheStatusBarSaysSo) {
    Seed(home_.Home(), Recipes());
    ASSERT_TRUE(std::filesystem::remove(home_.Home() + "data/search.idx"));
    ASSERT_TRUE(std::filesystem::remove(home_.Home() + "data/ingredients.idx"));
    TfmMain& m = Start();
    // The search index is built first, then the ingredient index, whose word stays.
    EXPECT_EQ(m.statusBar()->currentMessage().toStdString(), "The ingredient index is rebuilt.");
    EXPECT_TRUE(std::filesystem::exists(home_.Home() + "data/ingredients.idx"))
        << "the window takes both indexes at its start, not at the first save";
    m.rptViewRecipes->setFocus();
    FocusSearch();
    Type("leek");
    EXPECT_THAT(ListTitles(), ElementsAre("Leek Soup")) << "the rebuilt index finds the recipe";
    // An index in step is not built again.
    main_.reset();
    TfmMain& again = Start();
    EXPECT_EQ(again.statusBar()->currentMessage().toStdString(), "");
}

TEST_F(SearchAndLayoutTest, IngredientWordsAskTheIngredientsOnly) {
    Seed(home_.Home(), {{"Leek Soup", {}, {"3 leeks, sliced", "2 potatoes", "Simmer."}},
                        {"Potato gratin", {}, {"1 kg potatoes", "Serve with leek salad."}},
                        {"Leek tart", {}, {"2 leeks", "1 pie crust"}}});
    Start();
    FocusSearch();
    struct Case {
        const char* typed;
        std::vector<std::string> titles;
    };
    for (const Case& c :
         {Case{"ingredient:leeks", {"Leek Soup", "Leek tart"}},
          Case{"INGREDIENT:potato ingredient:leek", {"Leek Soup"}},
          Case{"ingredient:leek tart", {"Leek tart"}}, Case{"ingredient:salad", {}}}) {
        QTest::keyClick(Search(), Qt::Key_A, Qt::ControlModifier);
        Type(c.typed);
        EXPECT_EQ(ListTitles(), c.titles) << c.typed;
    }
}

TEST_F(SearchAndLayoutTest, SearchAndFilterCombineAndShowAllClearsBoth) {
    Seed(home_.Home(), Recipes());
    TfmMain& m = Start();
    // The filter: titles containing "soup".
    m.fmFilter->ShowModal = [](TfmFilter& d) {
        ClickButton(d.findChild<QCheckBox*>("cboxTitle"));
        d.findChild<QLineEdit*>("edtTitle")->setText("soup");
        ClickButton(d.findChild<QPushButton*>("btnEdit"));
        return d.result();
    };
    QTest::keyClick(main_.get(), Qt::Key_F5);
    EXPECT_THAT(ListTitles(), ElementsAre("Leek Soup", "Tomato basil soup"));
    EXPECT_EQ(Status(), "2 of 4 recipes");
    EXPECT_TRUE(Marked()) << "the filter alone marks the list";

    FocusSearch();
    Type("basil");
    EXPECT_THAT(ListTitles(), ElementsAre("Tomato basil soup")) << "both must match";
    EXPECT_EQ(EditorTitle(), "Tomato basil soup");

    // One click clears the search and the filter.
    QToolButton* showAll = Find<QToolButton>("btnShowAll");
    QTest::mouseClick(showAll, Qt::LeftButton, {}, showAll->rect().center());
    EXPECT_EQ(ListTitles().size(), 4u);
    EXPECT_EQ(Search()->text(), "");
    EXPECT_EQ(m.fmFilter->State(), TFilterState{});
    EXPECT_FALSE(m.fmFilter->findChild<QCheckBox*>("cboxTitle")->isChecked());
    EXPECT_FALSE(Marked());

    // And so does Ctrl+Shift+F, wherever the focus is.
    FocusSearch();
    Type("leek");
    EXPECT_THAT(ListTitles(), ElementsAre("Leek Soup"));
    m.rptViewRecipes->setFocus();
    QTest::keyClick(m.rptViewRecipes, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(ListTitles().size(), 4u);
    EXPECT_EQ(Search()->text(), "");
    EXPECT_EQ(Status(), "4 of 4 recipes");
}

TEST_F(SearchAndLayoutTest, StatusFollowsSavesAndDeletesAndSearchWaitsWhileEditing) {
    Seed(home_.Home(), Recipes());
    TfmMain& m = Start();
    FocusSearch();
    Type("soup");
    EXPECT_EQ(Status(), "2 of 4 recipes");

    // Delete the shown recipe: the status counts one less of both.
    prompts_.answer(PromptAnswer::Yes).answer(PromptAnswer::Ok, "Recipe Deleted!");
    QPushButton* del = Find<QPushButton>("btnDelete");
    QTest::mouseClick(del, Qt::LeftButton, {}, del->rect().center());
    EXPECT_EQ(Status(), "1 of 3 recipes");
    EXPECT_EQ(EditorTitle(), CurrentTitle());

    // While a recipe is edited the search cannot change the list.
    QPushButton* edit = Find<QPushButton>("btnEdit");
    QTest::mouseClick(edit, Qt::LeftButton, {}, edit->rect().center());
    EXPECT_FALSE(Search()->isEnabled());
    EXPECT_FALSE(m.fmRecipeList->actShowAll->isEnabled());
    QPushButton* undo = Find<QPushButton>("btnUndo");
    QTest::mouseClick(undo, Qt::LeftButton, {}, undo->rect().center());
    EXPECT_TRUE(Search()->isEnabled());
    EXPECT_TRUE(m.fmRecipeList->actShowAll->isEnabled());
}

TEST_F(SearchAndLayoutTest, WithoutAnIndexTheSearchIsUnavailableAndSaysWhy) {
    Seed(home_.Home(), Recipes());
    std::filesystem::remove(home_.Data() + "search.idx");
    std::filesystem::create_directories(home_.Data() + "search.idx/in-the-way");
    TfmMain& m = Start();
    EXPECT_FALSE(Search()->isEnabled());
    EXPECT_TRUE(Search()->toolTip().startsWith("Search is unavailable"));
    EXPECT_EQ(ListTitles().size(), 4u);
    EXPECT_EQ(Status(), "4 of 4 recipes");
    EXPECT_TRUE(m.rptViewRecipes->isEnabled());
}

TEST_F(SearchAndLayoutTest, ImportedRecipesJoinTheListWhereTheSearchLetsThem) {
    Seed(home_.Home(), {{"Soup", {"Starters"}, {"Boil."}}});
    TfmMain& m = Start();
    FocusSearch();
    Type("pancake");
    EXPECT_TRUE(ListTitles().empty());
    prompts_.AnswerOpen({std::string(LARDERLY_SOURCE_DIR) + "/tests/data/import/mastercook.mxp"},
                        "Import Recipe File");
    TriggerEnabledAction(m.Import1);
    QApplication::processEvents();
    EXPECT_THAT(ListTitles(), ElementsAre("Pancakes"));
    EXPECT_EQ(EditorTitle(), "Pancakes");
    EXPECT_EQ(Status(), "1 of 3 recipes");
}

TEST_F(SearchAndLayoutTest, LayoutIsSavedAtCloseAndRestoredAtTheNextStart) {
    Seed(home_.Home(), Recipes());
    const std::string importDir = home_.Home() + "imports/";
    std::filesystem::create_directories(importDir);
    {
        TfmMain& m = Start();
        EXPECT_EQ(m.splMain->sizes().front(), 250) << "the list starts 250 wide";
        EXPECT_EQ(m.ImportFolder(), home_.Home());
        m.resize(780, 560);
        m.move(30, 40);
        QApplication::processEvents();
        // The editor pane keeps its own minimum width: the list can grow until it.
        m.splMain->setSizes({265, m.splMain->width() - 265});
        m.SetImportFolder(importDir);
        m.SetExportFolder("/tmp/out/");
        FocusSearch();
        Type("soup");
        m.close();
    }
    IniFile ini(home_.SettingsFile());
    EXPECT_EQ(ini.ReadInteger("Layout", "Width", 0), 780);
    EXPECT_EQ(ini.ReadInteger("Layout", "Height", 0), 560);
    EXPECT_EQ(ini.ReadInteger("Layout", "ListWidth", 0), 265);
    EXPECT_EQ(ini.ReadString("Layout", "Search", ""), "soup");
    EXPECT_EQ(ini.ReadString("Recipe", "Application Path", ""), home_.Home()) << "kept";

    TfmMain& m = Start();
    EXPECT_EQ(m.size(), QSize(780, 560));
    EXPECT_EQ(m.pos(), QPoint(30, 40));
    EXPECT_EQ(m.splMain->sizes().front(), 265);
    EXPECT_EQ(m.ImportFolder(), importDir);
    EXPECT_EQ(m.ExportFolder(), "/tmp/out/");
    EXPECT_EQ(Search()->text(), "soup");
    EXPECT_THAT(ListTitles(), ElementsAre("Leek Soup", "Tomato basil soup"));
    EXPECT_EQ(Status(), "2 of 4 recipes");
    EXPECT_EQ(EditorTitle(), "Leek Soup");
}

TEST_F(SearchAndLayoutTest, PositionOffEveryScreenAndAGoneImportFolderAreIgnored) {
    IniFile::WriteValue(home_.SettingsFile(), "Layout", "Left", "-9000");
    IniFile::WriteValue(home_.SettingsFile(), "Layout", "Top", "12000");
    IniFile::WriteValue(home_.SettingsFile(), "Layout", "Width", "640");
    IniFile::WriteValue(home_.SettingsFile(), "Layout", "Height", "480");
    IniFile::WriteValue(home_.SettingsFile(), "Layout", "ImportFolder", "/no/such/folder/");
    TfmMain& m = Start();
    EXPECT_EQ(m.size(), QSize(640, 480));
    const QPoint centred =
        QGuiApplication::primaryScreen()->availableGeometry().center() - QPoint(320, 240);
    EXPECT_EQ(m.pos(), centred);
    EXPECT_EQ(m.ImportFolder(), home_.Home());
}

TEST_F(SearchAndLayoutTest, AnEmptyCollectionSaysHowToBegin) {
    TfmMain& m = Start();
    auto* view = dynamic_cast<RecipeListView*>(m.rptViewRecipes);
    ASSERT_NE(view, nullptr);
    EXPECT_THAT(
        view->EmptyText().toStdString(),
        ::testing::AllOf(::testing::HasSubstr("New"), ::testing::HasSubstr("File > Import")));
    // The text is drawn in the list.
    const QImage shown = view->viewport()->grab().toImage();
    const QRgb background = shown.pixel(shown.width() - 2, shown.height() - 2);
    int drawn = 0;
    for (int y = 0; y < shown.height() / 2; ++y)
        for (int x = 0; x < shown.width(); ++x)
            drawn += shown.pixel(x, y) != background;
    EXPECT_GT(drawn, 50);
    // The first recipe takes the text away.
    QTest::mouseClick(Find<QPushButton>("btnNew"), Qt::LeftButton);
    QTest::keyClicks(Find<QLineEdit>("edtTitle"), "Soup");
    QTest::mouseClick(Find<QPushButton>("btnSave"), Qt::LeftButton);
    EXPECT_EQ(view->EmptyText(), "");
}

TEST_F(SearchAndLayoutTest, EverythingStaysReachableFromDefaultToMinimumSize) {
    Seed(home_.Home(), {{std::string(140, 'W') + " pie", {}, {}}, {"Soup", {}, {}}});
    TfmMain& m = Start();
    QApplication::processEvents();
    EXPECT_FALSE(m.rptViewRecipes->horizontalScrollBar()->isVisible())
        << "a long title does not widen the list past its side";

    // The smallest the window goes, with the list at its narrowest.
    m.resize(1, 1);
    auto* splitter = Find<QSplitter>("splMain");
    splitter->setSizes({1, 10000});
    QApplication::processEvents();
    QWidget* bar = Find<QWidget>("Panel3");
    std::vector<QRect> taken;
    for (const char* name : {"btnFilter", "btn1", "btnRecipes", "btnPrint", "btnClose"}) {
        QToolButton* b = Find<QToolButton>(name);
        EXPECT_TRUE(b->isVisible()) << name;
        EXPECT_TRUE(bar->rect().contains(b->geometry())) << name << " lies outside the bar";
        for (const QRect& other : taken)
            EXPECT_FALSE(other.intersects(b->geometry())) << name << " covers another button";
        taken.push_back(b->geometry());
    }
    QLabel* status = Find<QLabel>("lblListStatus");
    EXPECT_EQ(Status(), "2 of 2 recipes");
    EXPECT_LE(status->heightForWidth(status->width()), status->height())
        << "the status line is cut at " << status->width() << " pixels";
    const QFontMetrics fm(status->font());
    for (const QString& word : QString::fromStdString(Status()).split(' '))
        EXPECT_LE(fm.horizontalAdvance(word), status->contentsRect().width()) << word.toStdString();
}

} // namespace
} // namespace larderly::test
