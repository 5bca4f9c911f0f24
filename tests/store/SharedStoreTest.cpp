// Two stores on the same files, as the program and the command line are: what one commits
// the other sees (its summaries follow, its transactions start from it), neither fails on
// the other's lock, and a copy of the files is one committed state.
#include "TestHome.h"
#include "store/RecipeSummaries.h"
#include "store/StoreError.h"
#include "store/Tables.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <unistd.h>

using namespace larderly;
using larderly::testing::ReadFile;
using larderly::testing::TestHome;

namespace {

struct Recorder : ISummaryObserver {
    struct Told {
        bool reload;
        std::vector<std::pair<TSummaryChange::Kind, std::string>> changes;
    };
    RecipeSummaries* summaries = nullptr;
    std::vector<Told> told;
    void SummariesChanged(const std::vector<TSummaryChange>& changes) override {
        Told t{summaries->Reloading(), {}};
        for (const auto& c : changes)
            t.changes.emplace_back(c.What, c.Summary->Title);
        told.push_back(std::move(t));
    }
};

class SharedStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (TfmTables* t : {&program, &cli}) {
            t->OpenDatabase(home.home());
            t->SetTablesOpen(true);
        }
    }

    static int32_t Save(TfmTables& t, const std::string& title, int32_t id = -1) {
        RecipeValue v;
        v.InternalID = id;
        v.Title = title;
        v.Lines = {"text of " + title};
        Transaction tx(t);
        t.SaveRecipeValue(v);
        tx.Commit();
        return v.InternalID;
    }

    TestHome home;
    TfmTables program, cli;
};

TEST_F(SharedStoreTest, SummariesFollowTheOtherStoresCommits) {
    const int32_t keep = Save(program, "Apple pie");
    const int32_t renamed = Save(program, "Carrot cake");
    const int32_t gone = Save(program, "Damson jam");
    program.BuildSummaries();
    Recorder rec;
    rec.summaries = &program.Summaries();
    program.Summaries().AddObserver(&rec);
    const TRecipeSummary* kept = program.Summaries().Find(keep);

    // Its own commits are not changes made elsewhere.
    Save(program, "Elderflower cordial");
    ASSERT_TRUE(program.PollChangesElsewhere());
    EXPECT_EQ(program.ChangesElsewhere()[1], 0u);
    rec.told.clear();

    Save(cli, "Banana bread");
    Save(cli, "Carrot and walnut cake", renamed);
    {
        Transaction tx(cli);
        cli.DeleteRecipe(gone);
        tx.Commit();
    }
    ASSERT_TRUE(program.PollChangesElsewhere(false));
    EXPECT_EQ(program.ChangesElsewhere()[1], 1u);
    EXPECT_EQ(program.ChangesElsewhere()[2], 0u) << "the books were not touched";
    EXPECT_TRUE(program.SyncSummaries());
    EXPECT_FALSE(program.SyncSummaries()) << "nothing new the second time";

    ASSERT_EQ(rec.told.size(), 1u) << "one change for the whole reload";
    EXPECT_TRUE(rec.told[0].reload);
    using K = TSummaryChange;
    const std::vector<std::pair<K::Kind, std::string>> expected{
        {K::Updated, "Carrot and walnut cake"},
        {K::Added, "Banana bread"},
        {K::Removed, "Damson jam"}};
    EXPECT_EQ(rec.told[0].changes, expected);
    EXPECT_EQ(program.Summaries().Find(keep), kept) << "an unchanged summary stays where it was";
    EXPECT_EQ(program.Summaries().Count(), 4u);
    EXPECT_TRUE(program.Summaries().TitleExists("BANANA BREAD"));
    EXPECT_FALSE(program.Summaries().TitleExists("Damson jam"));
    program.Summaries().RemoveObserver(&rec);
}

TEST_F(SharedStoreTest, ATransactionStartsFromWhatTheOtherStoreCommitted) {
    Save(program, "Apple pie");
    program.BuildSummaries();
    Save(cli, "Fig roll");
    // An import's title check inside the transaction sees the other store's recipe.
    Transaction tx(program);
    EXPECT_TRUE(program.Summaries().TitleExists("fig roll"));
    tx.Commit();
    EXPECT_EQ(program.Summaries().Count(), 2u);
}

TEST_F(SharedStoreTest, ChangesMadeWhileTheTablesWereClosedAreCounted) {
    program.SetTablesOpen(false);
    Save(cli, "Ginger beer");
    program.SetTablesOpen(true);
    EXPECT_EQ(program.ChangesElsewhere()[1], 1u);
    EXPECT_EQ(program.ChangesElsewhere()[0], 0u);
}

