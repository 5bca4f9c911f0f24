// User workflows driven by real input events: mouse presses and clicks on a row's rectangle
// in the recipe list's viewport, keys sent to the focused widget, the real buttons, menus
// and shortcuts. Each checks what the window shows and what the store holds.
#include "workspace/GuiFixture.h"

#include "print/ReportDialogs.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <gmock/gmock.h>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>

namespace larderly::test {
namespace {

using ::testing::ElementsAre;

const std::vector<std::string> kNames = {
    "Alpha",   "Bravo", "Charlie", "Delta",  "Echo",     "Foxtrot", "Golf",   "Hotel",  "India",
    "Juliett", "Kilo",  "Lima",    "Mike",   "November", "Oscar",   "Papa",   "Quebec", "Romeo",
    "Sierra",  "Tango", "Uniform", "Victor", "Whisky",   "Xray",    "Yankee", "Zulu"};

class RealInputTest : public GuiTest {
protected:
    QTreeView* List() { return main_->rptViewRecipes; }
    QLineEdit* Title() { return main_->fmRecipes->edtTitle; }
    QPlainTextEdit* Memo() { return main_->fmRecipes->Memo1; }
    QComboBox* Cat(int n) { return main_->fmRecipes->cbCategory[static_cast<size_t>(n - 1)]; }

    TfmMain& StartActive() {
        TfmMain& m = Start();
        QApplication::setActiveWindow(&m);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&m));
        return m;
    }

    QPoint RowCentre(const std::string& title) {
        auto& model = main_->ListModel();
        for (int i = 0; i < model.Count(); ++i)
            if (model.SummaryAt(i)->Title == title) {
                List()->scrollTo(model.index(i));
                return List()->visualRect(model.index(i)).center();
            }
        ADD_FAILURE() << "no row " << title;
        return {};
    }
    // Sends a key to whatever has the focus, as the keyboard would.
    void Key(int key, Qt::KeyboardModifiers mods = {}) {
        QWidget* w = QApplication::focusWidget();
        ASSERT_NE(w, nullptr);
        QTest::keyClick(w, static_cast<Qt::Key>(key), mods);
    }

    // The list's current row, its highlight, the editor, Edit/Delete and Print agree.
    void ExpectAgree(const std::string& title) {
        ASSERT_NE(main_->CurrentRecipe(), nullptr);
        EXPECT_EQ(CurrentTitle(), title);
        const QModelIndexList sel = List()->selectionModel()->selectedRows();
        ASSERT_EQ(sel.size(), 1);
        EXPECT_EQ(main_->ListModel().SummaryAt(sel[0].row())->Title, title);
        EXPECT_EQ(Title()->text().toStdString(), title);
        EXPECT_EQ(main_->fmRecipes->ShownId(), main_->CurrentRecipe()->InternalID);
        EXPECT_EQ(Memo()->toPlainText().toStdString(), "text of " + title);
        EXPECT_TRUE(main_->fmRecipes->btnDelete->isEnabled());
        EXPECT_TRUE(main_->actPrint->isEnabled());
    }

    std::vector<std::string> StoredTitles() {
        std::vector<std::string> out;
        for (const auto& r : Stored(home_.Home()))
            out.push_back(r.title);
        return out;
    }

    std::string PdfText(const std::string& file) {
        std::string text;
        FILE* p = popen(("pdftotext '" + file + "' -").c_str(), "r");
        if (!p) return text;
        char buf[512];
        for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
            text.append(buf, n);
        pclose(p);
        return text;
    }

    // The report system prints to a PDF file (or, with an empty name, to the printer).
    TReportSystem& PrintTo(const std::string& file) {
        TReportSystem& rs = TReportSystem::Of(*main_);
        rs.OutputFile = file;
        rs.DateText = "01/01/2027";
        rs.RunSetup = [](TReportSetup& s, QPrinter&) {
            s.Preview = false;
            return true;
        };
        return rs;
    }

    void SeedNames() {
        std::vector<SeedRecipe> r;
        for (const auto& n : kNames)
            r.push_back({n, {}, {"text of " + n}});
        Seed(home_.Home(), r);
    }
};

