// The recipe store: buffers, saves and loads, lookups, deletes, indexes, transactions and
// the table files.
#include "TestHome.h"
#include "store/Labels.h"
#include "store/RecipeSummaries.h"
#include "store/Tables.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>

using namespace larderly;
using larderly::testing::TestHome;

namespace {

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        store.OpenDatabase(home.home());
        store.SetTablesOpen(true);
    }

    int32_t AddRecipe(const std::string& title, std::vector<std::string> text = {},
                      std::array<int32_t, 4> cats = {-1, -1, -1, -1}) {
        store.ClearBuffers();
        store.RecipeRec.Title = title;
        store.RecipeRec.Category = cats;
        store.RecipeText = std::move(text);
        return store.SaveRecord(rkRecipe);
    }

    int32_t AddEntry(int32_t recipe, int32_t book) {
        store.ClearBuffers();
        store.BookEntryRec.RecipeID = recipe;
        store.BookEntryRec.BookID = book;
        return store.SaveRecord(rkBookEntry);
    }

    int CountEntries() {
        int n = 0;
        TTable& t = store.tblRecipeInBook();
        for (t.First(); !t.Eof(); t.Next())
            ++n;
        return n;
    }

    void ExpectAllOnInternalID() {
        EXPECT_EQ(store.tblListLabel().IndexName(), "InternalID");
        EXPECT_EQ(store.tblRecipes().IndexName(), "InternalID");
        EXPECT_EQ(store.tblRecipeBook().IndexName(), "InternalID");
        EXPECT_EQ(store.tblRecipeInBook().IndexName(), "InternalID");
    }

    TestHome home;
    TfmTables store;
};

} // namespace

TEST_F(StoreTest, FirstStartCreatesTheFourTableFiles) {
    for (const auto& f : kTableFiles)
        EXPECT_TRUE(std::filesystem::exists(home.data() + "/" + f)) << f;
    EXPECT_EQ(store.tblRecipes().RecordCount(), 0);
    EXPECT_FALSE(store.FindRecipe(1)) << "an empty table gives false";
    EXPECT_FALSE(store.FindLabel(1));
}

TEST_F(StoreTest, SaveAppendsThenUpdatesTheSameRow) {
    int32_t id = AddRecipe("Soup", {"line 1", "", "line 3"}, {3, -1, 7, -1});
    EXPECT_GT(id, 0);
    EXPECT_EQ(store.RecipeRec.InternalID, id);
    store.RecipeRec.Title = "Better Soup";
    store.RecipeText = {"only"};
    EXPECT_EQ(store.SaveRecord(rkRecipe), id);
    EXPECT_EQ(store.tblRecipes().RecordCount(), 1);

    store.ClearBuffers();
    ASSERT_TRUE(store.FindRecipe(id));
    EXPECT_EQ(store.RecipeRec.Title, "Better Soup");
    EXPECT_EQ(store.RecipeText, std::vector<std::string>{"only"});
    EXPECT_EQ(store.RecipeRec.Category, (std::array<int32_t, 4>{3, -1, 7, -1}));
}

TEST_F(StoreTest, SavingWithAnIdentifierUpdatesThatRowWhereverTheTableStands) {
    int32_t a = AddRecipe("A");
    int32_t b = AddRecipe("B");
    ASSERT_TRUE(store.FindRecipe(a));
    store.SetTablesOpen(false); // a backup closes and reopens the tables meanwhile
    store.SetTablesOpen(true);
    store.tblRecipes().First();
    store.tblRecipes().Next(); // standing on B
    store.RecipeRec.Title = "A2";
    store.SaveRecord(rkRecipe);
    ASSERT_TRUE(store.FindRecipe(b));
    EXPECT_EQ(store.RecipeRec.Title, "B");
    ASSERT_TRUE(store.FindRecipe(a));
    EXPECT_EQ(store.RecipeRec.Title, "A2");
}

