// The ingredient index: items' words as prefixes, case and plural ignored, every word needed,
// titles and directions not counted; kept in step with saves, deletes, rollbacks and bulk
// adds; rebuilt when missing, damaged, of an older layout or changed behind its back, and
// left alone when a newer version wrote it.
#include "store/Tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace larderly;

namespace {

class IngredientIndexTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/larderly-ingredients-XXXXXX";
        folder_ = mkdtemp(tmpl);
        Open();
    }
    void TearDown() override {
        store_.reset();
        std::filesystem::remove_all(folder_);
    }
    void Open() {
        store_ = std::make_unique<TfmTables>();
        store_->OpenDatabase(folder_ + "/");
        store_->SetTablesOpen(true);
    }
    void Close() { store_->SetTablesOpen(false); }
    int32_t Add(const std::string& title, std::vector<std::string> text, int32_t id = -1) {
        RecipeValue r;
        r.InternalID = id;
        r.Title = title;
        r.Lines = std::move(text);
        return store_->SaveRecipeValue(r);
    }
    std::vector<int32_t> Find(const std::string& words) {
        auto ids = store_->IngredientIndex().Search(words);
        std::sort(ids.begin(), ids.end());
        return ids;
    }
    // Runs SQL on one of the data folder's files through a connection of its own.
    void ForeignExec(const std::string& file, const std::string& sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open((folder_ + "/data/" + file).c_str(), &db), SQLITE_OK);
        sqlite3_busy_timeout(db, 2000);
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
            << sqlite3_errmsg(db);
        sqlite3_close(db);
    }
    std::string folder_;
    std::unique_ptr<TfmTables> store_;
};

using Ids = std::vector<int32_t>;

} // namespace

