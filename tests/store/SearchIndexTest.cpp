// The full-text index: words as prefixes, case and accents ignored, every word needed; kept
// in step with saves, deletes and rollbacks; rebuilt when missing, damaged, or when the
// recipe file was changed by another program; read only by the work that needs it.
#include "store/Tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

using namespace larderly;

namespace {

class SearchIndexTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/larderly-search-XXXXXX";
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
        TfmTables& s = *store_;
        s.ClearBuffers();
        s.RecipeRec.InternalID = id;
        s.RecipeRec.Title = title;
        s.RecipeText = std::move(text);
        return s.SaveRecord(rkRecipe);
    }
    std::vector<int32_t> Find(const std::string& words) {
        auto ids = store_->SearchIndex().Search(words);
        std::sort(ids.begin(), ids.end());
        return ids;
    }
    // Writes to the recipe file through a connection of its own, as another program would.
    void ForeignExec(const std::string& sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open((folder_ + "/data/tbl102.nx1").c_str(), &db), SQLITE_OK);
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

TEST_F(SearchIndexTest, EveryWordAsAPrefixCaseAndAccentsIgnored) {
    const int32_t soup = Add("Tomato basil soup", {"Serving Size  : 4", "Simmer the tomatoes."});
    const int32_t brulee = Add("Crème brûlée", {"Bake in a bain-marie; chill overnight."});
    const int32_t salad = Add("Salad", {"Tomatoes, Basil and \"Mozzarella\"."});
    const struct {
        const char* words;
        Ids want;
    } cases[] = {
        {"tom bas", {soup, salad}},
        {"TOMATO  SOUP", {soup}},
        {"creme BRULEE", {brulee}},
        {"crè", {brulee}},
        {"bain-marie", {brulee}},
        {"simmer basil", {soup}},
        {"\"mozzarella\"", {salad}},
        {"tomato pizza", {}},
        {"oat", {}},
        {"overnight chill", {brulee}},
        {"\u201Ccr\u00E8me\u201D \u2013 br\u00FBl\u2026", {brulee}},
        {"tom\U0001F345bas", {soup, salad}},
        {"\U0001F345", {soup, brulee, salad}},
        {"  ", {soup, brulee, salad}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Find(c.words), c.want) << c.words;
}

TEST_F(SearchIndexTest, FollowsSavesDeletesAndRollbacks) {
    const int32_t a = Add("Apple tart", {"Bake with nutmeg."});
    Add("Apple pie", {"Bake with cinnamon."}, a);
    EXPECT_EQ(Find("cinnamon"), Ids{a});
    EXPECT_EQ(Find("pie"), Ids{a});
    EXPECT_EQ(Find("tart"), Ids{}) << "the words it had before are gone";
    EXPECT_EQ(Find("nutmeg"), Ids{});
    {
        Transaction t(*store_);
        Add("Pear tart", {"Poach the pears."});
        EXPECT_EQ(Find("pear").size(), 1u) << "visible inside the transaction";
    } // rolled back
    EXPECT_EQ(Find("pear"), Ids{});
    store_->DeleteRecipe(a);
    EXPECT_EQ(Find("apple"), Ids{});
    // Kept across closing and opening without a rebuild.
    const int32_t b = Add("Banana bread", {});
    Close();
    Open();
    EXPECT_EQ(store_->SearchIndex().Rebuilds(), 0);
    EXPECT_EQ(Find("banana"), Ids{b});
}

// Many recipes added in one transaction are indexed together before the commit; a
// transaction that rolls back instead leaves neither its recipes nor a paused index behind.
TEST_F(SearchIndexTest, BulkAddsIndexedAtFinishOrRolledBackWhole) {
    const int32_t a = Add("Apple pie", {"Bake."});
    Ids pears;
    {
        Transaction t(*store_);
        TSearchIndex::TBulkAdd bulk(store_->SearchIndex());
        pears = {Add("Pear tart", {"Poach the pears."}), Add("Pear jam", {})};
        Add("Apple pie", {"Bake with quinces."}, a);        // a change, not an addition
        Add("Pear jam", {"Simmer with ginger."}, pears[1]); // an addition changed
        bulk.Finish();
        t.Commit();
    }
    EXPECT_EQ(Find("pear"), pears);
    EXPECT_EQ(Find("quince"), Ids{a});
    EXPECT_EQ(Find("bake"), Ids{a});
    EXPECT_EQ(Find("ginger"), Ids{pears[1]});
    {
        Transaction t(*store_);
        TSearchIndex::TBulkAdd bulk(store_->SearchIndex());
        Add("Fig roll", {});
    } // rolled back without Finish
    EXPECT_EQ(Find("fig"), Ids{});
    // Saves after either are indexed one by one again.
    const int32_t plum = Add("Plum cake", {});
    EXPECT_EQ(Find("plum"), Ids{plum});
    Close();
    Open();
    EXPECT_EQ(store_->SearchIndex().Rebuilds(), 0);
    EXPECT_EQ(Find("pear"), pears);
}

TEST_F(SearchIndexTest, RebuiltWhenMissingDamagedOrChangedBehindItsBack) {
    const int32_t a = Add("Apple pie", {"Bake."});
    Close();
    const std::string index = folder_ + "/data/search.idx";
    ASSERT_TRUE(std::filesystem::exists(index));

    // Changed by another program while the tables were closed (a restore does the same).
    ForeignExec("UPDATE tblRecipes SET Title = 'Quince pie' WHERE InternalID = " +
                std::to_string(a));
    Open();
    EXPECT_EQ(store_->SearchIndex().Rebuilds(), 1);
    EXPECT_EQ(Find("quince"), Ids{a});
    EXPECT_EQ(Find("apple"), Ids{});

    // Changed by another program while the tables are open.
    ForeignExec("UPDATE tblRecipes SET Title = 'Plum pie' WHERE InternalID = " + std::to_string(a));
    EXPECT_EQ(Find("plum"), Ids{a});
    Close();

    // Missing, then damaged: built afresh, and the tables open as always.
    std::filesystem::remove(index);
    Open();
    EXPECT_EQ(Find("plum"), Ids{a});
    Close();
    std::ofstream(index, std::ios::binary | std::ios::trunc) << std::string(4096, 'x');
    Open();
    EXPECT_TRUE(store_->SearchIndex().Available());
    EXPECT_EQ(Find("plum"), Ids{a});
}

// An index of the layout that kept a copy of every title and text: stepped up, built again,
// and the room the copies took given back.
TEST_F(SearchIndexTest, TheLayoutWithCopiesIsSteppedUpBuiltAgainAndShrunk) {
    const int32_t a = Add("Apple pie", {"Bake."});
    Close();
    const std::string index = folder_ + "/data/search.idx";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(index.c_str(), &db), SQLITE_OK);
    std::string sql = "DROP TABLE recipe_words; CREATE VIRTUAL TABLE recipe_words USING "
                      "fts5(title, body, tokenize = 'unicode61 remove_diacritics 2', detail = "
                      "none); BEGIN; ";
    for (int i = 0; i < 2000; ++i)
        sql += "INSERT INTO recipe_words(rowid, title, body) VALUES (" + std::to_string(100 + i) +
               ", 'quince', '" + std::string(2000, 'q') + "'); ";
    sql += "COMMIT; PRAGMA user_version = 4;";
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
    const auto before = std::filesystem::file_size(index);
    ASSERT_GT(before, 4000000u);
    Open();
    EXPECT_EQ(store_->SearchIndex().Rebuilds(), 1);
    EXPECT_EQ(DerivedFileVersion(store_->Connection(), "search"), kSearchIndexVersion);
    EXPECT_EQ(Find("apple"), Ids{a});
    EXPECT_EQ(Find("quince"), Ids{});
    EXPECT_LT(std::filesystem::file_size(index), before / 10);
}

