// The shopping-list window driven by real input: opened by the book pane's button and by the
// list's menu command and shortcut, ticking an item with the mouse and the Space key, the
// Servings box, Save as Text, Copy, Print into a PDF file and F1.
#include "workspace/GuiFixture.h"

#include "RunCommand.h"

#include "print/ReportDialogs.h"
#include "workspace/TfmShoppingList.h"

#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTreeView>
#include <QTreeWidget>

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace larderly::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

const std::vector<std::string> kSoup = {"Serving Size  : 4",
                                        "",
                                        "      2    Onions; chopped",
                                        "      2 tb Butter",
                                        "      1 c  Milk",
                                        "",
                                        "  Cook."};
const std::vector<std::string> kPie = {
    "Servings: 2", "", "      1    Onion", "      1 tb Butter", "    200 g  Flour", "", "  Bake."};
const std::vector<std::string> kCake = {"Servings: 8", "", "      3    Eggs", "", "  Bake."};

class ShoppingListWindowTest : public GuiTest {
protected:
    TfmMain& StartActive() {
        TfmMain& m = Start();
        QApplication::setActiveWindow(&m);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&m));
        return m;
    }
    TfmShoppingList* Window() {
        TfmShoppingList* w = nullptr;
        EXPECT_TRUE(QTest::qWaitFor([&] {
            w = main_->findChild<TfmShoppingList*>("fmShoppingList");
            return w && w->isVisible();
        })) << "the shopping list window opens";
        if (!w) return nullptr;
        QApplication::setActiveWindow(w);
        EXPECT_TRUE(QTest::qWaitForWindowActive(w));
        return w;
    }
    template <typename T> T* In(TfmShoppingList* w, const char* name) {
        T* c = w->findChild<T*>(name);
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    // What the list shows: "aisle" rows and "  [x] item | amount" rows, top to bottom.
    std::vector<std::string> Shown(TfmShoppingList* w) {
        std::vector<std::string> out;
        auto* tree = In<QTreeWidget>(w, "tvItems");
        for (int a = 0; a < tree->topLevelItemCount(); ++a) {
            QTreeWidgetItem* aisle = tree->topLevelItem(a);
            out.push_back(aisle->text(0).toStdString());
            for (int i = 0; i < aisle->childCount(); ++i) {
                QTreeWidgetItem* item = aisle->child(i);
                const bool ticked = item->checkState(0) == Qt::Checked;
                EXPECT_EQ(item->font(0).strikeOut(), ticked) << item->text(0).toStdString();
                out.push_back(std::string(ticked ? "  [x] " : "  [ ] ") +
                              item->text(0).toStdString() + " | " + item->text(1).toStdString());
            }
        }
        return out;
    }
    // Clicks the row of `item` in the list's viewport, then presses Space on it.
    void Tick(TfmShoppingList* w, const char* item) {
        auto* tree = In<QTreeWidget>(w, "tvItems");
        const auto found = tree->findItems(item, Qt::MatchExactly | Qt::MatchRecursive);
        ASSERT_EQ(found.size(), 1) << item;
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                          tree->visualItemRect(found[0]).center());
        ASSERT_EQ(tree->currentItem(), found[0]);
        QTest::keyClick(tree, Qt::Key_Space);
    }
    std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

TEST_F(ShoppingListWindowTest, BookButtonListsTheBooksRecipesAddedUpByAisleAndSavesWhatIsLeft) {
    const auto ids =
        Seed(home_.Home(), {{"Soup", {}, kSoup}, {"Pie", {}, kPie}, {"Cake", {}, kCake}});
    SeedBookEntries(home_.Home(), "Weekday", {ids[0], ids[1]});
    StartActive();
    QTest::keyClick(main_.get(), Qt::Key_F2);
    auto* button = main_->fmRecipeBook->findChild<QPushButton*>("btnShoppingList");
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isEnabled());
    ClickButton(button);
    TfmShoppingList* w = Window();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(In<QLabel>(w, "lblSource")->text().toStdString(), "Book: Weekday");
    // The eggs of the recipe outside the book are not listed; onions and butter are added up.
    EXPECT_THAT(Shown(w),
                ElementsAre("produce", "  [ ] Onion | 3", "dairy", "  [ ] Butter | 3 tbsp",
                            "  [ ] Milk | 1 cup", "baking", "  [ ] Flour | 200 g"));

    Tick(w, "Butter");
    EXPECT_THAT(Shown(w), ::testing::Contains("  [x] Butter | 3 tbsp"));
    // Space again takes the tick off; a third press puts it back.
    QTest::keyClick(In<QTreeWidget>(w, "tvItems"), Qt::Key_Space);
    EXPECT_THAT(Shown(w), ::testing::Contains("  [ ] Butter | 3 tbsp"));
    QTest::keyClick(In<QTreeWidget>(w, "tvItems"), Qt::Key_Space);

    const std::string file = home_.Home() + "list.txt";
    prompts_.AnswerSave(file, "Save Shopping List");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_T, Qt::AltModifier); // Save as &Text
    // The mnemonic presses the button as a click would, after a moment.
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(file); }))
        << "the text file is written";
    const std::string expected = "Shopping List: Book: Weekday\n"
                                 "\nproduce\n  3 Onion\n"
                                 "\ndairy\n  1 cup Milk\n"
                                 "\nbaking\n  200 g Flour\n";
    EXPECT_EQ(ReadFile(file), expected);
    ClickButton(In<QPushButton>(w, "btnCopy"));
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), expected);

    // A folder in the way of the file: the message names the cause and the folder stays.
    std::filesystem::create_directory(home_.Home() + "taken.txt");
    prompts_.AnswerSave(home_.Home() + "taken.txt", "Save Shopping List");
    prompts_.answer(PromptAnswer::Ok, "taken.txt");
    ClickButton(In<QPushButton>(w, "btnSave"));
    EXPECT_TRUE(std::filesystem::is_directory(home_.Home() + "taken.txt"));
}

