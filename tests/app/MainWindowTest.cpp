// The main window: start-up on an empty and a seeded folder, the settings it writes, the
// tool bar and its commands, pane switching, closing and a start-up that fails.
#include "workspace/GuiFixture.h"

#include "platform/IniFile.h"
#include "workspace/TfmRecipes.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <fstream>

namespace larderly::test {
namespace {

class MainWindowTest : public GuiTest {};

TEST_F(MainWindowTest, EmptyFolderStartsWithEmptyListAndEditorInBrowseMode) {
    TfmMain& m = Start();
    EXPECT_EQ(m.StartupError(), "");
    EXPECT_EQ(m.windowTitle(), "Larderly");
    EXPECT_EQ(m.size(), QSize(800, 600));
    EXPECT_TRUE(std::filesystem::exists(home_.Data() + "tbl102.nx1"));
    EXPECT_EQ(m.ListModel().Count(), 0);
    EXPECT_EQ(m.CurrentRecipe(), nullptr);
    EXPECT_EQ(m.ActivePane(), m.fmRecipes);
    EXPECT_TRUE(Find<QPushButton>("btnNew")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>("btnEdit")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>("btnDelete")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>("btnSave")->isEnabled());
    EXPECT_FALSE(Find<QToolButton>("btnPrint")->isEnabled());
    EXPECT_FALSE(Find<QToolButton>("btnRecipes")->isEnabled());
    EXPECT_TRUE(Find<QToolButton>("btn1")->isEnabled());
    EXPECT_FALSE(Find<QLineEdit>("edtTitle")->isEnabled());
    EXPECT_TRUE(prompts_.asked().empty());
}

TEST_F(MainWindowTest, SettingsHoldTheProgramFolderAfterEveryStart) {
    {
        std::ofstream f(home_.SettingsFile());
        f << "[Recipe]\nApplication Path=C:\\Old\\\n[Backup]\nBPath=/somewhere/\n";
    }
    Start();
    IniFile ini(home_.SettingsFile());
    EXPECT_EQ(ini.ReadString("Recipe", "Application Path", ""), home_.Home());
    EXPECT_EQ(ini.ReadString("Backup", "BPath", ""), "/somewhere/");
}

TEST_F(MainWindowTest, SeededRecipesAreListedInFoldedTitleOrderAndFirstIsLoaded) {
    Seed(home_.Home(), {{"banana bread", {}, {"flour"}},
                        {"Apple pie", {"Dessert"}, {"apples", "pastry"}},
                        {"apple Crumble", {}, {}},
                        {"_Zest", {}, {}}});
    TfmMain& m = Start();
    // Letters a-z fold to upper case: "_" (0x5F) sorts after the letters.
    EXPECT_EQ(ListTitles(),
              (std::vector<std::string>{"apple Crumble", "Apple pie", "banana bread", "_Zest"}));
    EXPECT_EQ(CurrentTitle(), "apple Crumble");
    EXPECT_EQ(Find<QLineEdit>("edtTitle")->text().toStdString(), "apple Crumble");
    EXPECT_TRUE(Find<QPushButton>("btnEdit")->isEnabled());
    EXPECT_TRUE(Find<QPushButton>("btnDelete")->isEnabled());
    EXPECT_EQ(m.rptViewRecipes->model()->headerData(0, Qt::Horizontal).toString(),
              QString(17, ' ') + "Recipes");
}

TEST_F(MainWindowTest, ToolBarHasItsButtonsCaptionsAndShortcuts) {
    TfmMain& m = Start();
    struct Case {
        const char* button;
        const char* caption;
        QKeySequence key;
    };
    for (const Case& c : {Case{"btnFilter", "Filter Recipes (F5)", QKeySequence(Qt::Key_F5)},
                          Case{"btn1", "&Manage Books (F2)", QKeySequence(Qt::Key_F2)},
                          Case{"btnRecipes", "&Manage Recipes (F4)", QKeySequence(Qt::Key_F4)},
                          Case{"btnPrint", "Print Recipe (F6)", QKeySequence(Qt::Key_F6)}}) {
        auto* b = Find<QToolButton>(c.button);
        ASSERT_NE(b, nullptr);
        ASSERT_NE(b->defaultAction(), nullptr) << c.button;
        EXPECT_EQ(b->defaultAction()->text().toStdString(), c.caption) << c.button;
        EXPECT_EQ(b->defaultAction()->shortcut(), c.key) << c.button;
        EXPECT_FALSE(b->toolTip().isEmpty());
    }
    EXPECT_EQ(Find<QToolButton>("btnClose")->text().toStdString(), "&Close Larderly");
    EXPECT_EQ(Find<QToolButton>("btnClose")->toolTip().toStdString(), "Closes Larderly");
    EXPECT_FALSE(m.Timer1->isActive());
}

TEST_F(MainWindowTest, PanesSwitchAndPrintCaptionFollows) {
    TfmMain& m = Start();
    QTest::keyClick(&m, Qt::Key_F2);
    EXPECT_EQ(m.ActivePane(), static_cast<TPane*>(m.fmRecipeBook));
    EXPECT_EQ(m.fmContainer->currentWidget(), m.fmRecipeBook);
    EXPECT_EQ(m.actPrint->text().toStdString(), "Print Recipe In Book (F6)");
    EXPECT_FALSE(m.btn1->isEnabled());
    EXPECT_TRUE(m.btnRecipes->isEnabled());
    // F2 again changes nothing.
    QTest::keyClick(&m, Qt::Key_F2);
    EXPECT_EQ(m.ActivePane(), static_cast<TPane*>(m.fmRecipeBook));
    QTest::keyClick(&m, Qt::Key_F4);
    EXPECT_EQ(m.ActivePane(), static_cast<TPane*>(m.fmRecipes));
    EXPECT_EQ(m.actPrint->text().toStdString(), "Print Recipe (F6)");
    EXPECT_TRUE(m.btn1->isEnabled());
    EXPECT_FALSE(m.btnRecipes->isEnabled());
}

TEST_F(MainWindowTest, CommandsWithoutHandlersStayUnavailableUntilInstalled) {
    Seed(home_.Home(), {{"Soup", {}, {}}});
    TfmMain& m = Start();
    // Start from no handlers at all, whichever the program has registered.
    for (MainCommand c : {MainCommand::Filter, MainCommand::Print, MainCommand::Import,
                          MainCommand::Backup, MainCommand::Restore})
        m.SetCommandHandler(c, {});
    for (QAction* a : {m.actFilter, m.actPrint, m.Import1, m.actBackup, m.actRestore})
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
    int printed = 0, filtered = 0;
    m.SetCommandHandler(MainCommand::Print, [&](TfmMain&) { ++printed; });
    m.SetCommandHandler(MainCommand::Filter, [&](TfmMain&) { ++filtered; });
    m.SetCommandHandler(MainCommand::Import, [](TfmMain&) {});
    EXPECT_TRUE(m.actPrint->isEnabled());
    EXPECT_TRUE(m.Import1->isEnabled());
    QTest::keyClick(&m, Qt::Key_F6);
    QTest::keyClick(&m, Qt::Key_F5);
    EXPECT_EQ(printed, 1);
    EXPECT_EQ(filtered, 1);
    // While a recipe is edited, F5 and F6 do nothing and import waits.
    ClickButton(m.fmRecipes->btnEdit);
    QTest::keyClick(&m, Qt::Key_F6);
    QTest::keyClick(&m, Qt::Key_F5);
    QTest::keyClick(&m, Qt::Key_F2);
    EXPECT_EQ(printed, 1);
    EXPECT_EQ(filtered, 1);
    EXPECT_EQ(m.ActivePane(), static_cast<TPane*>(m.fmRecipes));
    EXPECT_FALSE(m.Import1->isEnabled());
    ClickButton(m.fmRecipes->btnUndo);
    EXPECT_TRUE(m.Import1->isEnabled());
    EXPECT_TRUE(m.actPrint->isEnabled());
}

TEST_F(MainWindowTest, HandlerErrorIsShownAndWindowStays) {
    TfmMain& m = Start();
    m.SetCommandHandler(MainCommand::Backup, {});
    EXPECT_FALSE(Find<QAction>("Backup1")->isEnabled());
    m.SetCommandHandler(MainCommand::Backup,
                        [](TfmMain&) { throw std::runtime_error("Disk full"); });
    EXPECT_TRUE(Find<QAction>("Backup1")->isEnabled());
    EXPECT_EQ(Find<QAction>("Backup1")->text().toStdString(), "&Backup");
    prompts_.answer(PromptAnswer::Ok, "Disk full");
    TriggerEnabledAction(Find<QAction>("Backup1"));
    EXPECT_TRUE(prompts_.done());
    EXPECT_TRUE(m.isVisible());
}

TEST_F(MainWindowTest, CloseButtonWhileEditingAsksAndCancelKeepsWindowOpen) {
    Seed(home_.Home(), {{"Soup", {}, {}}});
    TfmMain& m = Start();
    ClickButton(m.fmRecipes->btnEdit);
    prompts_.answer(PromptAnswer::Cancel, "Do you want to save your changes?");
    ClickButton(m.btnClose);
    EXPECT_TRUE(m.Timer1->isActive());
    QTest::qWait(250);
    EXPECT_TRUE(prompts_.done());
    EXPECT_TRUE(m.isVisible());
    EXPECT_FALSE(m.Timer1->isActive()); // not asked again
    EXPECT_TRUE(m.fmRecipes->Editing());
    QTest::qWait(250);
    EXPECT_EQ(prompts_.asked().size(), 1u);
    // Closing once more asks again; No discards the changes and closes.
    Find<QLineEdit>("edtTitle")->setText("Changed");
    prompts_.answer(PromptAnswer::No, "Do you want to save your changes?");
    EXPECT_TRUE(m.close());
    EXPECT_FALSE(m.isVisible());
    main_.reset();
    auto stored = Stored(home_.Home());
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].title, "Soup");
}