// Every build of an index is told, with what is built and how many recipes it takes; a job
// that shows its own progress takes the notices for a while, then hands them back.
TEST_F(SearchIndexTest, EveryBuildIsToldWhileItRuns) {
    Add("Apple pie", {"1 c  flour"});
    Add("Pear tart", {});
    Close();
    std::vector<std::string> told, job;
    auto record = [](std::vector<std::string>& to) {
        return TRebuildNotice{[&to](const std::string& what, int64_t recipes) {
                                  to.push_back(RebuildStartedText(what, recipes));
                              },
                              [&to](const std::string& what, bool built) {
                                  to.push_back(built ? RebuildEndedText(what) : "failed");
                              }};
    };
    SetRebuildNotice(record(told));
    std::filesystem::remove(folder_ + "/data/search.idx");
    std::filesystem::remove(folder_ + "/data/ingredients.idx");
    {
        TRebuildNoticeScope scope(record(job));
        Open();
        // Each index is built when first asked for.
        store_->SearchIndex();
        store_->IngredientIndex();
        Close();
    }
    store_->SetTablesOpen(true);
    store_->IngredientIndex().Rebuild();
    SetRebuildNotice({});
    EXPECT_EQ(job, (std::vector<std::string>{"Rebuilding the search index of 2 recipes...",
                                             "The search index is rebuilt.",
                                             "Rebuilding the ingredient index of 2 recipes...",
                                             "The ingredient index is rebuilt."}));
    EXPECT_EQ(told, (std::vector<std::string>{"Rebuilding the ingredient index of 2 recipes...",
                                              "The ingredient index is rebuilt."}));
}

