// The recipe book pane's rules without its widgets: the two sorted lists, pending additions
// and removals, their saving in one transaction, New and Delete Book, the enabled states,
// and what happens when the store fails or rows vanish behind the pane's back.
#include "workspace/core/TfmRecipeBookCore.h"

#include "ScriptedPrompts.h"
#include "store/RecipeSummaries.h"
#include "store/Tables.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <map>
#include <set>

namespace larderly {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class BookCore : public ::testing::Test {
protected:
    BookCore() {
        char tmpl[] = "/tmp/larderly-books-XXXXXX";
        home_ = std::string(mkdtemp(tmpl)) + "/";
        store.OpenDatabase(home_);
        store.SetTablesOpen(true);
        core.CurrentRecipe = [this]() -> const TRecipeSummary* { return current; };
    }
    ~BookCore() override {
        try {
            store.SetTablesOpen(false);
        } catch (...) {
        }
        std::error_code ec;
        std::filesystem::remove_all(home_, ec);
    }

    int32_t AddRecipe(const std::string& title) {
        store.ClearBuffers();
        store.RecipeRec.Title = title;
        return store.SaveRecord(rkRecipe);
    }
    int32_t AddBook(const std::string& name) {
        BookValue book{-1, name};
        return store.SaveBookValue(book);
    }
    // Any entry, also one whose recipe is not stored.
    void AddEntry(int32_t book, int32_t recipe) {
        store.BookEntryRec = {-1, recipe, book};
        store.SaveRecord(rkBookEntry);
    }
    // The stored entries: book -> recipes (sorted), and entry identifiers by (book, recipe).
    std::map<int32_t, std::multiset<int32_t>> Entries() {
        std::map<int32_t, std::multiset<int32_t>> out;
        TTable& t = store.tblRecipeInBook();
        for (t.First(); !t.Eof(); t.Next())
            out[t.FieldAsInteger(fld::BookID)].insert(t.FieldAsInteger(fld::RecipeID));
        return out;
    }
    std::vector<std::string> Texts(const TSortedList& l) {
        std::vector<std::string> out;
        for (const auto& e : l.Entries())
            out.push_back(e.Text);
        return out;
    }
    void SelectBook(const std::string& name) {
        core.lboxBooks.SetItemIndex(core.lboxBooks.IndexOfText(name));
        core.lboxBooksClick();
    }
    void Current(int32_t id) { current = store.Summaries().Find(id); }
    void ExpectIndexesBack() {
        EXPECT_EQ(store.tblRecipeInBook().IndexName(), "InternalID");
        EXPECT_EQ(store.tblRecipeBook().IndexName(), "InternalID");
    }
    // Runs SQL on one table file while the store has it closed.
    void RawSql(const std::string& file, const std::string& sql) {
        store.SetTablesOpen(false);
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open((home_ + "data/" + file).c_str(), &db), SQLITE_OK);
        char* err = nullptr;
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err), SQLITE_OK)
            << (err ? err : "");
        sqlite3_free(err);
        sqlite3_close(db);
        store.SetTablesOpen(true);
    }

    std::string home_;
    TfmTables store;
    TRecipeBookCore core{store};
    const TRecipeSummary* current = nullptr;
};

TEST_F(BookCore, WithNoBooksEverythingIsDisabledAndTheRightListEmpty) {
    Current(AddRecipe("Soup"));
    core.PaneShown();
    EXPECT_TRUE(core.lboxBooks.Empty());
    EXPECT_TRUE(core.lboxBookRecipes.Empty());
    EXPECT_FALSE(core.HasShownBook());
    const auto& e = core.Enabled();
    EXPECT_FALSE(e.Add);
    EXPECT_FALSE(e.Remove);
    EXPECT_FALSE(e.Delete);
    EXPECT_FALSE(e.Print);
    core.btnAddClick(); // disabled in the pane; does nothing even if reached
    EXPECT_FALSE(core.BookChanged);
}