TEST_F(RealInputTest, EveryWayOfMovingInTheListLoadsTheRowIntoTheEditor) {
    SeedNames();
    StartActive();
    ExpectAgree("Alpha");
    struct Step {
        const char* what;
        std::function<void()> act;
        std::string expect;
    };
    const std::vector<Step> steps = {
        {"press",
         [&] { QTest::mousePress(List()->viewport(), Qt::LeftButton, {}, RowCentre("Charlie")); },
         "Charlie"},
        {"release",
         [&] { QTest::mouseRelease(List()->viewport(), Qt::LeftButton, {}, RowCentre("Charlie")); },
         "Charlie"},
        {"click", [&] { ClickListRow("Bravo"); }, "Bravo"},
        {"double click",
         [&] { QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, RowCentre("Delta")); },
         "Delta"},
        {"ctrl+click on the current row",
         [&] { ClickRow(List(), ListRow("Delta"), Qt::ControlModifier); }, "Delta"},
        {"down", [&] { Key(Qt::Key_Down); }, "Echo"},
        {"up", [&] { Key(Qt::Key_Up); }, "Delta"},
        {"end", [&] { Key(Qt::Key_End); }, "Zulu"},
        {"home", [&] { Key(Qt::Key_Home); }, "Alpha"},
        {"type-ahead", [&] { Key(Qt::Key_K); }, "Kilo"},
        {"ctrl+down then space",
         [&] {
             Key(Qt::Key_Down, Qt::ControlModifier);
             Key(Qt::Key_Space, Qt::ControlModifier);
         },
         "Lima"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        s.act();
        ExpectAgree(s.expect);
    }
    // Page Down and Page Up move by a screenful; the editor follows wherever they land.
    Key(Qt::Key_Home);
    Key(Qt::Key_PageDown);
    ASSERT_NE(main_->CurrentRecipe(), nullptr);
    EXPECT_NE(CurrentTitle(), "Alpha");
    ExpectAgree(CurrentTitle());
    Key(Qt::Key_PageUp);
    ExpectAgree("Alpha");
    EXPECT_TRUE(prompts_.asked().empty());
}

TEST_F(RealInputTest, ClickedRowIsTheOnePrintedAndDeleted) {
    SeedNames();
    StartActive();
    const std::string pdf = home_.Home() + "printed.pdf";
    PrintTo(pdf);
    ClickListRow("Charlie");
    QTest::keyClick(main_.get(), Qt::Key_F6);
    EXPECT_NE(PdfText(pdf).find("Charlie"), std::string::npos);
    EXPECT_EQ(PdfText(pdf).find("Alpha"), std::string::npos);

    prompts_.answer(PromptAnswer::Yes, "Are you sure you want to delete this recipe");
    prompts_.answer(PromptAnswer::Ok, "Recipe Deleted!");
    ClickButton(main_->fmRecipes->btnDelete);
    EXPECT_TRUE(prompts_.done());
    const std::vector<std::string> titles = StoredTitles();
    EXPECT_EQ(std::count(titles.begin(), titles.end(), "Charlie"), 0);
    EXPECT_EQ(std::count(titles.begin(), titles.end(), "Alpha"), 1);
    EXPECT_EQ(titles.size(), kNames.size() - 1);
    ExpectAgree("Alpha");

    // A double click and Delete again: the double-clicked row goes.
    QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, RowCentre("Echo"));
    prompts_.answer(PromptAnswer::Yes, "Are you sure you want to delete this recipe");
    prompts_.answer(PromptAnswer::Ok, "Recipe Deleted!");
    ClickButton(main_->fmRecipes->btnDelete);
    const std::vector<std::string> after = StoredTitles();
    EXPECT_EQ(std::count(after.begin(), after.end(), "Echo"), 0);
    EXPECT_EQ(after.size(), kNames.size() - 2);
}