// Both indexes are read only by the work that needs them: opening the tables and reading
// recipes leaves their files alone, a search takes only its own index, and any change made
// right after opening reaches both, so that the next open has nothing to build again.
TEST_F(SearchIndexTest, TakenIntoUseWhenFirstNeededAndBeforeEveryChange) {
    namespace fs = std::filesystem;
    const int32_t a = Add("Apple pie", {"2 cups flour", "Bake."});
    Close();
    const std::string words = folder_ + "/data/" + kSearchIndexFile;
    const std::string items = folder_ + "/data/" + kIngredientIndexFile;
    fs::remove(words);
    fs::remove(items);
    Open();
    EXPECT_EQ(store_->RecipeRecords().size(), 1u);
    EXPECT_TRUE(store_->LoadRecipeById(a));
    Close();
    EXPECT_FALSE(fs::exists(words));
    EXPECT_FALSE(fs::exists(items));
    Open();
    EXPECT_EQ(Find("apple"), Ids{a});
    Close();
    EXPECT_TRUE(fs::exists(words));
    EXPECT_FALSE(fs::exists(items));

    int32_t pear = -1;
    const struct {
        const char* what;
        std::function<void()> change;
    } changes[] = {
        {"a save", [&] { pear = Add("Pear tart", {"3 pears"}); }},
        {"a save in a transaction",
         [&] {
             Transaction t(*store_);
             Add("Pear tart", {"3 ripe pears"}, pear);
             t.Commit();
         }},
        {"new categories",
         [&] {
             store_->SaveRecipeCategories(pear, {1, -1, -1, -1});
         }},
        {"a delete", [&] { store_->DeleteRecipe(a); }},
    };
    for (const auto& c : changes) {
        Open();
        c.change();
        Close();
        Open();
        EXPECT_EQ(store_->SearchIndex().Rebuilds(), 0) << c.what;
        EXPECT_EQ(store_->IngredientIndex().Rebuilds(), 0) << c.what;
        Close();
    }
    Open();
    EXPECT_EQ(Find("ripe"), Ids{pear});
    EXPECT_EQ(Find("apple"), Ids{});
    EXPECT_EQ(store_->IngredientIndex().Search("pear"), Ids{pear});
    EXPECT_EQ(store_->IngredientIndex().Search("flour"), Ids{});
}

TEST_F(SearchIndexTest, WordsAreSplitAsTheIndexSplitsThem) {
    using Tokens = std::vector<std::string>;
    TSearchIndex& index = store_->SearchIndex();
    const struct {
        const char* words;
        Tokens want;
    } cases[] = {
        {" tom  bas ", {"tom", "bas"}},
        {"say \"hi\" OR", {"say", "hi", "OR"}},
        {"bain-marie", {"bain", "marie"}},
        // Curly quotes, dashes, an ellipsis, an emoji and a fullwidth sign split words;
        // accented letters do not.
        {"\u201Ccr\u00E8me\u201D\u2013br\u00FBl\u2026", {"cr\u00E8me", "br\u00FBl"}},
        {"tom\U0001F345bas x\uFF01y", {"tom", "bas", "x", "y"}},
        {" -- \u2014 \U0001F345", {}},
        {"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(index.Tokens(c.words), c.want) << c.words;
    EXPECT_EQ(TSearchIndex::MatchQuery({"tom", "bas"}), "\"tom\"* AND \"bas\"*");
    EXPECT_EQ(TSearchIndex::MatchQuery({}), "");
}
