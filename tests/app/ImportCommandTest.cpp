// File > Import in the main window: the chosen files are imported, the list shows the new
// recipes, the caption comes back, the editor's category picker offers the new categories,
// and a refused file is named in a message.
#include "workspace/GuiFixture.h"

#include <QComboBox>
#include <QLabel>
#include <QSignalSpy>

namespace larderly::test {
namespace {

class ImportCommandTest : public GuiTest {};

std::string Fixture(const std::string& name) {
    return std::string(LARDERLY_SOURCE_DIR) + "/tests/data/import/" + name;
}

TEST_F(ImportCommandTest, ImportedRecipesAppearWithTheirCategories) {
    Seed(home_.Home(), {{"Soup", {"Starters"}, {"Boil."}}});
    TfmMain& m = Start();
    ASSERT_TRUE(m.HasCommandHandler(MainCommand::Import));
    ASSERT_TRUE(m.Import1->isEnabled());
    const int picks = Find<QComboBox>("cbCategory1")->count();
    prompts_.AnswerOpen({Fixture("mastercook.mxp"), Fixture("not-a-recipe.txt")},
                        "Import Recipe File");
    prompts_.answer(PromptAnswer::Ok, "Improper Recipe File");
    TriggerEnabledAction(m.Import1);
    QApplication::processEvents();
    std::vector<std::string> titles = ListTitles();
    EXPECT_EQ(titles.size(), 3u);
    EXPECT_NE(std::find(titles.begin(), titles.end(), "Pancakes"), titles.end());
    EXPECT_EQ(m.windowTitle().toStdString(), "Larderly");
    // The categories the import created can be picked at once.
    EXPECT_GT(Find<QComboBox>("cbCategory1")->count(), picks);
    EXPECT_NE(Find<QComboBox>("cbCategory1")->findText("Breakfast", Qt::MatchFixedString), -1);
    EXPECT_EQ(Stored(home_.Home()).size(), 3u);
    EXPECT_EQ(Find<QLabel>("lblListStatus")->text().toStdString(), "3 of 3 recipes");
    // The next import starts in the folder these files came from.
    EXPECT_EQ(m.ImportFolder(), Fixture(""));
}

// The list is filled once after an import, however many files committed on the way: as
// often as showing the list anew fills it.
TEST_F(ImportCommandTest, AnImportFillsTheListOnce) {
    Seed(home_.Home(), {{"Soup", {}, {"Boil."}}});
    TfmMain& m = Start();
    QSignalSpy fills(&m.ListModel(), &QAbstractItemModel::modelReset);
    m.ShowRecipeList();
    const qsizetype perShow = fills.count();
    fills.clear();
    prompts_.AnswerOpen({Fixture("mastercook.mxp"), Fixture("mealmaster-dashes.mmf")},
                        "Import Recipe File");
    TriggerEnabledAction(m.Import1);
    QApplication::processEvents();
    ASSERT_GT(Stored(home_.Home()).size(), 3u);
    EXPECT_EQ(fills.count(), perShow);
    EXPECT_EQ(ListTitles().size(), Stored(home_.Home()).size());
    EXPECT_EQ(CurrentTitle(), ListTitles().front());
}

// A file stopped by a title already in it is rolled back with the categories it created: they
// are not stored, and no picker ever offered them meanwhile.
TEST_F(ImportCommandTest, ARolledBackFileLeavesNoCategoryToPick) {
    Seed(home_.Home(), {{"Soup", {"Starters"}, {"Boil."}}});
    TfmMain& m = Start();
    auto* picker = Find<QComboBox>("cbCategory1");
    const int picks = picker->count();
    prompts_.AnswerOpen({Fixture("mealmaster-fifth-duplicate.mmf")});
    prompts_.answer(PromptAnswer::Ok, "Recipe \"TWO\" appears twice in " +
                                          Fixture("mealmaster-fifth-duplicate.mmf") +
                                          "; nothing was imported from");
    TriggerEnabledAction(m.Import1);
    QApplication::processEvents();
    EXPECT_EQ(ListTitles(), std::vector<std::string>{"Soup"});
    EXPECT_EQ(picker->count(), picks);
    for (const char* name : {"Cat0", "Cat1", "Cat2", "Cat3"}) {
        EXPECT_EQ(picker->findText(name, Qt::MatchFixedString), -1) << name;
        EXPECT_EQ(FindLabelByName(m.Store(), name), -1) << name;
    }
    EXPECT_TRUE(prompts_.done());
    EXPECT_TRUE(prompts_.failures().empty());
}

TEST_F(ImportCommandTest, NoFileChosenChangesNothing) {
    Seed(home_.Home(), {{"Soup", {}, {}}});
    TfmMain& m = Start();
    prompts_.AnswerOpen({});
    TriggerEnabledAction(m.Import1);
    QApplication::processEvents();
    EXPECT_EQ(ListTitles(), std::vector<std::string>{"Soup"});
    EXPECT_EQ(m.ImportFolder(), home_.Home());
}

} // namespace
} // namespace larderly::test