TEST_F(StoreTest, FieldsAreCutToTheirWidths) {
    AddRecipe(std::string(160, 't') + "\xC3\xA9");
    EXPECT_EQ(store.RecipeRec.Title, std::string(150, 't'));
    std::string name45(44, 'n');
    name45 += "\xC3\xA9";
    int32_t label = CreateLabel(store, name45, 0);
    ASSERT_TRUE(store.FindLabel(label));
    EXPECT_EQ(store.LabelRec.Name, std::string(40, 'n'));
    EXPECT_EQ(FindLabelByName(store, name45), -1) << "the lookup takes the full name as the key";
    EXPECT_EQ(FindLabelByName(store, std::string(40, 'n')), label);
    store.ClearBuffers();
    store.BookRec.Name = std::string(120, 'b');
    store.SaveRecord(rkBook);
    EXPECT_EQ(store.BookRec.Name.size(), 100u);
}

TEST_F(StoreTest, RecipeTextFormat) {
    EXPECT_EQ(EncodeRecipeText({"a", "", "b"}), "a\r\n\r\nb\r\n");
    EXPECT_EQ(EncodeRecipeText({}), "");
    struct Case {
        std::string blob;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {}},
        {"a\nb\n", {"a", "b"}},
        {"a\rb\r\nc", {"a", "b", "c"}},
        {"a\r\n\r\n", {"a", ""}},
        {std::string("a\r\nb\0c\r\n", 8), {"a", "b"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeRecipeText(c.blob), c.lines) << c.blob;

    int32_t id = AddRecipe("Empty", {});
    ASSERT_TRUE(store.FindRecipe(id));
    EXPECT_TRUE(store.RecipeText.empty());
}

TEST_F(StoreTest, FindRecipeOfAMissingIdentifierRaisesTheStoreMessage) {
    AddRecipe("A");
    store.tblRecipes().SetIndexName("TitleIndex");
    try {
        store.FindRecipe(999);
        FAIL();
    } catch (const EStoreError& e) {
        EXPECT_STREQ(e.what(), "Unable to find Recipe Record. Contact Support");
    }
    EXPECT_EQ(store.tblRecipes().IndexName(), "InternalID");
    CreateLabel(store, "x", 0);
    EXPECT_THROW(store.FindLabel(999), EStoreError);
    ExpectAllOnInternalID();
}

TEST_F(StoreTest, DeletesWalkOnlyTheirRangeAndReturnToInternalID) {
    int32_t r1 = AddRecipe("R1"), r2 = AddRecipe("R2"), r3 = AddRecipe("R3");
    store.ClearBuffers();
    store.BookRec.Name = "Book";
    int32_t b1 = store.SaveRecord(rkBook);
    store.BookRec.InternalID = -1;
    store.BookRec.Name = "Empty book";
    int32_t b2 = store.SaveRecord(rkBook);
    AddEntry(r1, b1);
    AddEntry(r2, b1);
    AddEntry(r1, 77);
    AddEntry(r3, 77);

    store.RemoveRecipeFromBooks(r1);
    EXPECT_EQ(CountEntries(), 2);
    store.RemoveRecipeFromBooks(12345); // in no book
    EXPECT_EQ(CountEntries(), 2);

    EXPECT_TRUE(store.DeleteBook(b2)) << "a book with no entries";
    EXPECT_TRUE(store.DeleteBook(b1));
    EXPECT_FALSE(store.DeleteBook(b1));
    EXPECT_EQ(CountEntries(), 1);
    EXPECT_EQ(store.tblRecipeBook().RecordCount(), 0);

    EXPECT_TRUE(store.DeleteRecipe(r2));
    EXPECT_FALSE(store.DeleteRecipe(r2));
    ExpectAllOnInternalID();
}

TEST_F(StoreTest, DeleteMovesToTheFollowingRowAndRangesCount) {
    for (int i = 0; i < 5; ++i)
        AddEntry(i % 2, 9);
    TTable& t = store.tblRecipeInBook();
    t.SetIndexName("RecipeIndex");
    t.SetRange(int64_t{0});
    EXPECT_EQ(t.RecordCount(), 3);
    t.First();
    int32_t first = t.FieldAsInteger(fld::InternalID);
    t.Delete();
    ASSERT_FALSE(t.Eof());
    EXPECT_GT(t.FieldAsInteger(fld::InternalID), first);
    EXPECT_EQ(t.FieldAsInteger(fld::RecipeID), 0);
    t.CancelRange();
    t.SetIndexName("BookRecipeIndex");
    EXPECT_TRUE(t.FindKey({int64_t{9}, int64_t{1}}));
    EXPECT_EQ(t.FieldAsInteger(fld::RecipeID), 1);
    EXPECT_FALSE(t.FindKey({int64_t{9}, int64_t{5}}));
    t.SetIndexName("InternalID");
}

TEST_F(StoreTest, TitleIndexOrdersTitles) {
    AddRecipe("beta");
    AddRecipe("Alpha");
    AddRecipe("gamma");
    TTable& t = store.tblRecipes();
    t.SetIndexName("TitleIndex");
    std::vector<std::string> titles;
    for (t.First(); !t.Eof(); t.Next())
        titles.push_back(t.FieldAsString(fld::Title));
    EXPECT_EQ(titles, (std::vector<std::string>{"Alpha", "beta", "gamma"}));
    EXPECT_THROW(t.SetIndexName("NoSuchIndex"), EStoreError);
    t.SetIndexName("InternalID");
}

TEST_F(StoreTest, ChangingTheIndexEndsAWalkAndItsReadLock) {
    AddRecipe("beta");
    AddRecipe("Alpha");
    auto busyStatements = [&] {
        int n = 0;
        for (sqlite3_stmt* st = sqlite3_next_stmt(store.Connection().handle(), nullptr); st;
             st = sqlite3_next_stmt(store.Connection().handle(), st))
            n += sqlite3_stmt_busy(st) ? 1 : 0;
        return n;
    };
    TTable& t = store.tblRecipes();
    for (const char* next : {"TitleIndex", "InternalID"}) {
        t.First(); // stands on the first of two rows: the walk is open
        EXPECT_EQ(busyStatements(), 1);
        t.SetIndexName(next);
        EXPECT_EQ(busyStatements(), 0) << next;
    }
    // The walk starts afresh under the new index.
    t.SetIndexName("TitleIndex");
    t.First();
    EXPECT_EQ(t.FieldAsString(fld::Title), "Alpha");
    t.SetIndexName("InternalID");
}

TEST_F(StoreTest, RollbackUndoesWorkAcrossTableFiles) {
    {
        Transaction tx(store);
        int32_t r = AddRecipe("Gone");
        SetCategorySlot(store, 1, "Soups");
        AddEntry(r, 1);
        EXPECT_TRUE(store.InTransaction());
    } // no commit
    EXPECT_FALSE(store.InTransaction());
    EXPECT_EQ(store.tblRecipes().RecordCount(), 0);
    EXPECT_EQ(store.tblListLabel().RecordCount(), 0);
    EXPECT_EQ(CountEntries(), 0);

    Transaction tx(store);
    AddRecipe("Kept");
    tx.Commit();
    EXPECT_EQ(store.tblRecipes().RecordCount(), 1);
}

TEST_F(StoreTest, AProcessKilledInsideATransactionLeavesTheLastCommittedState) {
    AddRecipe("Committed");
    store.SetTablesOpen(false);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t pid = fork();
    if (pid == 0) {
        TfmTables child;
        child.OpenDatabase(home.home());
        child.SetTablesOpen(true);
        child.StartTransaction();
        for (int i = 0; i < 200; ++i) {
            child.ClearBuffers();
            child.RecipeRec.Title = "Uncommitted " + std::to_string(i);
            child.RecipeText = std::vector<std::string>(50, std::string(60, 'x'));
            child.SaveRecord(rkRecipe);
            SetCategorySlot(child, 1, "Label " + std::to_string(i));
        }
        char c = 1;
        (void)!write(ready[1], &c, 1);
        pause();
        _exit(0);
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    close(ready[0]);
    close(ready[1]);

    store.SetTablesOpen(true);
    EXPECT_EQ(store.tblRecipes().RecordCount(), 1);
    EXPECT_EQ(store.tblListLabel().RecordCount(), 0);
    store.tblRecipes().First();
    EXPECT_EQ(store.tblRecipes().FieldAsString(fld::Title), "Committed");
}

TEST_F(StoreTest, ClosedTablesReleaseTheirFiles) {
    AddRecipe("Old");
    store.SetTablesOpen(false);
    // Another data set replaces the files while the store is closed (as a restore does).
    {
        TestHome other;
        TfmTables second;
        second.OpenDatabase(other.home());
        second.SetTablesOpen(true);
        second.RecipeRec.Title = "New 1";
        second.SaveRecord(rkRecipe);
        second.RecipeRec.InternalID = -1;
        second.RecipeRec.Title = "New 2";
        second.SaveRecord(rkRecipe);
        second.SetTablesOpen(false);
        for (const auto& f : kTableFiles)
            std::filesystem::copy_file(other.data() + "/" + f, home.data() + "/" + f,
                                       std::filesystem::copy_options::overwrite_existing);
        setenv("LARDERLY_HOME", home.home().c_str(), 1);
    }
    store.SetTablesOpen(true);
    EXPECT_EQ(store.tblRecipes().RecordCount(), 2);
    ASSERT_TRUE(store.FindRecipe(1));
    EXPECT_EQ(store.RecipeRec.Title, "New 1");
}

TEST(StoreFiles, BadDataFoldersGiveClearMessagesAndOverwriteNothing) {
    TestHome h;
    {
        TfmTables s;
        s.OpenDatabase(h.home());
        s.SetTablesOpen(true);
    }
    // One file missing: named in the message.
    std::filesystem::rename(h.data() + "/tbl103.nx1", h.path("tbl103.keep"));
    TfmTables s;
    s.OpenDatabase(h.home());
    try {
        s.SetTablesOpen(true);
        FAIL();
    } catch (const EStoreError& e) {
        EXPECT_NE(std::string(e.what()).find("tbl103.nx1"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(s.TablesOpen());
    EXPECT_FALSE(std::filesystem::exists(h.data() + "/tbl103.nx1"))
        << "nothing is created in its place";
    std::filesystem::rename(h.path("tbl103.keep"), h.data() + "/tbl103.nx1");

    // A damaged file: named, and left as it was.
    const std::string garbage(4096, 'G');
    larderly::testing::WriteFile(h.data() + "/tbl101.nx1", garbage);
    try {
        s.SetTablesOpen(true);
        FAIL();
    } catch (const EStoreError& e) {
        EXPECT_NE(std::string(e.what()).find("tbl101.nx1"), std::string::npos) << e.what();
    }
    EXPECT_EQ(larderly::testing::ReadFile(h.data() + "/tbl101.nx1"), garbage);

    // An empty SQLite file without the table.
    std::filesystem::remove(h.data() + "/tbl101.nx1");
    larderly::testing::WriteFile(h.data() + "/tbl101.nx1", "");
    EXPECT_THROW(s.SetTablesOpen(true), EStoreError);
}

TEST(StoreFiles, AReadOnlyStoreFailsTheSaveAndKeepsTheData) {
    TestHome h;
    TfmTables s;
    s.OpenDatabase(h.home());
    s.SetTablesOpen(true);
    s.RecipeRec.Title = "Keep";
    s.SaveRecord(rkRecipe);
    s.SetTablesOpen(false);
    if (geteuid() != 0) chmod((h.data() + "/tbl102.nx1").c_str(), 0444);
    s.SetTablesOpen(true);
    if (geteuid() == 0) s.Connection().Exec("PRAGMA query_only=1"); // root ignores file modes
    {
        Transaction tx(s);
        s.ClearBuffers();
        s.RecipeRec.Title = "New";
        EXPECT_THROW(s.SaveRecord(rkRecipe), EStoreError);
    }
    EXPECT_EQ(s.tblRecipes().RecordCount(), 1);
}

TEST_F(StoreTest, WholeTablesAsValuesAndCategoryChangesThroughTheStore) {
    store.ClearBuffers();
    store.LabelRec.Name = std::string(45, 'L');
    store.LabelRec.Kind = 0;
    const int32_t longLabel = store.SaveRecord(rkLabel);
    const int32_t odd = CreateLabel(store, "Odd", 7);
    const int32_t soup = AddRecipe("Soup", {"1 leek", "Simmer."}, {longLabel, -1, -1, -1});
    const int32_t cake = AddRecipe(std::string(160, 'c'));
    store.BuildSummaries();
    store.ClearBuffers();

    const std::vector<LabelValue> labels = store.Labels();
    ASSERT_EQ(labels.size(), 2u);
    EXPECT_EQ(labels[0].InternalID, longLabel);
    EXPECT_EQ(labels[0].Name, std::string(40, 'L'));
    EXPECT_EQ(labels[1].InternalID, odd);
    EXPECT_EQ(labels[1].Kind, 2) << "a kind number other than 0 or 1 reads as undefined";
    const std::vector<RecipeRecord> recipes = store.RecipeRecords();
    ASSERT_EQ(recipes.size(), 2u);
    EXPECT_EQ(recipes[0].InternalID, soup);
    EXPECT_EQ(recipes[0].Category, (std::array<int32_t, 4>{longLabel, -1, -1, -1}));
    EXPECT_EQ(recipes[1].Title, std::string(150, 'c'));
    EXPECT_EQ(store.RecipeCount(), 2);
    EXPECT_EQ(store.LabelCount(), 2);
    int steps = 0;
    const std::vector<RecipeValue> whole = store.RecipesByIds({cake, 9999, soup}, [&] { ++steps; });
    ASSERT_EQ(whole.size(), 2u) << "an identifier with no recipe is left out";
    EXPECT_EQ(whole[0].InternalID, cake);
    EXPECT_EQ(whole[0].Title, std::string(150, 'c'));
    EXPECT_EQ(whole[1].Lines, (std::vector<std::string>{"1 leek", "Simmer."}));
    EXPECT_EQ(steps, 2);
    EXPECT_EQ(store.RecipeRec.InternalID, -1) << "the buffers are left alone";

    // New slots leave the title and text as they were; the summary follows.
    const std::array<int32_t, 4> slots{-1, odd, longLabel, -1};
    EXPECT_TRUE(store.SaveRecipeCategories(soup, slots));
    EXPECT_FALSE(store.SaveRecipeCategories(9999, slots));
    const RecipeValue stored = *store.LoadRecipeById(soup);
    EXPECT_EQ(stored.Category, slots);
    EXPECT_EQ(stored.Title, "Soup");
    EXPECT_EQ(stored.Lines, (std::vector<std::string>{"1 leek", "Simmer."}));
    EXPECT_EQ(store.Summaries().Find(soup)->Category, slots);

    EXPECT_TRUE(store.DeleteLabel(odd));
    EXPECT_FALSE(store.DeleteLabel(odd));
    EXPECT_EQ(store.LabelCount(), 1);

    // A summary goes only once its recipe has left the table.
    EXPECT_FALSE(store.RemoveSummary(cake));
    EXPECT_NE(store.Summaries().Find(cake), nullptr);
    RecipeRecord loose;
    loose.InternalID = 777;
    loose.Title = "Not stored";
    store.AppendSummaryUntold(loose);
    EXPECT_TRUE(store.Summaries().TitleExists("NOT STORED"));
    EXPECT_TRUE(store.RemoveSummary(777));
    EXPECT_FALSE(store.RemoveSummary(777));
    ExpectAllOnInternalID();
}
