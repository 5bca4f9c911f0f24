// The book pane in the main window: shown by F2, its buttons and the print command's
// availability, New/Delete Book through the real buttons, pending changes saved when the
// recipe pane is shown and when the program closes (also when that save fails), rows
// vanishing behind its back, printing the recipe selected in the book, and printing the
// whole book.
#include "workspace/GuiFixture.h"

#include "print/ReportDialogs.h"

#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <QTreeView>

#include <gmock/gmock.h>

#include <set>
#include <sstream>

namespace larderly::test {
namespace {

using ::testing::ElementsAre;

class BookPaneTest : public GuiTest {
protected:
    TfmRecipeBook& Pane() { return *main_->fmRecipeBook; }
    QPushButton* Btn(const char* name) {
        auto* b = Pane().findChild<QPushButton*>(name);
        EXPECT_NE(b, nullptr) << name;
        return b;
    }
    QListWidget* Box(const char* name) { return Pane().findChild<QListWidget*>(name); }
    std::vector<std::string> Items(const char* box) {
        std::vector<std::string> out;
        QListWidget* l = Box(box);
        for (int i = 0; i < l->count(); ++i)
            out.push_back(l->item(i)->text().toStdString());
        return out;
    }
    void ShowBooks() { QTest::keyClick(main_.get(), Qt::Key_F2); }
    void ShowRecipes() { QTest::keyClick(main_.get(), Qt::Key_F4); }
    int Entries() { return CountRows(home_.Data() + "tbl104.nx1", "tblRecipeInBook"); }
    // Changes a table file from a second connection, as another program would, while the
    // program's cursors hold no statement open on it.
    void Behind(const std::string& file, const std::string& sql) {
        TfmTables& t = main_->Store();
        for (TTable* table :
             {&t.tblListLabel(), &t.tblRecipes(), &t.tblRecipeBook(), &t.tblRecipeInBook()})
            table->ResetCursor();
        ExecSql(home_.Data() + file, sql);
    }
    int Books() { return CountRows(home_.Data() + "tbl103.nx1", "tblRecipeBook"); }
};

TEST_F(BookPaneTest, WithNoBooksTheButtonsAndPrintAreDisabled) {
    Seed(home_.Home(), {{"Soup", {}, {}}});
    TfmMain& m = Start();
    ShowBooks();
    EXPECT_EQ(m.ActivePane(), static_cast<TPane*>(&Pane()));
    EXPECT_EQ(m.actPrint->text().toStdString(), "Print Recipe In Book (F6)");
    EXPECT_FALSE(Btn("btnAdd")->isEnabled());
    EXPECT_FALSE(Btn("btnRemove")->isEnabled());
    EXPECT_FALSE(Btn("btnDelete")->isEnabled());
    EXPECT_TRUE(Btn("btnNew")->isEnabled());
    EXPECT_FALSE(m.btnPrint->isEnabled());
    EXPECT_EQ(Box("lboxBookRecipes")->count(), 0);
    // Remove is not reached with the Tab key (the lists are: see below).
    EXPECT_FALSE(Btn("btnRemove")->focusPolicy() & Qt::TabFocus);
}

TEST_F(BookPaneTest, NewBookAddRecipesAndSaveWhenTheRecipePaneIsShown) {
    Seed(home_.Home(), {{"Leek soup", {}, {}}, {"apple pie", {}, {}}});
    TfmMain& m = Start();
    ShowBooks();
    prompts_.AnswerInput(std::string("Starters"), "New Book Name");
    ClickButton(Btn("btnNew"));
    EXPECT_EQ(Books(), 1) << "a new book is stored at once";
    EXPECT_THAT(Items("lboxBooks"), ElementsAre("Starters"));
    EXPECT_EQ(Box("lboxBooks")->currentRow(), 0);
    EXPECT_TRUE(Btn("btnDelete")->isEnabled());
    EXPECT_TRUE(Btn("btnAdd")->isEnabled()) << "the recipe list has a current item";

    // Each addition is in the file as soon as it is made, with the pane still open (a
    // crash now keeps it).
    ClickListRow(0);
    QTest::mouseClick(Btn("btnAdd"), Qt::LeftButton);
    EXPECT_EQ(Entries(), 1);
    ClickListRow(1);
    QTest::mouseClick(Btn("btnAdd"), Qt::LeftButton);
    EXPECT_THAT(Items("lboxBookRecipes"), ElementsAre("apple pie", "Leek soup"));
    EXPECT_TRUE(m.btnPrint->isEnabled());
    EXPECT_FALSE(Pane().BookChanged);
    EXPECT_EQ(Entries(), 2);

    // The same recipe again: refused with the message, nothing changes.
    prompts_.answer(PromptAnswer::Ok, "Recipe is already in the book.");
    ClickButton(Btn("btnAdd"));
    EXPECT_EQ(Box("lboxBookRecipes")->count(), 2);

    ShowRecipes();
    EXPECT_EQ(m.ActivePane(), static_cast<TPane*>(m.fmRecipes));
    EXPECT_EQ(Entries(), 2);
    EXPECT_FALSE(Pane().BookChanged);

    // Shown again, the pane starts afresh from the store.
    ShowBooks();
    EXPECT_THAT(Items("lboxBookRecipes"), ElementsAre("apple pie", "Leek soup"));
    // Remove both; the last removal leaves nothing selected and print disabled.
    ClickRow(Box("lboxBookRecipes"), Box("lboxBookRecipes")->model()->index(0, 0));
    QTest::mouseClick(Btn("btnRemove"), Qt::LeftButton);
    EXPECT_EQ(Entries(), 1) << "a removal is stored when made";
    QTest::mouseClick(Btn("btnRemove"), Qt::LeftButton);
    EXPECT_EQ(Entries(), 0);
    EXPECT_EQ(Box("lboxBookRecipes")->count(), 0);
    EXPECT_FALSE(Btn("btnRemove")->isEnabled());
    EXPECT_FALSE(m.btnPrint->isEnabled());
    ShowRecipes();
    EXPECT_EQ(Entries(), 0);
}

TEST_F(BookPaneTest, DeleteBookAsksFirst) {
    auto ids = Seed(home_.Home(), {{"One", {}, {}}});
    SeedBookEntries(home_.Home(), "A", ids);
    SeedBookEntries(home_.Home(), "B", ids);
    Start();
    ShowBooks();
    prompts_.answer(PromptAnswer::No, "Are you sure you want to delete this Book?");
    ClickButton(Btn("btnDelete"));
    EXPECT_EQ(Books(), 2);
    prompts_.answer(PromptAnswer::Yes, "Are you sure you want to delete this Book?");
    ClickButton(Btn("btnDelete"));
    EXPECT_EQ(Books(), 1);
    EXPECT_EQ(Entries(), 1);
    EXPECT_THAT(Items("lboxBooks"), ElementsAre("B"));
    EXPECT_THAT(Items("lboxBookRecipes"), ElementsAre("One"));
}

TEST_F(BookPaneTest, FailedSaveOnCloseIsShownKeepsTheWindowOpenAndTheChangesPending) {
    auto ids = Seed(home_.Home(), {{"One", {}, {}}});
    SeedBookEntries(home_.Home(), "A", {});
    TfmMain& m = Start();
    ShowBooks();
    ClickListRow(0);
    Behind("tbl104.nx1", "CREATE TRIGGER full BEFORE INSERT ON tblRecipeInBook BEGIN SELECT "
                         "RAISE(ABORT, 'disk is full'); END;");
    // The addition cannot be stored: the failure is shown and the addition stays pending.
    prompts_.answer(PromptAnswer::Ok, "disk is full");
    ClickButton(Btn("btnAdd"));
    EXPECT_TRUE(Pane().BookChanged);
    // Showing the recipe pane saves first: the failure is shown and the book pane stays.
    prompts_.answer(PromptAnswer::Ok, "disk is full");
    ShowRecipes();
    EXPECT_EQ(m.ActivePane(), static_cast<TPane*>(&Pane()));
    EXPECT_TRUE(Pane().BookChanged);
    prompts_.answer(PromptAnswer::Ok, "disk is full");
    EXPECT_FALSE(m.close());
    EXPECT_TRUE(m.isVisible());
    EXPECT_TRUE(Pane().BookChanged);
    EXPECT_THAT(Items("lboxBookRecipes"), ElementsAre("One"));
    EXPECT_EQ(Entries(), 0);

    Behind("tbl104.nx1", "DROP TRIGGER full;");
    EXPECT_TRUE(m.close());
    main_.reset();
    EXPECT_EQ(Entries(), 1);
    (void)ids;
}

TEST_F(BookPaneTest, BookDeletedBehindThePanesBackLeavesNoOrphanEntries) {
    Seed(home_.Home(), {{"One", {}, {}}});
    SeedBookEntries(home_.Home(), "A", {});
    Start();
    ShowBooks();
    ClickListRow(0);
    Behind("tbl103.nx1", "DELETE FROM tblRecipeBook;");
    ClickButton(Btn("btnAdd"));
    ShowRecipes();
    EXPECT_EQ(Entries(), 0);
    EXPECT_FALSE(Pane().BookChanged);
    ShowBooks();
    EXPECT_EQ(Box("lboxBooks")->count(), 0);
}

TEST_F(BookPaneTest, PrintTakesTheRecipeSelectedInTheBook) {
    auto ids = Seed(home_.Home(), {{"Alpha", {}, {"first"}}, {"Beta", {}, {"second"}}});
    SeedBookEntries(home_.Home(), "Mine", {ids[1]});
    TfmMain& m = Start();
    TReportSystem& rs = TReportSystem::Of(m);
    rs.RunSetup = [&](TReportSetup& s, QPrinter&) {
        s.Preview = false;
        return true;
    };
    rs.OutputFile = home_.Home() + "book.pdf";
    ShowBooks();
    ClickListRow(0); // the list's current item is Alpha; the book's selected recipe is Beta
    ASSERT_TRUE(m.btnPrint->isEnabled());
    QTest::keyClick(&m, Qt::Key_F6);
    ASSERT_TRUE(std::filesystem::exists(rs.OutputFile));
    FILE* p = popen(("pdftotext '" + rs.OutputFile + "' -").c_str(), "r");
    std::string text;
    char buf[512];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
        text.append(buf, n);
    pclose(p);
    EXPECT_NE(text.find("Beta"), std::string::npos) << text;
    EXPECT_EQ(text.find("Alpha"), std::string::npos) << text;

    // The recipe is deleted behind the pane's back: the store's message, no crash.
    ASSERT_TRUE(m.Store().DeleteRecipe(ids[1]));
    prompts_.answer(PromptAnswer::Ok, "Unable to find Recipe Record. Contact Support");
    TriggerEnabledAction(m.actPrint);
    EXPECT_TRUE(m.isVisible());
}

TEST_F(BookPaneTest, PrintBookStartsEveryRecipeOfTheBookOnANewPage) {
    std::vector<std::string> longText;
    for (int i = 0; i < 120; ++i)
        longText.push_back("Step " + std::to_string(i) + " of the long recipe.");
    auto ids = Seed(home_.Home(), {{"Beta", {}, {"second"}},
                                   {"Alpha", {"Soups"}, longText},
                                   {"Gamma", {}, {"third"}},
                                   {"Delta", {}, {"not in the book"}}});
    SeedBookEntries(home_.Home(), "Mine", {ids[0], ids[1]});
    SeedBookEntries(home_.Home(), "Empty", {});
    TfmMain& m = Start();
    QApplication::setActiveWindow(&m);
    TReportSystem& rs = TReportSystem::Of(m);
    rs.RunSetup = [&](TReportSetup& s, QPrinter&) {
        s.Preview = false;
        return true;
    };
    rs.DateText = "01/01/2027";
    rs.OutputFile = home_.Home() + "book.pdf";
    ShowBooks();
    // The first book is empty: nothing to print.
    EXPECT_THAT(Items("lboxBooks"), ElementsAre("Empty", "Mine"));
    EXPECT_FALSE(Btn("btnPrintBook")->isEnabled());
    EXPECT_FALSE(m.PrintBook1->isEnabled());
    QListWidget* books = Box("lboxBooks");
    QTest::mouseClick(books->viewport(), Qt::LeftButton, {},
                      books->visualItemRect(books->item(1)).center());
    ASSERT_THAT(Items("lboxBookRecipes"), ElementsAre("Alpha", "Beta"));
    EXPECT_TRUE(Btn("btnPrintBook")->isEnabled());
    EXPECT_TRUE(m.PrintBook1->isEnabled());
    // Gamma is added and not yet saved: the book as it is shown is printed.
    auto& model = m.ListModel();
    for (int i = 0; i < model.Count(); ++i)
        if (model.SummaryAt(i)->Title == "Gamma")
            QTest::mouseClick(m.rptViewRecipes->viewport(), Qt::LeftButton, {},
                              m.rptViewRecipes->visualRect(model.index(i)).center());
    QTest::mouseClick(Btn("btnAdd"), Qt::LeftButton);
    ASSERT_THAT(Items("lboxBookRecipes"), ElementsAre("Alpha", "Beta", "Gamma"));
    QTest::mouseClick(Btn("btnPrintBook"), Qt::LeftButton);
    ASSERT_TRUE(std::filesystem::exists(rs.OutputFile));

    FILE* p = popen(("pdftotext '" + rs.OutputFile + "' -").c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string text;
    char buf[512];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
        text.append(buf, n);
    pclose(p);
    // pdftotext ends every page with a form feed. Each recipe's title opens a page of its own,
    // followed by the date line; the long recipe runs on over pages that open with its text.
    std::vector<std::string> opening, second;
    int pages = 0;
    for (std::size_t start = 0, ff; (ff = text.find('\f', start)) != std::string::npos;
         start = ff + 1) {
        ++pages;
        std::istringstream page(text.substr(start, ff - start));
        std::vector<std::string> lines;
        for (std::string l; std::getline(page, l);)
            if (!l.empty()) lines.push_back(l);
        opening.push_back(lines.empty() ? "" : lines[0]);
        second.push_back(lines.size() > 1 ? lines[1] : "");
    }
    ASSERT_GE(pages, 5) << "three recipes, one of them over at least three pages";
    EXPECT_EQ(pages, static_cast<int>(rs.StatusLog.size()));
    std::vector<std::string> titled;
    for (int i = 0; i < pages; ++i) {
        if (opening[i].rfind("Step ", 0) == 0) continue;
        titled.push_back(opening[i]);
        EXPECT_EQ(second[i], "Printed on: 01/01/2027") << opening[i];
    }
    EXPECT_THAT(titled, ElementsAre("Alpha", "Beta", "Gamma"));
    EXPECT_EQ(opening[pages - 2], "Beta");
    EXPECT_EQ(opening[pages - 1], "Gamma");
    EXPECT_EQ(text.find("Delta"), std::string::npos);
    // The addition was stored when made; printing leaves nothing pending.
    EXPECT_FALSE(Pane().BookChanged);
}

TEST_F(BookPaneTest, PrintWithNothingSelectedRefusesWithAMessage) {
    TfmMain& m = Start();
    // An empty list: the command is unavailable, and run anyway it says why it does nothing.
    EXPECT_FALSE(m.actPrint->isEnabled());
    prompts_.answer(PromptAnswer::Ok, "Please select a recipe to print.");
    m.actPrintExecute();
    ShowBooks();
    prompts_.answer(PromptAnswer::Ok, "Please select a recipe to print.");
    m.actPrintExecute();
}

TEST_F(BookPaneTest, EnterOnTheBooksRecipesMovesTheFocusOn) {
    auto ids = Seed(home_.Home(), {{"One", {}, {}}});
    SeedBookEntries(home_.Home(), "A", ids);
    TfmMain& m = Start();
    ShowBooks();
    QApplication::setActiveWindow(&m);
    QListWidget* box = Box("lboxBookRecipes");
    box->setFocus();
    QApplication::processEvents();
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_FALSE(box->hasFocus());
    EXPECT_EQ(box->currentRow(), 0);
}

TEST_F(BookPaneTest, TabReachesBothListsAndAClickOnTheShownBookKeepsItsEntries) {
    auto ids = Seed(home_.Home(), {{"One", {}, {}}, {"Two", {}, {}}});
    SeedBookEntries(home_.Home(), "A", {ids[0]});
    TfmMain& m = Start();
    QApplication::setActiveWindow(&m);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m));
    ShowBooks();
    Btn("btnNew")->setFocus();
    std::set<QWidget*> reached;
    for (int i = 0; i < 40; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        reached.insert(QApplication::focusWidget());
    }
    EXPECT_TRUE(reached.count(Box("lboxBooks")));
    EXPECT_TRUE(reached.count(Box("lboxBookRecipes")));

    // Add "Two" to book A: the entry is stored at once; a click on book A itself keeps it.
    ClickListRow(1);
    QTest::mouseClick(Btn("btnAdd"), Qt::LeftButton);
    EXPECT_FALSE(Pane().BookChanged);
    EXPECT_EQ(Entries(), 2);
    QListWidget* books = Box("lboxBooks");
    QTest::mouseClick(books->viewport(), Qt::LeftButton, {},
                      books->visualItemRect(books->item(0)).center());
    EXPECT_FALSE(Pane().BookChanged);
    EXPECT_EQ(Entries(), 2);
    EXPECT_THAT(Items("lboxBookRecipes"), ElementsAre("One", "Two"));
}

} // namespace
} // namespace larderly::test