TEST_F(MainWindowTest, CloseButtonInBookPaneClosesWithoutAsking) {
    Seed(home_.Home(), {{"Soup", {}, {}}});
    TfmMain& m = Start();
    TriggerEnabledAction(m.actRecipeBook);
    ClickButton(m.btnClose);
    for (int i = 0; i < 50 && m.isVisible(); ++i)
        QTest::qWait(20);
    EXPECT_FALSE(m.isVisible());
    EXPECT_FALSE(m.Timer1->isActive());
    EXPECT_TRUE(prompts_.asked().empty());
}

TEST_F(MainWindowTest, CloseInBrowseModeAsksNothing) {
    TfmMain& m = Start();
    EXPECT_TRUE(m.close());
    EXPECT_TRUE(prompts_.asked().empty());
}

TEST_F(MainWindowTest, StartupErrorIsShownAndWindowStillOpens) {
    // A data folder holding only some of the table files cannot be opened.
    std::filesystem::create_directories(home_.Data());
    Seed(home_.Home(), {{"Soup", {}, {}}});
    std::filesystem::remove(home_.Data() + "tbl103.nx1");
    prompts_.answer(PromptAnswer::Ok, "tbl103.nx1");
    TfmMain& m = Start();
    EXPECT_TRUE(prompts_.done());
    EXPECT_NE(m.StartupError().find("tbl103.nx1"), std::string::npos);
    EXPECT_TRUE(m.isVisible());
    EXPECT_EQ(m.ActivePane(), nullptr);
    EXPECT_FALSE(m.actRecipes->isEnabled());
    EXPECT_FALSE(m.actRecipeBook->isEnabled());
    // Only what is safe stays offered: Restore, Help and Close.
    for (QAction* off :
         {m.actBackup, m.Categories1, m.Export1, m.Import1, m.actPrint, m.actPrintBook})
        EXPECT_FALSE(off->isEnabled()) << off->text().toStdString();
    for (QAction* on : {m.actRestore, m.Contents1, m.Exit1})
        EXPECT_TRUE(on->isEnabled()) << on->text().toStdString();
    EXPECT_NE(prompts_.asked().back().text.find("Restore a backup"), std::string::npos);
    EXPECT_TRUE(m.close());
}