TEST_F(RealInputTest, ClickOnARecipeGoneFromTheTableKeepsListAndEditorTogether) {
    SeedNames();
    StartActive();
    ClickListRow("Bravo");
    ExecSql(home_.Data() + "tbl102.nx1", "DELETE FROM tblRecipes WHERE Title='Delta'");
    // The row cannot be shown: the list goes back to the recipe the editor shows.
    prompts_.answer(PromptAnswer::Ok, "Unable to find Recipe Record");
    ClickListRow("Delta");
    EXPECT_TRUE(prompts_.done());
    ExpectAgree("Bravo");
    prompts_.answer(PromptAnswer::Yes, "Are you sure you want to delete this recipe");
    prompts_.answer(PromptAnswer::Ok, "Recipe Deleted!");
    ClickButton(main_->fmRecipes->btnDelete);
    const std::vector<std::string> titles = StoredTitles();
    EXPECT_EQ(std::count(titles.begin(), titles.end(), "Bravo"), 0);
    EXPECT_EQ(titles.size(), kNames.size() - 2);
}

TEST_F(RealInputTest, FilterThatLeavesNothingTakesEditDeleteAndPrintAway) {
    SeedNames();
    TfmMain& m = StartActive();
    auto filterTitle = [&](const char* text) {
        m.fmFilter->ShowModal = [text](TfmFilter& d) {
            auto* box = d.findChild<QCheckBox*>("cboxTitle");
            if (!box->isChecked())
                QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
            auto* edit = d.findChild<QLineEdit*>("edtTitle");
            edit->selectAll();
            QTest::keyClicks(edit, text);
            ClickButton(d.findChild<QPushButton*>("btnEdit"));
            return d.result();
        };
        QTest::keyClick(&m, Qt::Key_F5);
    };
    filterTitle("no such recipe");
    EXPECT_EQ(m.ListModel().Count(), 0);
    EXPECT_EQ(m.CurrentRecipe(), nullptr);
    EXPECT_FALSE(m.fmRecipes->btnEdit->isEnabled());
    EXPECT_FALSE(m.fmRecipes->btnDelete->isEnabled());
    EXPECT_FALSE(m.actPrint->isEnabled());
    EXPECT_TRUE(m.fmRecipes->btnNew->isEnabled());
    EXPECT_EQ(Title()->text(), "");
    EXPECT_EQ(m.fmRecipes->ShownId(), -1);
    // Nothing can be deleted, edited into a new recipe or printed: clicks on the disabled
    // buttons do nothing.
    QTest::mouseClick(m.fmRecipes->btnDelete, Qt::LeftButton);
    QTest::mouseClick(m.fmRecipes->btnEdit, Qt::LeftButton);
    QTest::keyClick(&m, Qt::Key_F6);
    EXPECT_FALSE(m.fmRecipes->Editing());
    EXPECT_TRUE(prompts_.asked().empty());
    EXPECT_EQ(Stored(home_.Home()).size(), kNames.size());

    filterTitle("kilo");
    EXPECT_THAT(ListTitles(), ElementsAre("Kilo"));
    ExpectAgree("Kilo");
}

TEST_F(RealInputTest, BookPaneLeavesNoReadLockOnTheTableFiles) {
    auto ids = Seed(home_.Home(), {{"One", {}, {}}, {"Two", {}, {}}});
    SeedBookEntries(home_.Home(), "Book", ids);
    TfmMain& m = StartActive();
    // Another writer (the command line) must get at every file between two user actions.
    auto othersCanWrite = [&](const char* when) {
        SCOPED_TRACE(when);
        for (const char* file : {"tbl101.nx1", "tbl102.nx1", "tbl103.nx1", "tbl104.nx1"})
            ExecSql(home_.Data() + file,
                    "BEGIN IMMEDIATE; CREATE TABLE probe(x); DROP TABLE probe; COMMIT;");
    };
    othersCanWrite("at start-up");
    QTest::keyClick(&m, Qt::Key_F2);
    othersCanWrite("book pane shown");
    ClickListRow("Two");
    othersCanWrite("row clicked in the book pane");
    auto* books = m.fmRecipeBook->findChild<QListWidget*>("lboxBookRecipes");
    ASSERT_NE(books, nullptr);
    ClickRow(books, books->model()->index(0, 0));
    ClickButton(m.fmRecipeBook->findChild<QPushButton*>("btnRemove"));
    othersCanWrite("recipe removed from the book");
    QTest::keyClick(&m, Qt::Key_F4);
    othersCanWrite("book saved, recipe pane shown again");
    ClickListRow("One");
    othersCanWrite("row clicked");
    ClickButton(m.fmRecipes->btnEdit);
    ClickButton(m.fmRecipes->btnSave);
    othersCanWrite("recipe saved");
    main_.reset();
    EXPECT_EQ(CountRows(home_.Data() + "tbl104.nx1", "tblRecipeInBook"), 1);
}