TEST_F(ShoppingListWindowTest, ServingsScaleEachRecipeAndTicksStay) {
    const auto ids = Seed(home_.Home(), {{"Soup", {}, kSoup}, {"Pie", {}, kPie}});
    SeedBookEntries(home_.Home(), "Both", ids);
    StartActive();
    QTest::keyClick(main_.get(), Qt::Key_F2);
    ClickButton(main_->fmRecipeBook->findChild<QPushButton*>("btnShoppingList"));
    TfmShoppingList* w = Window();
    ASSERT_NE(w, nullptr);
    Tick(w, "Milk");
    // Four servings: the soup (4) as written, the pie (2) doubled.
    auto* servings = In<QSpinBox>(w, "edtServings");
    QTest::keyClick(w, Qt::Key_S, Qt::AltModifier); // &Servings
    ASSERT_TRUE(servings->hasFocus() || servings->findChild<QLineEdit*>()->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), "4");
    EXPECT_EQ(servings->value(), 4);
    EXPECT_THAT(Shown(w),
                ElementsAre("produce", "  [ ] Onion | 4", "dairy", "  [ ] Butter | 4 tbsp",
                            "  [x] Milk | 1 cup", "baking", "  [ ] Flour | 400 g"));
    EXPECT_THAT(w->ListText(), HasSubstr("(4 servings)"));
}

TEST_F(ShoppingListWindowTest, ListCommandTakesTheSelectedRecipePrintsAndOpensItsHelp) {
    std::filesystem::copy_file(std::string(LARDERLY_SOURCE_DIR) + "/src/app/Recipe.hlp",
                               home_.Home() + "Recipe.hlp");
    Seed(home_.Home(), {{"Cake", {}, kCake}, {"Soup", {}, kSoup}});
    TfmMain& m = StartActive();
    QTreeView* list = m.rptViewRecipes;
    ClickListRow(1);
    ASSERT_EQ(CurrentTitle(), "Soup");
    // The command is in the File menu with its shortcut.
    QAction* entry = nullptr;
    for (QAction* a : m.findChild<QMenu*>("File1")->actions())
        if (a->text().startsWith("Shopping")) entry = a;
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_L));
    QTest::keyClick(list, Qt::Key_L, Qt::ControlModifier);
    TfmShoppingList* w = Window();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(In<QLabel>(w, "lblSource")->text().toStdString(), "Soup");
    EXPECT_THAT(Shown(w), ElementsAre("produce", "  [ ] Onions | 2", "dairy",
                                      "  [ ] Butter | 2 tbsp", "  [ ] Milk | 1 cup"));

    TReportSystem& rs = TReportSystem::Of(m);
    rs.RunSetup = [](TReportSetup& s, QPrinter&) {
        s.Preview = false;
        return true;
    };
    rs.OutputFile = home_.Home() + "list.pdf";
    Tick(w, "Onions");
    ClickButton(In<QPushButton>(w, "btnPrint"));
    ASSERT_TRUE(std::filesystem::exists(rs.OutputFile));
    const auto text = larderly::testing::RunCommand("pdftotext -layout '" + rs.OutputFile + "' -");
    EXPECT_THAT(text.out, HasSubstr("Shopping List: Soup"));
    EXPECT_THAT(text.out, HasSubstr("2 tbsp"));
    EXPECT_THAT(text.out, HasSubstr("Milk"));
    EXPECT_EQ(text.out.find("Onion"), std::string::npos) << "a ticked item is not printed";

    QTest::keyClick(In<QTreeWidget>(w, "tvItems"), Qt::Key_F1);
    QTextBrowser* help = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->objectName() == "HelpWindow" && top->isVisible())
            help = top->findChild<QTextBrowser*>("HelpBrowser");
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->cursorForPosition({4, 4}).block().text().toStdString(), "Shopping list");
}

} // namespace
} // namespace larderly::test
