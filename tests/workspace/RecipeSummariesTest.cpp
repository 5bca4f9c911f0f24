// The title index of the recipe summaries stays right when a rebuild defers it.
#include "workspace/StoreFixture.h"

#include "store/RecipeSummaries.h"

namespace larderly::test {
namespace {

TEST(RecipeSummariesTest, TitleIndexAfterRebuildFollowsLaterChanges) {
    TempHome home;
    auto ids = Seed(home.Home(), {{"Soup", {}, {}}, {"soup", {}, {}}, {"Bread", {}, {}}});
    TfmTables t;
    t.OpenDatabase(home.Home());
    t.SetTablesOpen(true);
    TDetachedSummaries s;
    RecipeRecord r;
    r.InternalID = 99;
    r.Title = "Old";
    s.Append(r);
    s.Build(t);
    EXPECT_EQ(s.Count(), 3u);
    // Changes made before the first lookup after the rebuild.
    r.InternalID = ids[2];
    r.Title = "Brioche";
    s.Update(r);
    EXPECT_FALSE(s.TitleExists("old"));
    EXPECT_FALSE(s.TitleExists("bread"));
    EXPECT_TRUE(s.TitleExists("BRIOCHE"));
    EXPECT_TRUE(s.TitleExists("SOUP"));
    // And after it: one of two equal titles removed keeps the title known.
    EXPECT_TRUE(s.Remove(ids[0]));
    EXPECT_TRUE(s.TitleExists("Soup"));
    EXPECT_TRUE(s.Remove(ids[1]));
    EXPECT_FALSE(s.TitleExists("Soup"));
    r.InternalID = 500;
    r.Title = "Stew";
    s.Append(r);
    EXPECT_TRUE(s.TitleExists("stew"));
    s.Clear();
    EXPECT_FALSE(s.TitleExists("stew"));
    t.SetTablesOpen(false);
}

} // namespace
} // namespace larderly::test
