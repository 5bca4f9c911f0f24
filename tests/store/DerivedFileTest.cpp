// Layout versions of the derived files: a new file gets the current layout, an older one is
// stepped up one version at a time, a newer one is refused and left as it was, and the table
// files are never written on the way.
#include "store/DerivedFile.h"
#include "TestHome.h"
#include "store/Tables.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <stdexcept>

using namespace larderly;
using larderly::testing::ReadFile;
using larderly::testing::TestHome;

namespace {

// A small layout of three versions whose steps carry the data over and log themselves.
struct NotesLayout {
    std::vector<std::string> log;
    bool failStepTwo = false;

    TDerivedLayout Layout() {
        TDerivedLayout l;
        l.Schema = "notes";
        l.What = "notes index";
        l.Version = 3;
        l.Create = [this](SqlConnection& c) {
            log.push_back("create");
            c.Exec("CREATE TABLE notes.note(id INTEGER, text TEXT, tag TEXT DEFAULT '')");
            c.Exec("CREATE TABLE notes.tags(tag TEXT)");
        };
        l.Steps = {
            [this](SqlConnection& c) {
                log.push_back("1->2");
                c.Exec("ALTER TABLE notes.note ADD COLUMN tag TEXT DEFAULT ''");
                c.Exec("UPDATE notes.note SET tag = 'old'");
            },
            [this](SqlConnection& c) {
                log.push_back("2->3");
                c.Exec("CREATE TABLE notes.tags(tag TEXT)");
                c.Exec("INSERT INTO notes.tags SELECT DISTINCT tag FROM notes.note");
                if (failStepTwo) throw std::runtime_error("step failed");
            },
        };
        return l;
    }
};

// Runs SQL on a file through a connection of its own.
void Exec(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
}

std::string One(SqlConnection& c, const std::string& sql) {
    SqlStatement st(c.handle(), sql);
    return st.Step() ? st.ColumnText(0) : "(none)";
}

class DerivedFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        main.Open(home.path("main.db"));
        // A version-1 file with two notes.
        Exec(file, "CREATE TABLE note(id INTEGER, text TEXT); INSERT INTO note VALUES(1, 'a'), "
                   "(2, 'b'); PRAGMA user_version = 1");
    }
    TestHome home;
    SqlConnection main;
    std::string file = home.path("notes.idx");
    NotesLayout notes;
};

} // namespace

TEST_F(DerivedFileTest, NewFilesAreCreatedAndOlderOnesSteppedUpOneVersionAtATime) {
    EXPECT_EQ(AttachDerivedFile(main, file, notes.Layout()), 1);
    EXPECT_EQ(notes.log, (std::vector<std::string>{"1->2", "2->3"}));
    EXPECT_EQ(DerivedFileVersion(main, "notes"), 3);
    EXPECT_EQ(One(main, "SELECT group_concat(id || text || tag) FROM notes.note"), "1aold,2bold");
    EXPECT_EQ(One(main, "SELECT tag FROM notes.tags"), "old");
    DetachDerivedFile(main, "notes");

    // Current already: nothing runs; a new file gets the current layout at once.
    notes.log.clear();
    EXPECT_EQ(AttachDerivedFile(main, file, notes.Layout()), 3);
    EXPECT_TRUE(notes.log.empty());
    DetachDerivedFile(main, "notes");
    EXPECT_EQ(AttachDerivedFile(main, home.path("fresh.idx"), notes.Layout()), 0);
    EXPECT_EQ(notes.log, std::vector<std::string>{"create"});
    EXPECT_EQ(DerivedFileVersion(main, "notes"), 3);
}

TEST_F(DerivedFileTest, AFailedStepLeavesTheFileAtTheVersionBeforeIt) {
    notes.failStepTwo = true;
    EXPECT_THROW(AttachDerivedFile(main, file, notes.Layout()), std::runtime_error);
    EXPECT_EQ(DerivedFileVersion(main, "notes"), 2);
    EXPECT_EQ(One(main, "SELECT count(*) FROM notes.sqlite_schema WHERE name = 'tags'"), "0");
    DetachDerivedFile(main, "notes");
    notes.failStepTwo = false;
    notes.log.clear();
    EXPECT_EQ(AttachDerivedFile(main, file, notes.Layout()), 2);
    EXPECT_EQ(notes.log, std::vector<std::string>{"2->3"});
}

TEST_F(DerivedFileTest, AFileFromANewerVersionIsRefusedAndLeftAsItWas) {
    Exec(file, "PRAGMA user_version = 7");
    const std::string before = ReadFile(file);
    try {
        AttachDerivedFile(main, file, notes.Layout());
        ADD_FAILURE() << "a newer file was taken";
    } catch (const EDerivedFileNewer& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find(file), std::string::npos) << text;
        EXPECT_NE(text.find("newer version"), std::string::npos) << text;
        EXPECT_NE(text.find("delete the file"), std::string::npos) << text;
    }
    EXPECT_TRUE(notes.log.empty());
    EXPECT_EQ(ReadFile(file), before);
    EXPECT_EQ(One(main, "SELECT count(*) FROM pragma_database_list WHERE name = 'notes'"), "0")
        << "not left attached";
}

// The store's own indexes: an older search index is stepped up and built again, a newer one
// refused while the recipes stay usable; the table files are not written either way.
TEST(DerivedFileStoreTest, TheIndexesUpgradeOrRefuseWithoutTouchingTheTables) {
    TestHome home;
    const std::string index = home.data() + "/" + kSearchIndexFile;
    int32_t soup = -1;
    {
        TfmTables store;
        store.OpenDatabase(home.home());
        store.SetTablesOpen(true);
        RecipeValue r;
        r.Title = "Leek soup";
        r.Lines = {"2 leeks"};
        soup = store.SaveRecipeValue(r);
        store.SetTablesOpen(false);
    }
    auto tables = [&] {
        std::string all;
        for (const std::string& f : kTableFiles)
            all += ReadFile(home.data() + "/" + f);
        return all;
    };
    const std::string tablesBefore = tables();

    Exec(index, "PRAGMA user_version = 2");
    {
        TfmTables store;
        store.OpenDatabase(home.home());
        store.SetTablesOpen(true);
        EXPECT_EQ(store.SearchIndex().Rebuilds(), 1);
        EXPECT_EQ(store.SearchIndex().Search("leek"), std::vector<int32_t>{soup});
        EXPECT_EQ(One(store.Connection(), "PRAGMA search.user_version"),
                  std::to_string(kSearchIndexVersion));
        store.SetTablesOpen(false);
    }

    Exec(index, "PRAGMA user_version = 99");
    const std::string indexBefore = ReadFile(index);
    {
        TfmTables store;
        store.OpenDatabase(home.home());
        store.SetTablesOpen(true);
        EXPECT_FALSE(store.SearchIndex().Available());
        EXPECT_NE(store.SearchIndex().Problem().find(index), std::string::npos)
            << store.SearchIndex().Problem();
        EXPECT_THROW(store.SearchIndex().Search("leek"), EStoreError);
        EXPECT_TRUE(store.IngredientIndex().Available()) << "the other index is its own";
        EXPECT_EQ(store.LoadRecipeById(soup)->Title, "Leek soup");
        store.SetTablesOpen(false);
    }
    EXPECT_EQ(ReadFile(index), indexBefore);
    EXPECT_EQ(tables(), tablesBefore);
}