TEST_F(BookCore, ListsAreSortedWithoutRegardToCaseAndShowAllOfABooksRecipes) {
    const int32_t b = AddBook("beta"), a = AddBook("Alpha"), g = AddBook("GAMMA");
    const int32_t r1 = AddRecipe("zucchini bread"), r2 = AddRecipe("Apple pie"),
                  r3 = AddRecipe("banana split");
    for (int32_t r : {r1, r2, r3})
        AddEntry(b, r);
    AddEntry(a, r2);
    const int32_t orphan = 9999; // an entry whose recipe has no summary is not listed
    AddEntry(b, orphan);
    Current(r1);
    core.PaneShown();
    EXPECT_THAT(Texts(core.lboxBooks), ElementsAre("Alpha", "beta", "GAMMA"));
    EXPECT_EQ(core.ShownBook(), a) << "the first book in the list's order is loaded";
    SelectBook("beta");
    EXPECT_THAT(Texts(core.lboxBookRecipes),
                ElementsAre("Apple pie", "banana split", "zucchini bread"));
    EXPECT_EQ(core.lboxBookRecipes.ItemIndex(), 0);
    const auto& e = core.Enabled();
    EXPECT_TRUE(e.Add && e.Remove && e.Delete && e.Print);
    ExpectIndexesBack();
    (void)g;
}

TEST_F(BookCore, EachAdditionAndRemovalIsStoredWhenMade) {
    const int32_t a = AddBook("A"), b = AddBook("B");
    const int32_t r1 = AddRecipe("One"), r2 = AddRecipe("Two"), r3 = AddRecipe("Three");
    AddEntry(b, r3);
    core.PaneShown();
    ASSERT_EQ(core.ShownBook(), a);
    Current(r1);
    core.btnAddClick();
    EXPECT_THAT(Entries()[a], ElementsAre(r1)) << "stored before the pane is left";
    Current(r2);
    core.btnAddClick();
    EXPECT_FALSE(core.BookChanged);
    EXPECT_FALSE(store.InTransaction());
    EXPECT_THAT(Entries()[a], ElementsAre(r1, r2));
    core.lboxBookRecipes.SetItemIndex(core.lboxBookRecipes.IndexOfId(r1));
    core.btnRemoveClick();
    EXPECT_THAT(Entries()[a], ElementsAre(r2));
    SelectBook("B");
    EXPECT_THAT(Entries()[a], ElementsAre(r2));
    EXPECT_THAT(Entries()[b], ElementsAre(r3));
    EXPECT_THAT(Texts(core.lboxBookRecipes), ElementsAre("Three"));
    ExpectIndexesBack();
}

TEST_F(BookCore, AddingARecipeTwiceIsRefusedAndChangesNothing) {
    AddBook("A");
    const int32_t r = AddRecipe("One");
    core.PaneShown();
    Current(r);
    core.btnAddClick();
    EXPECT_THAT(Texts(core.lboxBookRecipes), ElementsAre("One"));
    EXPECT_EQ(core.lboxBookRecipes.ItemIndex(), 0) << "the first entry is selected";
    EXPECT_TRUE(core.Enabled().Print);
    try {
        core.btnAddClick();
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Recipe is already in the book.");
    }
    EXPECT_EQ(core.lboxBookRecipes.Count(), 1);
}

TEST_F(BookCore, RemoveAndAddBackEachStoredAtOnce) {
    const int32_t a = AddBook("A");
    AddBook("B");
    const int32_t kept = AddRecipe("Kept"), fresh = AddRecipe("Fresh");
    AddEntry(a, kept);
    core.PaneShown();
    core.btnRemoveClick();
    EXPECT_THAT(Entries()[a], IsEmpty());
    Current(kept);
    core.btnAddClick();
    EXPECT_THAT(Entries()[a], ElementsAre(kept));
    EXPECT_THAT(core.RemovedRecipes, IsEmpty());
    Current(fresh);
    core.btnAddClick();
    core.lboxBookRecipes.SetItemIndex(core.lboxBookRecipes.IndexOfId(fresh));
    core.btnRemoveClick();
    EXPECT_THAT(Entries()[a], ElementsAre(kept));
    SelectBook("B");
    EXPECT_THAT(Entries()[a], ElementsAre(kept));
}

