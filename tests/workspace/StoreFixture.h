// Shared set-up of the tests that need a store but no display: a fresh program folder and
// settings folder per test, recipes, labels and book entries seeded into the store, and
// reads of what the table files hold.
#pragma once

#include "store/Labels.h"
#include "store/Tables.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace larderly::test {

// A program folder and a settings folder that live for one test.
class TempHome {
public:
    TempHome() {
        char tmpl[] = "/tmp/larderly-gui-XXXXXX";
        root_ = mkdtemp(tmpl);
        std::filesystem::create_directories(root_ + "/home");
        std::filesystem::create_directories(root_ + "/win");
        setenv("LARDERLY_HOME", (root_ + "/home/").c_str(), 1);
        setenv("LARDERLY_WINDIR", (root_ + "/win/").c_str(), 1);
    }
    ~TempHome() {
        std::error_code ec;
        // Give write permission back so that a test's read-only file can be removed.
        for (auto& e : std::filesystem::recursive_directory_iterator(root_, ec))
            std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(root_, ec);
        unsetenv("LARDERLY_HOME");
        unsetenv("LARDERLY_WINDIR");
    }
    std::string Home() const { return root_ + "/home/"; }
    std::string Data() const { return root_ + "/home/data/"; }
    std::string SettingsFile() const { return root_ + "/win/rcpconfig.ini"; }

private:
    std::string root_;
};

struct SeedRecipe {
    std::string title;
    std::vector<std::string> categories; // names; created as kind-0 labels when new
    std::vector<std::string> text;
};

// Writes recipes (and their labels) into the program folder's store; gives their identifiers.
inline std::vector<int32_t> Seed(const std::string& home, const std::vector<SeedRecipe>& recipes) {
    TfmTables t;
    t.OpenDatabase(home);
    t.SetTablesOpen(true);
    std::vector<int32_t> ids;
    Transaction tr(t);
    for (const auto& r : recipes) {
        t.ClearBuffers();
        t.RecipeRec.Title = r.title;
        for (std::size_t i = 0; i < r.categories.size() && i < 4; ++i)
            SetCategorySlot(t, static_cast<int>(i) + 1, r.categories[i]);
        t.RecipeText = r.text;
        ids.push_back(t.SaveRecipe());
    }
    tr.Commit();
    t.SetTablesOpen(false);
    return ids;
}

struct StoredRecipe {
    int32_t id;
    std::string title;
    std::array<int32_t, 4> categories;
    std::vector<std::string> text;
};

// Every recipe row of the program folder's store, in identifier order.
inline std::vector<StoredRecipe> Stored(const std::string& home) {
    TfmTables t;
    t.OpenDatabase(home);
    t.SetTablesOpen(true);
    std::vector<StoredRecipe> out;
    TTable& r = t.tblRecipes();
    for (r.First(); !r.Eof(); r.Next()) {
        t.LoadRecipe();
        out.push_back(
            {t.RecipeRec.InternalID, t.RecipeRec.Title, t.RecipeRec.Category, t.RecipeText});
    }
    t.SetTablesOpen(false);
    return out;
}

// Runs SQL on one table file behind the program's back (a second connection), for
// recipes that vanish and faults that a trigger injects.
inline void ExecSql(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    char* err = nullptr;
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
    EXPECT_EQ(rc, SQLITE_OK) << (err ? err : "");
    sqlite3_free(err);
    sqlite3_close(db);
}

// Book entries written straight into the store.
inline void SeedBookEntries(const std::string& home, const std::string& book,
                            const std::vector<int32_t>& recipes) {
    TfmTables t;
    t.OpenDatabase(home);
    t.SetTablesOpen(true);
    Transaction tr(t);
    BookValue stored{-1, book};
    const int32_t bookId = t.SaveBookValue(stored);
    for (int32_t r : recipes)
        EXPECT_TRUE(t.AddBookEntry(bookId, r)) << "recipe " << r << " is not stored";
    tr.Commit();
    t.SetTablesOpen(false);
}

inline int CountRows(const std::string& file, const std::string& table) {
    sqlite3* db = nullptr;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) return -1;
    sqlite3_stmt* st = nullptr;
    int n = -1;
    if (sqlite3_prepare_v2(db, ("SELECT COUNT(*) FROM " + table).c_str(), -1, &st, nullptr) ==
            SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        n = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return n;
}

} // namespace larderly::test