TEST_F(IngredientIndexTest, ItemsOnlyEveryWordPluralAndCaseIgnored) {
    const int32_t soup =
        Add("Leek soup", {"Servings: 4", "", "3 Leeks, sliced", "500 g potatoes",
                          "      1 c  Chicken broth", "", "Simmer the onions until soft."});
    const int32_t mash = Add("Mash", {"1 kg potato -- peeled", "2 tbsp butter"});
    const int32_t onions = Add("Onion tart", {"2 onions", "1 pie crust"});
    const struct {
        const char* words;
        Ids want;
    } cases[] = {
        {"leek", {soup}},
        {"LEEKS", {soup}},
        {"leek potato", {soup}},
        {"potatoes", {soup, mash}},
        {"pot", {soup, mash}},
        {"broth chicken", {soup}},
        {"onion", {onions}}, // the soup's directions and titles are no ingredients
        {"soup", {}},
        {"sliced", {}}, // a preparation is no item
        {"leek butter", {}},
        {"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Find(c.words), c.want) << c.words;
}

TEST_F(IngredientIndexTest, FollowsSavesDeletesRollbacksAndBulkAdds) {
    const int32_t a = Add("Stew", {"2 leeks"});
    EXPECT_EQ(Find("leek"), Ids{a});
    Add("Stew", {"2 parsnips"}, a);
    EXPECT_EQ(Find("leek"), Ids{});
    EXPECT_EQ(Find("parsnip"), Ids{a});
    {
        Transaction t(*store_);
        Add("Stew", {"1 turnip"}, a);
    } // rolled back
    EXPECT_EQ(Find("parsnip"), Ids{a});
    EXPECT_EQ(Find("turnip"), Ids{});
    Ids added;
    {
        Transaction t(*store_);
        TSearchIndex::TBulkAdd bulk(store_->SearchIndex());
        added = {Add("Fennel salad", {"1 fennel bulb"}), Add("Fennel soup", {"2 fennel bulbs"})};
        bulk.Finish();
        t.Commit();
    }
    EXPECT_EQ(Find("fennel"), added);
    store_->DeleteRecipe(a);
    EXPECT_EQ(Find("parsnip"), Ids{});
    Close();
    Open();
    EXPECT_EQ(store_->IngredientIndex().Rebuilds(), 0) << "a clean close keeps the index";
    EXPECT_EQ(Find("fennel"), added);
}

// A build reads the recipes in batches on several threads: every recipe of several batches is
// indexed under its own identifier, the last short batch included.
TEST_F(IngredientIndexTest, ABuildOfManyRecipesIndexesEachUnderItsOwnIdentifier) {
    Ids leeks, fennel;
    {
        Transaction t(*store_);
        for (int i = 0; i < 4100; ++i) {
            const bool leek = i % 3 == 0;
            const int32_t id =
                Add("Recipe " + std::to_string(i),
                    {"      1 ea " + std::string(leek ? "leek" : "fennel") + std::to_string(i)});
            (leek ? leeks : fennel).push_back(id);
        }
        t.Commit();
    }
    store_->IngredientIndex().Rebuild();
    EXPECT_EQ(Find("leek"), leeks);
    EXPECT_EQ(Find("fennel"), fennel);
    EXPECT_EQ(Find("leek4098"), Ids{leeks.back()});
    EXPECT_EQ(Find("fennel2048"), Ids{fennel[2048 - 2048 / 3 - 1]});
}

// Many recipes added in one transaction are indexed together before the commit; a
// transaction that rolls back instead leaves neither its recipes nor a paused index behind.
TEST_F(IngredientIndexTest, BulkAddsIndexedAtFinishOrRolledBackWhole) {
    const int32_t a = Add("Stew", {"2 leeks"});
    Ids figs;
    {
        Transaction t(*store_);
        TIngredientIndex::TBulkAdd bulk(store_->IngredientIndex());
        figs = {Add("Fig roll", {"6 figs"}), Add("Fig jam", {"1 kg figs", "1 kg sugar"})};
        Add("Stew", {"2 parsnips"}, a); // a change, not an addition
        EXPECT_EQ(Find("fig"), Ids{}) << "left for Finish";
        bulk.Finish();
        EXPECT_EQ(Find("fig"), figs);
        t.Commit();
    }
    EXPECT_EQ(Find("fig"), figs);
    EXPECT_EQ(Find("parsnip"), Ids{a});
    EXPECT_EQ(Find("leek"), Ids{});
    {
        Transaction t(*store_);
        TIngredientIndex::TBulkAdd bulk(store_->IngredientIndex());
        Add("Quince paste", {"4 quinces"});
    } // rolled back without Finish
    EXPECT_EQ(Find("quince"), Ids{});
    // Saves after either are indexed one by one again.
    const int32_t plum = Add("Plum cake", {"8 plums"});
    EXPECT_EQ(Find("plum"), Ids{plum});
    Close();
    Open();
    EXPECT_EQ(store_->IngredientIndex().Rebuilds(), 0);
    EXPECT_EQ(Find("fig"), figs);
    EXPECT_EQ(Find("plum"), Ids{plum});
}

// Recipes handed to the bulk add have their items read on the side, and are indexed in
// batches as more come and at Finish; one changed after it was handed over is indexed by its
// stored text.
TEST_F(IngredientIndexTest, BulkAddReadsHandedOverRecipesAheadAndKeepsToTheStoredText) {
    Ids figs, changed;
    int32_t cut = -1;
    {
        Transaction t(*store_);
        TIngredientIndex::TBulkAdd bulk(store_->IngredientIndex());
        auto added = [&](const std::string& title, std::vector<std::string> lines) {
            const int32_t id = Add(title, lines);
            bulk.Added(id, std::move(lines));
            return id;
        };
        // More than one batch.
        for (int i = 0; i < 5000; ++i)
            figs.push_back(added("Fig roll " + std::to_string(i), {"      6    Figs"}));
        const int32_t stew = added("Stew", {"2 leeks"});
        Add("Stew", {"2 parsnips"}, stew);
        changed = {stew};
        // A zero byte ends a stored text: what follows it is no ingredient.
        cut = added("Broth", {"1 celeriac", std::string("2 bay leaves\0", 13), "3 turnips"});
        bulk.Finish();
        t.Commit();
    }
    EXPECT_EQ(Find("fig"), figs);
    EXPECT_EQ(Find("parsnip"), changed);
    EXPECT_EQ(Find("leek"), Ids{});
    EXPECT_EQ(Find("celeriac"), Ids{cut});
    EXPECT_EQ(Find("bay"), Ids{cut});
    EXPECT_EQ(Find("turnip"), Ids{});
    {
        Transaction t(*store_);
        TIngredientIndex::TBulkAdd bulk(store_->IngredientIndex());
        const int32_t id = Add("Quince paste", {"4 quinces"});
        bulk.Added(id, {"4 quinces"});
    } // rolled back without Finish
    EXPECT_EQ(Find("quince"), Ids{});
    EXPECT_EQ(Find("fig").size(), figs.size());
}

TEST_F(IngredientIndexTest, RebuiltWhenMissingDamagedOrChangedBehindItsBackNewerLeftAlone) {
    const int32_t a = Add("Stew", {"2 leeks"});
    Close();
    const std::string index = folder_ + "/data/" + kIngredientIndexFile;
    ASSERT_TRUE(std::filesystem::exists(index));

    // The recipe file changed while the tables were closed (as a restore changes it).
    ForeignExec("tbl102.nx1", "UPDATE tblRecipes SET RecipeText = CAST('1 quince' || "
                              "char(13, 10) AS BLOB) WHERE InternalID = " +
                                  std::to_string(a));
    Open();
    EXPECT_EQ(store_->IngredientIndex().Rebuilds(), 1);
    EXPECT_EQ(Find("quince"), Ids{a});
    EXPECT_EQ(Find("leek"), Ids{});

    // Changed by another program while the tables are open.
    ForeignExec("tbl102.nx1", "UPDATE tblRecipes SET RecipeText = CAST('3 plums' AS BLOB) "
                              "WHERE InternalID = " +
                                  std::to_string(a));
    EXPECT_EQ(Find("plum"), Ids{a});
    Close();

    // Written by a later version of the program: refused and left as it was, the tables open
    // as always; once deleted (as the message says), built afresh.
    ForeignExec(kIngredientIndexFile, "PRAGMA user_version = 99");
    std::string before;
    {
        std::ifstream in(index, std::ios::binary);
        before.assign(std::istreambuf_iterator<char>(in), {});
    }
    Open();
    EXPECT_FALSE(store_->IngredientIndex().Available());
    EXPECT_NE(store_->IngredientIndex().Problem().find(index), std::string::npos);
    EXPECT_THROW(Find("plum"), EStoreError);
    EXPECT_EQ(store_->RecipeCount(), 1);
    Close();
    {
        std::ifstream in(index, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), before);
    }

    // Missing, then damaged: built afresh, and the tables open as always.
    std::filesystem::remove(index);
    Open();
    EXPECT_EQ(Find("plum"), Ids{a});
    Close();
    std::ofstream(index, std::ios::binary | std::ios::trunc) << std::string(4096, 'x');
    Open();
    EXPECT_TRUE(store_->IngredientIndex().Available());
    EXPECT_EQ(Find("plum"), Ids{a});
}