TEST_F(BookCore, RemovingTheLastEntryLeavesNothingSelected) {
    const int32_t a = AddBook("A");
    const int32_t r1 = AddRecipe("One"), r2 = AddRecipe("Two");
    AddEntry(a, r1);
    AddEntry(a, r2);
    core.PaneShown();
    core.btnRemoveClick(); // "One" selected; the last entry becomes selected
    EXPECT_THAT(Texts(core.lboxBookRecipes), ElementsAre("Two"));
    EXPECT_EQ(core.lboxBookRecipes.ItemIndex(), 0);
    core.btnRemoveClick();
    EXPECT_TRUE(core.lboxBookRecipes.Empty());
    EXPECT_FALSE(core.lboxBookRecipes.HasSelection());
    EXPECT_FALSE(core.Enabled().Remove);
    EXPECT_FALSE(core.Enabled().Print);
    EXPECT_TRUE(core.Enabled().Delete);
    EXPECT_TRUE(core.PaneCloseQuery());
    EXPECT_THAT(Entries()[a], IsEmpty());
}

TEST_F(BookCore, NewBookAsksForANameAndStoresItAtOnce) {
    AddBook("Desserts");
    const int32_t a = AddBook("Starters");
    const int32_t r = AddRecipe("Soup");
    core.PaneShown();
    SelectBook("Starters");
    Current(r);
    core.btnAddClick();

    ScriptedPrompts prompts;
    prompts.AnswerInput(std::nullopt, "New Book Name");
    core.btnNewClick(prompts);
    EXPECT_EQ(core.lboxBooks.Count(), 2) << "cancel stores nothing";

    prompts.AnswerInput(std::string(), "New Book Name");
    EXPECT_THROW(core.btnNewClick(prompts), std::runtime_error);
    EXPECT_EQ(store.tblRecipeBook().RecordCount(), 2);

    // Same name as an existing book without regard to case: a second book, and the
    // selection goes to the first equal entry in the list's order.
    prompts.AnswerInput(std::string("DESSERTS"), "New Book Name");
    core.btnNewClick(prompts);
    EXPECT_EQ(store.tblRecipeBook().RecordCount(), 3);
    EXPECT_THAT(Texts(core.lboxBooks), ElementsAre("Desserts", "DESSERTS", "Starters"));
    EXPECT_EQ(core.lboxBooks.ItemIndex(), 0);
    EXPECT_THAT(Entries()[a], ElementsAre(r));
    EXPECT_FALSE(core.BookChanged);

    // A long name is shown in full until the list is refilled, then cut to 100.
    const std::string longName(120, 'n');
    prompts.AnswerInput(longName);
    core.btnNewClick(prompts);
    EXPECT_EQ(core.lboxBooks.At(core.lboxBooks.ItemIndex()).Text, longName);
    EXPECT_EQ(core.lboxBookRecipes.Count(), 0);
    core.FillBookList();
    EXPECT_EQ(core.lboxBooks.At(core.lboxBooks.IndexOfText(std::string(100, 'n'))).Text.size(),
              100u);
    EXPECT_TRUE(prompts.done());
    EXPECT_THAT(prompts.failures(), IsEmpty());
    ASSERT_FALSE(prompts.asked().empty());
    EXPECT_EQ(prompts.asked()[0].what, "input");
}

TEST_F(BookCore, DeleteBookAsksAndTouchesNoOtherBook) {
    const int32_t a = AddBook("A"), b = AddBook("B");
    const int32_t r1 = AddRecipe("One"), r2 = AddRecipe("Two");
    AddEntry(a, r1);
    AddEntry(a, r2);
    AddEntry(b, r1);
    core.PaneShown();
    core.btnRemoveClick(); // a removal in A, gone with A

    ScriptedPrompts prompts;
    prompts.answer(PromptAnswer::No, "Are you sure you want to delete this Book?");
    core.btnDeleteClick(prompts);
    EXPECT_EQ(store.tblRecipeBook().RecordCount(), 2);

    prompts.answer(PromptAnswer::Yes, "Are you sure you want to delete this Book?");
    core.btnDeleteClick(prompts);
    EXPECT_EQ(prompts.asked().back().kind, PromptKind::Warning);
    EXPECT_EQ(store.tblRecipeBook().RecordCount(), 1);
    auto entries = Entries();
    EXPECT_EQ(entries.count(a), 0u);
    EXPECT_THAT(entries[b], ElementsAre(r1));
    EXPECT_FALSE(core.BookChanged);
    EXPECT_THAT(Texts(core.lboxBooks), ElementsAre("B"));
    EXPECT_EQ(core.ShownBook(), b);
    EXPECT_THAT(Texts(core.lboxBookRecipes), ElementsAre("One"));
    EXPECT_FALSE(store.InTransaction());
    ExpectIndexesBack();
}