TEST_F(MainWindowTest, SettingsThatCannotBeWrittenStillShowTheRecipes) {
    Seed(home_.Home(), {{"Soup", {}, {}}});
    // A folder in the settings file's place: no write can replace it (also as root).
    std::filesystem::create_directories(home_.SettingsFile());
    prompts_.answer(PromptAnswer::Ok, "settings (folders, the window's layout) are not kept");
    TfmMain& m = Start();
    EXPECT_TRUE(prompts_.done());
    EXPECT_EQ(m.StartupError(), "");
    EXPECT_NE(m.ActivePane(), nullptr);
    EXPECT_EQ(m.rptViewRecipes->model()->rowCount(), 1);
    EXPECT_TRUE(m.actBackup->isEnabled());
}

TEST_F(MainWindowTest, WelcomeWindowComesFirstAndClosesWithItsButton) {
    bool seen = false;
    QTimer::singleShot(0, [&] {
        QWidget* w = QApplication::activeModalWidget();
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->objectName(), "fmAd");
        EXPECT_EQ(w->windowTitle(), "Welcome to Larderly");
        // Start-up waits for the welcome window: the store is not open yet.
        EXPECT_FALSE(std::filesystem::exists(home_.Data()));
        seen = true;
        auto* close = w->findChild<QPushButton*>("btnDelete");
        ASSERT_NE(close, nullptr);
        EXPECT_EQ(close->text(), "Close");
        ClickButton(close);
    });
    TfmMain& m = Start(true);
    EXPECT_TRUE(seen);
    EXPECT_EQ(m.StartupError(), "");
}

TEST_F(MainWindowTest, DontShowThisAgainKeepsTheWelcomeWindowAway) {
    int shown = 0;
    auto answerWelcome = [&](bool dontShow) {
        QTimer::singleShot(0, [&, dontShow] {
            QWidget* w = QApplication::activeModalWidget();
            if (!w || w->objectName() != "fmAd") return;
            ++shown;
            auto* box = w->findChild<QCheckBox*>("cboxDontShow");
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->text(), "&Don't show this again");
            EXPECT_FALSE(box->isChecked());
            if (dontShow) QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
            EXPECT_EQ(box->isChecked(), dontShow);
            QTest::mouseClick(w->findChild<QPushButton*>("btnDelete"), Qt::LeftButton);
        });
    };
    // Closed without the tick: the next start shows it again.
    answerWelcome(false);
    Start(true);
    main_.reset();
    answerWelcome(true);
    Start(true);
    main_.reset();
    EXPECT_EQ(shown, 2);
    answerWelcome(false);
    TfmMain& m = Start(true);
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(m.StartupError(), "");
}

} // namespace
} // namespace larderly::test