TEST_F(RealInputTest, RefusedCloseIsNotAskedAgain) {
    Seed(home_.Home(), {{"One", {}, {}}});
    SeedBookEntries(home_.Home(), "A", {});
    TfmMain& m = StartActive();
    QTest::keyClick(&m, Qt::Key_F2);
    ClickListRow("One");
    for (TTable* t : {&m.Store().tblListLabel(), &m.Store().tblRecipes(),
                      &m.Store().tblRecipeBook(), &m.Store().tblRecipeInBook()})
        t->ResetCursor();
    ExecSql(home_.Data() + "tbl104.nx1", "CREATE TRIGGER full BEFORE INSERT ON tblRecipeInBook "
                                         "BEGIN SELECT RAISE(ABORT, 'disk is full'); END;");
    // The addition cannot be stored: it stays pending, and the close tries it once more.
    prompts_.answer(PromptAnswer::Ok, "disk is full");
    ClickButton(m.fmRecipeBook->findChild<QPushButton*>("btnAdd"));
    ASSERT_TRUE(m.fmRecipeBook->BookChanged);
    prompts_.answer(PromptAnswer::Ok, "disk is full");
    ClickButton(m.btnClose);
    QTest::qWait(400);
    EXPECT_TRUE(prompts_.done());
    EXPECT_EQ(prompts_.asked().size(), 2u) << "the close timer asked again";
    EXPECT_FALSE(m.Timer1->isActive());
    EXPECT_TRUE(m.isVisible());
}

TEST_F(RealInputTest, FailedPrinterStartLeavesLaterPrintsWorking) {
    // "Printer" with no printer installed (the machines the tests run on have none).
    if (!QPrinterInfo::availablePrinters().isEmpty()) GTEST_SKIP() << "a printer is installed";
    Seed(home_.Home(), {{"Soup", {}, {"text of Soup"}}});
    TfmMain& m = StartActive();
    TReportSystem& rs = PrintTo("");
    prompts_.answer(PromptAnswer::Ok, "Printer Setup");
    QTest::keyClick(&m, Qt::Key_F6);
    EXPECT_TRUE(prompts_.done());
    // A folder is not replaced by a PDF file: that print is refused too.
    rs.OutputFile = home_.Home();
    prompts_.answer(PromptAnswer::Ok, "Cannot write " + home_.Home() +
                                          ": it is a folder. Only a regular file is replaced; "
                                          "choose another file name.");
    QTest::keyClick(&m, Qt::Key_F6);
    // Printing to a PDF file works afterwards, and so does the preview.
    const std::string pdf = home_.Home() + "later.pdf";
    rs.OutputFile = pdf;
    QTest::keyClick(&m, Qt::Key_F6);
    EXPECT_EQ(prompts_.asked().size(), 2u);
    EXPECT_NE(PdfText(pdf).find("Soup"), std::string::npos);
    int pages = 0;
    rs.RunSetup = [](TReportSetup& s, QPrinter&) {
        s.Preview = true;
        return true;
    };
    rs.RunPreview = [&](QPrintPreviewDialog& dlg) {
        if (auto* w = dlg.findChild<QPrintPreviewWidget*>()) pages = w->pageCount();
    };
    rs.OutputFile.clear();
    QTest::keyClick(&m, Qt::Key_F6);
    EXPECT_EQ(pages, 1);
    EXPECT_EQ(prompts_.asked().size(), 2u);
}