TEST_F(SharedStoreTest, AWriterWaitsForTheOtherInsteadOfFailing) {
    // The program reads, then writes, inside its transaction while the command line's
    // transaction is open: each waits for the other's lock rather than failing at once with
    // "database is locked".
    const int32_t id = Save(program, "Apple pie");
    std::atomic<bool> cliInside{false};
    std::string cliError;
    Transaction tx(program);
    RecipeValue mine{id, "Apple pie", {-1, -1, -1, -1}, {"changed"}};
    program.SaveRecipeValue(mine);
    std::thread other([&] {
        try {
            Transaction otx(cli);
            cliInside = true;
            ASSERT_TRUE(cli.LoadRecipeById(id).has_value());
            RecipeValue v{-1, "Banana bread", {-1, -1, -1, -1}, {}};
            cli.SaveRecipeValue(v);
            otx.Commit();
        } catch (const std::exception& e) {
            cliError = e.what();
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(cliInside) << "the second writer waits at the start of its transaction";
    tx.Commit();
    other.join();
    EXPECT_EQ(cliError, "");
    EXPECT_EQ(program.tblRecipes().RecordCount(), 2);
}

TEST_F(SharedStoreTest, SnapshotIsACommittedStateWithTheFilesStamps) {
    Save(program, "Apple pie");
    const std::string copies = home.path("snap");
    std::filesystem::create_directories(copies);
    // A write under way (not committed) in the other store is not in the copies, and its
    // commit after the copy succeeds.
    Transaction tx(cli);
    RecipeValue v{-1, "Banana bread", {-1, -1, -1, -1}, {}};
    cli.SaveRecipeValue(v);
    const std::vector<std::string> files = SnapshotTableFiles(home.data(), copies);
    ASSERT_EQ(files.size(), 4u);
    for (const auto& f : kTableFiles) {
        EXPECT_EQ(std::filesystem::last_write_time(copies + "/" + f),
                  std::filesystem::last_write_time(home.data() + "/" + f))
            << f;
        EXPECT_EQ(ReadFile(copies + "/" + f), ReadFile(home.data() + "/" + f)) << f;
    }
    tx.Commit();
    TfmTables copy;
    copy.OpenDatabase(home.path("snap-home"));
    std::filesystem::create_directories(home.path("snap-home"));
    std::filesystem::rename(copies, home.path("snap-home/data"));
    copy.SetTablesOpen(true);
    EXPECT_EQ(copy.tblRecipes().RecordCount(), 1);
    EXPECT_EQ(program.tblRecipes().RecordCount(), 2);
}

} // namespace

namespace {

// A change made while a command-line job holds the writer lock waits for it, and when the
// job does not end in time says in words which job is writing, never "database is locked";
// once the job has ended the change is stored.
TEST_F(SharedStoreTest, AChangeDuringAnImportSaysWhichJobIsWriting) {
    cli.HoldWriteLock("the import", {});
    try {
        Transaction tx(program);
        FAIL() << "the transaction started under another writer";
    } catch (const EStoreError& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("the import in process " + std::to_string(getpid()) +
                            " is writing to the data folder"),
                  std::string::npos)
            << text;
        EXPECT_EQ(text.find("database is locked"), std::string::npos) << text;
    }
    EXPECT_FALSE(program.InTransaction());
    cli.SetTablesOpen(false); // the job ends: its lock goes with its tables
    EXPECT_GT(Save(program, "Soup"), 0);
}

} // namespace

namespace {

// A store opened while another holds a write transaction waits for it, and then leaves the
// files the other has open as they are: its indexes stay out of use here rather than being
// removed under the other's feet, whose commit goes through. A lock that outlasts the wait is
// reported as the data folder being in use by the job that holds it, never as a read-only
// file.
TEST_F(SharedStoreTest, AnotherStoresWriteIsAFolderInUseAndItsFilesStay) {
    const int32_t id = Save(program, "Apple pie");
    program.SetTablesOpen(false);
    Save(cli, "Banana bread"); // the program's indexes are behind the tables now
    const std::string job = "the import in process " + std::to_string(getpid());
    cli.HoldWriteLock("the import", {});
    {
        Transaction tx(cli);
        RecipeValue v{-1, "Carrot cake", {-1, -1, -1, -1}, {"grated carrots"}};
        cli.SaveRecipeValue(v);
        ASSERT_NO_THROW(program.SetTablesOpen(true));
        try {
            program.SearchIndex().Search("apple");
            ADD_FAILURE() << "the index was taken into use under the other's write";
        } catch (const EStoreError& e) {
            EXPECT_NE(std::string(e.what()).find("is in use by " + job), std::string::npos)
                << e.what();
        }
        EXPECT_NO_THROW(tx.Commit());
    }
    EXPECT_EQ(cli.SearchIndex().Search("carrots").size(), 1u);

    // A lock held over the whole file keeps even readers out until the wait is over.
    cli.Connection().Exec("BEGIN EXCLUSIVE");
    try {
        program.LoadRecipeById(id);
        ADD_FAILURE() << "read under another's exclusive lock";
    } catch (const EStoreBusy& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("the data folder " + home.data() + " is in use by " + job),
                  std::string::npos)
            << text;
        EXPECT_EQ(text.find("read-only"), std::string::npos) << text;
        EXPECT_EQ(text.find("database is locked"), std::string::npos) << text;
    }
    cli.Connection().Exec("ROLLBACK");
    EXPECT_EQ(program.LoadRecipeById(id)->Title, "Apple pie");
}

} // namespace