TEST_F(BookCore, FailedSaveRollsBackAndKeepsTheChangesPending) {
    const int32_t a = AddBook("A");
    AddBook("B");
    const int32_t stored = AddRecipe("Stored"), added = AddRecipe("Added");
    AddEntry(a, stored);
    core.PaneShown();
    RawSql("tbl104.nx1", "CREATE TRIGGER nomore BEFORE INSERT ON tblRecipeInBook BEGIN SELECT "
                         "RAISE(ABORT, 'disk is full'); END;");
    // The addition cannot be stored and stays pending; the removal that follows is written
    // with it, before the failing insert, and goes back with it.
    Current(added);
    EXPECT_THROW(core.btnAddClick(), std::exception);
    EXPECT_TRUE(core.BookChanged);
    core.lboxBookRecipes.SetItemIndex(core.lboxBookRecipes.IndexOfId(stored));
    EXPECT_THROW(core.btnRemoveClick(), std::exception);

    core.lboxBooks.SetItemIndex(core.lboxBooks.IndexOfText("B"));
    try {
        core.lboxBooksClick();
        FAIL() << "the save did not fail";
    } catch (const std::exception& e) {
        EXPECT_THAT(e.what(), ::testing::HasSubstr("disk is full"));
    }
    EXPECT_FALSE(store.InTransaction());
    EXPECT_THAT(Entries()[a], ElementsAre(stored)) << "the deletion was rolled back";
    EXPECT_TRUE(core.BookChanged);
    EXPECT_THAT(core.RemovedRecipes, ElementsAre(stored));
    EXPECT_THAT(Texts(core.lboxBookRecipes), ElementsAre("Added"));
    EXPECT_EQ(core.ShownBook(), a);
    EXPECT_EQ(core.lboxBooks.Selected()->Id, a)
        << "the selection stays with the book whose changes are pending";
    ExpectIndexesBack();
    EXPECT_THROW(core.PaneCloseQuery(), std::exception);

    RawSql("tbl104.nx1", "DROP TRIGGER nomore;");
    EXPECT_TRUE(core.PaneCloseQuery());
    EXPECT_THAT(Entries()[a], ElementsAre(added));
    EXPECT_FALSE(core.BookChanged);
}

TEST_F(BookCore, RowsVanishingBehindThePanesBackLeaveNoOrphanEntries) {
    const int32_t a = AddBook("A"), b = AddBook("B");
    AddBook("C");
    const int32_t r1 = AddRecipe("One"), r2 = AddRecipe("Two");
    core.PaneShown();
    // Recipe "Two" is deleted while its addition to A waits (a failed write left it pending).
    Current(r1);
    core.btnAddClick();
    RawSql("tbl104.nx1", "CREATE TRIGGER nomore BEFORE INSERT ON tblRecipeInBook BEGIN SELECT "
                         "RAISE(ABORT, 'disk is full'); END;");
    Current(r2);
    EXPECT_THROW(core.btnAddClick(), std::exception);
    RawSql("tbl104.nx1", "DROP TRIGGER nomore;");
    ASSERT_TRUE(store.DeleteRecipe(r2));
    SelectBook("B");
    EXPECT_THAT(Entries()[a], ElementsAre(r1));
    // Book B is deleted before an addition to it is made.
    ASSERT_TRUE(store.DeleteBook(b));
    Current(r1);
    core.btnAddClick();
    SelectBook("C");
    EXPECT_EQ(Entries().count(b), 0u) << "no entries for a book that is gone";
    EXPECT_FALSE(core.BookChanged);
    // Deleting the vanished book from the list refreshes the list without an error.
    core.FillBookList();
    ScriptedPrompts prompts;
    prompts.answer(PromptAnswer::Yes);
    ASSERT_TRUE(store.DeleteBook(a));
    core.lboxBooks.SetItemIndex(core.lboxBooks.IndexOfText("A"));
    core.btnDeleteClick(prompts);
    EXPECT_THAT(Texts(core.lboxBooks), ElementsAre("C"));
    ExpectIndexesBack();
}

} // namespace
} // namespace larderly