TEST_F(RealInputTest, BrowseModeShowsALongRecipeReadOnlyScrollableAndCopyable) {
    std::vector<std::string> lines;
    for (int i = 1; i <= 60; ++i)
        lines.push_back("line " + std::to_string(i));
    Seed(home_.Home(), {{"Long", {"Soups"}, lines}, {"Short", {}, {"short"}}});
    StartActive();
    ClickListRow("Long");
    // Scroll with the keyboard and the wheel, select all and copy.
    ClickButton(Memo()->viewport());
    EXPECT_EQ(QApplication::focusWidget(), Memo());
    Key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_GT(Memo()->verticalScrollBar()->value(), 0);
    Key(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(Memo()->verticalScrollBar()->value(), 0);
    Key(Qt::Key_A, Qt::ControlModifier);
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(QApplication::clipboard()->text().endsWith("line 60"));
    // Typing changes nothing, nor do the keys and wheel on a picker.
    Key(Qt::Key_X);
    Key(Qt::Key_Delete);
    EXPECT_EQ(Memo()->toPlainText().split('\n').size(), 60);
    ClickButton(Title());
    Key(Qt::Key_X);
    EXPECT_EQ(Title()->text(), "Long");
    EXPECT_EQ(Cat(1)->currentText(), "Soups");
    Cat(1)->setFocus();
    Key(Qt::Key_Down);
    Key(Qt::Key_Up);
    QTest::keyClicks(Cat(1), "Zz");
    QWheelEvent wheel(QPointF(5, 5), Cat(1)->mapToGlobal(QPointF(5, 5)), {}, QPoint(0, -120),
                      Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(Cat(1), &wheel);
    EXPECT_EQ(Cat(1)->currentText(), "Soups");
    // The text is drawn in the normal colours, not greyed out.
    EXPECT_TRUE(Memo()->isEnabled());
    EXPECT_TRUE(Memo()->isReadOnly());
    // Edit still makes it editable; Undo takes the change back.
    ClickButton(main_->fmRecipes->btnEdit);
    Memo()->setFocus();
    Key(Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(Memo(), "!");
    EXPECT_TRUE(Memo()->toPlainText().endsWith("line 60!"));
    ClickButton(main_->fmRecipes->btnUndo);
    EXPECT_TRUE(Memo()->toPlainText().endsWith("line 60"));
    EXPECT_FALSE(main_->fmRecipes->Editing());
    main_.reset();
    EXPECT_EQ(Stored(home_.Home())[0].text, lines);
}

// A typed name that is no category is asked about on Save: Yes makes it a category and the
// slot holds it, No stores the slot empty and shows it so. An existing one typed in another
// letter case is taken without a question.
TEST_F(RealInputTest, SavedPickersShowWhatWasStored) {
    struct Case {
        PromptAnswer answer;
        const char* shown; // what the second slot shows after the save
        int newLabels;
    } cases[] = {{PromptAnswer::No, "", 0}, {PromptAnswer::Yes, "No such label", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer == PromptAnswer::Yes ? "Yes" : "No");
        std::filesystem::remove_all(home_.Data());
        Seed(home_.Home(), {{"Stew", {"Mains"}, {"text of Stew"}}});
        StartActive();
        const int labels = CountRows(home_.Data() + "tbl101.nx1", "tblListLabel");
        ClickButton(main_->fmRecipes->btnEdit);
        ClickButton(Cat(2)->lineEdit());
        QTest::keyClicks(QApplication::focusWidget(), "No such label");
        ClickButton(Cat(3)->lineEdit());
        QTest::keyClicks(QApplication::focusWidget(), "mains");
        prompts_.answer(c.answer, "Category \"No such label\" does not exist. Create it?");
        ClickButton(main_->fmRecipes->btnSave);
        EXPECT_TRUE(prompts_.done());
        EXPECT_FALSE(main_->fmRecipes->Editing());
        EXPECT_EQ(Cat(1)->currentText(), "Mains");
        EXPECT_EQ(Cat(2)->currentText(), c.shown);
        EXPECT_EQ(Cat(3)->currentText(), "Mains");
        main_.reset();
        EXPECT_EQ(CountRows(home_.Data() + "tbl101.nx1", "tblListLabel"), labels + c.newLabels);
        const auto stored = Stored(home_.Home());
        ASSERT_EQ(stored.size(), 1u);
        EXPECT_EQ(stored[0].categories[1] != -1, c.newLabels == 1);
        EXPECT_EQ(stored[0].categories[2], stored[0].categories[0]);
    }
}

TEST_F(RealInputTest, BackupStaysAvailableWhileEditingImportAndRestoreWait) {
    Seed(home_.Home(), {{"Stew", {}, {"text of Stew"}}});
    TfmMain& m = StartActive();
    int backups = 0;
    m.SetCommandHandler(MainCommand::Backup, [&](TfmMain&) { ++backups; });
    m.SetCommandHandler(MainCommand::Import, [](TfmMain&) {});
    m.SetCommandHandler(MainCommand::Restore, [](TfmMain&) {});
    ClickButton(m.fmRecipes->btnEdit);
    ASSERT_TRUE(m.fmRecipes->Editing());
    EXPECT_TRUE(m.Backup1->isEnabled());
    EXPECT_FALSE(m.Import1->isEnabled());
    EXPECT_FALSE(m.Restore1->isEnabled());
    // File > Backup through the menu by keyboard: Alt+F, then the entry's accelerator.
    QTest::keyClick(&m, Qt::Key_F, Qt::AltModifier);
    QMenu* file = m.MainMenu1->findChild<QMenu*>("File1");
    ASSERT_TRUE(file->isVisible());
    QTest::keyClick(file, Qt::Key_B);
    EXPECT_EQ(backups, 1);
    EXPECT_TRUE(m.fmRecipes->Editing());
    ClickButton(m.fmRecipes->btnUndo);
    EXPECT_TRUE(m.Import1->isEnabled());
    EXPECT_TRUE(m.Restore1->isEnabled());
}

TEST_F(RealInputTest, F1OnAHighlightedMenuEntryOpensItsHelp) {
    std::filesystem::copy_file(std::string(LARDERLY_SOURCE_DIR) + "/src/app/Recipe.hlp",
                               home_.Home() + "Recipe.hlp");
    TfmMain& m = StartActive();
    QTest::keyClick(&m, Qt::Key_F, Qt::AltModifier);
    QMenu* file = m.MainMenu1->findChild<QMenu*>("File1");
    ASSERT_TRUE(file->isVisible());
    // The arrow keys walk to Import (the first entry may be highlighted already).
    for (int i = 0; i < 4 && file->activeAction() != m.Import1; ++i)
        QTest::keyClick(file, Qt::Key_Down);
    ASSERT_EQ(file->activeAction(), m.Import1);
    QTest::keyClick(file, Qt::Key_F1);
    EXPECT_FALSE(file->isVisible());
    QWidget* help = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "HelpWindow" && w->isVisible()) help = w;
    ASSERT_NE(help, nullptr);
    // The window opens at the import section: its heading is scrolled into view.
    auto* browser = help->findChild<QTextEdit*>("HelpBrowser");
    ASSERT_NE(browser, nullptr);
    QApplication::processEvents();
    QTextBlock heading;
    for (QTextBlock b = browser->document()->begin(); b.isValid(); b = b.next())
        if (b.text() == "Import") heading = b;
    ASSERT_TRUE(heading.isValid());
    const double top = browser->document()->documentLayout()->blockBoundingRect(heading).top() -
                       browser->verticalScrollBar()->value();
    EXPECT_GT(browser->verticalScrollBar()->value(), 0);
    EXPECT_GE(top, 0.0);
    EXPECT_LT(top, browser->viewport()->height());
    help->close();
}

TEST_F(RealInputTest, FileCategoriesAddsACategoryTheEditorOffers) {
    TfmMain& m = StartActive();
    prompts_.AnswerInput(std::string("Weeknight"), "Name of the new category");
    std::string shown;
    // The window is modal: it is worked while it runs, then closed with its Close button.
    QTimer::singleShot(0, [&] {
        QWidget* w = nullptr;
        for (QWidget* t : QApplication::topLevelWidgets())
            if (t->objectName() == "fmCategories" && t->isVisible()) w = t;
        if (!w) return;
        QTest::keyClick(w->findChild<QTreeWidget*>("lvCategories"), Qt::Key_Insert);
        auto* list = w->findChild<QTreeWidget*>("lvCategories");
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            shown += list->topLevelItem(i)->text(0).toStdString() + ";";
        QTest::mouseClick(w->findChild<QPushButton*>("btnClose"), Qt::LeftButton);
    });
    QTest::keyClick(&m, Qt::Key_F, Qt::AltModifier);
    QMenu* file = m.MainMenu1->findChild<QMenu*>("File1");
    ASSERT_TRUE(file->isVisible());
    QTest::keyClick(file, Qt::Key_C);
    EXPECT_NE(shown.find("Weeknight;"), std::string::npos) << shown;
    EXPECT_TRUE(prompts_.done());
    // The editor's pickers were refilled: the new category can be chosen at once.
    EXPECT_GE(Cat(1)->findText("Weeknight"), 0);
}

TEST_F(RealInputTest, ToolBarButtonsShowTheirHints) {
    TfmMain& m = Start();
    struct Case {
        QToolButton* button;
        const char* hint;
    };
    for (const Case& c :
         {Case{m.btnFilter, "This will help you display only the recipes that you want"},
          Case{m.btn1, "In this section you can create \"Books\" to make managing your recipes an "
                       "easy task."},
          Case{m.btnRecipes, "Here you may add, edit, delete and print Recipes"},
          Case{m.btnPrint, "Clicking here allows you to print the selected Recipe"},
          Case{m.btnClose, "Closes Larderly"}})
        EXPECT_EQ(c.button->toolTip().toStdString(), c.hint)
            << c.button->objectName().toStdString();
    // The hint stays when the print caption follows the book pane.
    QTest::keyClick(&m, Qt::Key_F2);
    EXPECT_EQ(m.btnPrint->toolTip().toStdString(),
              "Clicking here allows you to print the selected Recipe");
}

TEST_F(RealInputTest, CtrlSSavesAndEscapeGivesTheEditUp) {
    const std::string longLine(300, 'w');
    Seed(home_.Home(), {{"Bread", {}, {longLine, "short"}}, {"Soup", {}, {"text of Soup"}}});
    StartActive();
    // The long line wraps for reading; it stays one line of the recipe.
    QTextBlock first = Memo()->document()->firstBlock();
    EXPECT_GT(first.layout()->lineCount(), 1);
    EXPECT_EQ(Memo()->document()->blockCount(), 2);

    // Ctrl+S saves from the field that has the focus.
    ClickButton(main_->fmRecipes->btnEdit);
    Key(Qt::Key_End);
    QTest::keyClicks(Title(), " Loaf");
    Key(Qt::Key_S, Qt::ControlModifier);
    EXPECT_FALSE(main_->fmRecipes->Editing());
    EXPECT_EQ(CurrentTitle(), "Bread Loaf");

    // Escape with nothing changed leaves the edit without a question.
    ClickButton(main_->fmRecipes->btnEdit);
    Key(Qt::Key_Escape);
    EXPECT_FALSE(main_->fmRecipes->Editing());
    EXPECT_TRUE(prompts_.asked().empty());

    // Escape after a change asks; No keeps editing, Yes gives the change up.
    ClickButton(main_->fmRecipes->btnEdit);
    ClickButton(Memo());
    QTest::keyClicks(Memo(), "more");
    prompts_.answer(PromptAnswer::No, kAskDiscardChanges);
    Key(Qt::Key_Escape);
    EXPECT_TRUE(main_->fmRecipes->Editing());
    EXPECT_EQ(prompts_.asked().back().buttons, PromptButtons::YesNoSafe);
    prompts_.answer(PromptAnswer::Yes, kAskDiscardChanges);
    Key(Qt::Key_Escape);
    EXPECT_FALSE(main_->fmRecipes->Editing());
    EXPECT_FALSE(Memo()->toPlainText().contains("more"));
    // Ctrl+S in browse mode stores nothing and asks nothing.
    Key(Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(prompts_.done());
    main_.reset();
    const auto stored = Stored(home_.Home());
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].title, "Bread Loaf");
    EXPECT_EQ(stored[0].text, (std::vector<std::string>{longLine, "short"}));
}

TEST_F(RealInputTest, DeleteKeyInTheListAsksByNameWithNoAsTheDefault) {
    SeedNames();
    StartActive();
    ClickListRow("Charlie");
    ASSERT_EQ(QApplication::focusWidget(), List());
    prompts_.answer(PromptAnswer::No, "Delete \"Charlie\"?");
    Key(Qt::Key_Delete);
    ASSERT_TRUE(prompts_.done());
    EXPECT_EQ(prompts_.asked().back().buttons, PromptButtons::YesNoSafe);
    EXPECT_EQ(StoredTitles().size(), kNames.size());
    prompts_.answer(PromptAnswer::Yes, "Delete \"Charlie\"?");
    prompts_.answer(PromptAnswer::Ok, "Recipe Deleted!");
    Key(Qt::Key_Delete);
    const std::vector<std::string> titles = StoredTitles();
    EXPECT_EQ(std::count(titles.begin(), titles.end(), "Charlie"), 0);
    EXPECT_EQ(titles.size(), kNames.size() - 1);
    ExpectAgree("Alpha");
    // While a recipe is edited the list is off, and so is its Delete key.
    ClickButton(main_->fmRecipes->btnEdit);
    List()->setFocus();
    QTest::keyClick(List(), Qt::Key_Delete);
    EXPECT_EQ(StoredTitles().size(), kNames.size() - 1);
}

TEST_F(RealInputTest, UndoOfANewRecipeInAnEmptyListClearsTheFields) {
    StartActive();
    ClickButton(main_->fmRecipes->btnNew);
    QTest::keyClicks(Title(), "Draft");
    ClickButton(Memo());
    QTest::keyClicks(Memo(), "half written");
    ClickButton(main_->fmRecipes->btnUndo);
    EXPECT_FALSE(main_->fmRecipes->Editing());
    EXPECT_EQ(Title()->text(), "");
    EXPECT_EQ(Memo()->toPlainText(), "");
    EXPECT_FALSE(main_->fmRecipes->btnEdit->isEnabled());
    main_.reset();
    EXPECT_TRUE(Stored(home_.Home()).empty());
}

TEST_F(RealInputTest, ServingsBoxShowsTheIngredientsScaledAndEditingShowsTheStoredText) {
    const std::vector<std::string> text = {"Servings: 4",
                                           "",
                                           "  1 1/2 c  Milk",
                                           "    200 g  Flour",
                                           "           Salt to taste",
                                           "",
                                           "Bake 20 minutes."};
    Seed(home_.Home(), {{"Pancakes", {}, text}, {"Toast", {}, {"2 slices bread"}}});
    StartActive();
    ClickListRow("Pancakes");
    auto* box = main_->fmRecipes->spnServings;
    EXPECT_TRUE(box->isEnabled());
    EXPECT_EQ(box->text(), "4");
    EXPECT_EQ(Memo()->toPlainText().toStdString(), "Servings: 4\n\n  1 1/2 c  Milk\n    200 g  "
                                                   "Flour\n           Salt to taste\n\nBake "
                                                   "20 minutes.");

    // Type 6 into the box.
    ClickButton(box);
    Key(Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), "6");
    EXPECT_EQ(Memo()->toPlainText().toStdString(), "Servings: 6\n\n  2 1/4 c  Milk\n    300 g  "
                                                   "Flour\n           Salt to taste\n\nBake "
                                                   "20 minutes.");

    // Editing shows (and saves) the stored text; back in browse mode the box follows it.
    ClickButton(Find<QPushButton>("btnEdit"));
    EXPECT_FALSE(box->isEnabled());
    EXPECT_EQ(Memo()->toPlainText().toStdString().substr(0, 28), "Servings: 4\n\n  1 1/2 c  Milk");
    ClickButton(Find<QPushButton>("btnSave"));
    EXPECT_TRUE(box->isEnabled());
    EXPECT_EQ(box->text(), "4");
    EXPECT_EQ(Stored(home_.Home())[0].text, text);

    // A recipe naming no servings shows its text with the box off.
    ClickListRow("Toast");
    EXPECT_FALSE(box->isEnabled());
    EXPECT_EQ(Memo()->toPlainText().toStdString(), "2 slices bread");
}

} // namespace
} // namespace larderly::test
