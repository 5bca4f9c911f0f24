// The progress window's batches and the help window.
#include "workspace/GuiFixture.h"

#include "gui/GuiSupport.h"
#include "gui/TfmProgress.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeView>

#include <fstream>

namespace larderly::test {
namespace {

TEST(ProgressTest, BarMovesInBatchesOfHundredAndCounterIsShared) {
    App();
    struct Case {
        int max, steps, position, counter;
    };
    for (const Case& c :
         {Case{250, 250, 200, 50}, Case{99, 99, 0, 99}, Case{300, 300, 300, 0}, Case{0, 0, 0, 0}}) {
        TfmProgress p;
        p.SetMax(c.max);
        p.SetPosition(0);
        for (int i = 0; i < c.steps; ++i)
            p.Step();
        EXPECT_EQ(p.Position(), c.position) << c.max;
        EXPECT_EQ(TfmProgress::SharedCounter(), c.counter) << c.max;
    }
    // One counter for every window; a new window resets it.
    TfmProgress a;
    a.SetMax(1000);
    for (int i = 0; i < 60; ++i)
        a.Step();
    TfmProgress b;
    b.SetMax(1000);
    EXPECT_EQ(TfmProgress::SharedCounter(), 0);
    for (int i = 0; i < 60; ++i)
        a.Step();
    for (int i = 0; i < 40; ++i)
        b.Step();
    EXPECT_EQ(b.Position(), 100);
    EXPECT_EQ(a.Position(), 0);
    EXPECT_EQ(a.size(), QSize(368, 57));
    EXPECT_EQ(a.Label1->text(), "Please Wait.....");
}

class HelpTest : public GuiTest {
protected:
    // Presses F1 in the modal window `modal` once its control has the focus, and notes over
    // which window the help opened and the first line it shows (the section's heading).
    void PressF1In(QWidget* modal, QWidget*& helpParent, QString& shownAt) {
        EXPECT_TRUE(QTest::qWaitFor([&] {
            return QApplication::focusWidget() && modal->isAncestorOf(QApplication::focusWidget());
        })) << "a control of the modal window takes the focus";
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "HelpWindow" && w->isVisible()) {
                helpParent = w->parentWidget();
                auto* browser = w->findChild<QTextBrowser*>("HelpBrowser");
                shownAt = browser->cursorForPosition({4, 4}).block().text();
            }
    }
};

TEST_F(HelpTest, ContentsOpensTheHelpFileAtItsContext) {
    std::filesystem::copy_file(std::string(LARDERLY_SOURCE_DIR) + "/src/app/Recipe.hlp",
                               home_.Home() + "Recipe.hlp");
    TfmMain& m = Start();
    EXPECT_EQ(HelpFile(), home_.Home() + "Recipe.hlp");
    TriggerEnabledAction(m.Contents1);
    QTextBrowser* browser = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "HelpWindow" && w->isVisible())
            browser = w->findChild<QTextBrowser*>("HelpBrowser");
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(browser->toPlainText().contains("The main window"));
    // Every context the program opens has its anchor.
    std::ifstream f(home_.Home() + "Recipe.hlp");
    std::string html((std::istreambuf_iterator<char>(f)), {});
    for (int ctx : {1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 41})
        EXPECT_NE(html.find("name=\"context-" + std::to_string(ctx) + "\""), std::string::npos)
            << ctx;
    ClickButton(m.fmRecipes->btnHelp);
    EXPECT_TRUE(prompts_.asked().empty());
}

TEST_F(HelpTest, F1InTheCategoriesWindowOpensItsHelpOverIt) {
    std::filesystem::copy_file(std::string(LARDERLY_SOURCE_DIR) + "/src/app/Recipe.hlp",
                               home_.Home() + "Recipe.hlp");
    TfmMain& m = Start();
    // The help is open over the main window already; F1 in the modal window brings it over.
    TriggerEnabledAction(m.Contents1);
    // The window lives only while it is open: what it is is noted then.
    QWidget* categories = nullptr;
    QWidget* helpParent = nullptr;
    QString categoriesName, shownAt;
    QTimer::singleShot(0, [&] {
        categories = QApplication::activeModalWidget();
        ASSERT_NE(categories, nullptr);
        categoriesName = categories->objectName();
        PressF1In(categories, helpParent, shownAt);
        QTest::keyClick(categories, Qt::Key_Escape);
    });
    TriggerEnabledAction(m.Categories1);
    ASSERT_NE(categories, nullptr);
    EXPECT_EQ(categoriesName, "fmCategories");
    EXPECT_EQ(helpParent, categories);
    EXPECT_EQ(shownAt, "Categories");
}

TEST_F(HelpTest, F1InTheFilterDialogOpensItsHelpOverIt) {
    std::filesystem::copy_file(std::string(LARDERLY_SOURCE_DIR) + "/src/app/Recipe.hlp",
                               home_.Home() + "Recipe.hlp");
    TfmMain& m = Start();
    QWidget* helpParent = nullptr;
    QString shownAt;
    QTimer::singleShot(0, [&] {
        PressF1In(m.fmFilter, helpParent, shownAt);
        QTest::keyClick(m.fmFilter, Qt::Key_Escape);
    });
    QApplication::setActiveWindow(&m);
    QTest::keyClick(&m, Qt::Key_F5);
    EXPECT_EQ(helpParent, m.fmFilter);
    EXPECT_EQ(shownAt, "Filter");
}

TEST_F(HelpTest, HelpNamesWhatTheWindowsOffer) {
    TfmMain& m = Start();
    std::ifstream f(std::string(LARDERLY_SOURCE_DIR) + "/src/app/Recipe.hlp");
    const std::string html((std::istreambuf_iterator<char>(f)), {});
    // The filter's title choices are the dialog's own; it has no "does not contain".
    for (const char* radio : {"rbContains", "rbMatch"}) {
        auto* r = m.fmFilter->findChild<QRadioButton*>(radio);
        ASSERT_NE(r, nullptr);
        EXPECT_NE(html.find("<b>" + r->text().remove('&').toStdString() + "</b>"),
                  std::string::npos)
            << radio;
    }
    EXPECT_EQ(html.find("not contain"), std::string::npos);
    // The import's options by their captions, and its refusal message.
    EXPECT_NE(html.find("Improper Recipe File"), std::string::npos);
    EXPECT_NE(html.find("<b>Skip recipes whose title is already in the collection</b>"),
              std::string::npos);
    // The book pane's buttons by their captions.
    for (const char* b : {"btnAdd", "btnRemove", "btnPrintBook"}) {
        auto* button = m.fmRecipeBook->findChild<QPushButton*>(b);
        ASSERT_NE(button, nullptr);
        QString caption = button->text().remove('&');
        EXPECT_NE(QString::fromStdString(html).simplified().indexOf("<b>" + caption + "</b>"), -1)
            << b;
    }
}

TEST_F(HelpTest, ControlsCarryTheirHelpContexts) {
    TfmMain& m = Start();
    EXPECT_EQ(HelpContextOf(m.fmRecipes->edtTitle), kHelpRecipes);
    EXPECT_EQ(HelpContextOf(m.fmRecipes->btnSave), kHelpRecipes);
    EXPECT_EQ(HelpContextOf(m.rptViewRecipes), kHelpMain);
    EXPECT_EQ(m.Import1->property("helpContext").toInt(), kHelpImport);
}

TEST_F(HelpTest, WithLarderlyHomeTheHelpBesideTheProgramIsUsed) {
    // The program folder (LARDERLY_HOME) holds no help: the copy beside the executable is
    // found, as it is for an installed program in its share folder.
    TfmMain& m = Start();
    EXPECT_EQ(HelpFile(), std::string(LARDERLY_BIN_DIR) + "/Recipe.hlp");
    TriggerEnabledAction(m.Contents1);
    EXPECT_TRUE(prompts_.asked().empty());
}

TEST_F(HelpTest, WithoutHelpFileTheUserIsTold) {
    TfmMain& m = Start();
    SetHelpFile("");
    EXPECT_EQ(HelpFile(), "");
    prompts_.answer(PromptAnswer::Ok, "Recipe.hlp");
    TriggerEnabledAction(m.Contents1);
}

} // namespace
} // namespace larderly::test
