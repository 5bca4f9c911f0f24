// Category administration: counts, add, rename, delete and merge, with the labels' rules
// (40 characters, unique without regard to case) and every recipe following by identifier.
#include "store/Categories.h"
#include "store/Labels.h"
#include "store/RecipeSummaries.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace larderly;

namespace {

class CategoriesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/larderly-cats-XXXXXX";
        folder_ = mkdtemp(tmpl);
        store.OpenDatabase(folder_ + "/");
        store.SetTablesOpen(true);
    }
    void TearDown() override {
        store.SetTablesOpen(false);
        std::filesystem::remove_all(folder_);
    }
    int32_t Recipe(const std::string& title, std::array<std::string, 4> cats) {
        store.ClearBuffers();
        store.RecipeRec.Title = title;
        for (int k = 0; k < 4; ++k)
            SetCategorySlot(store, k + 1, cats[static_cast<std::size_t>(k)]);
        return store.SaveRecord(rkRecipe);
    }
    std::array<int32_t, 4> Slots(int32_t recipe) {
        store.FindRecipe(recipe);
        return store.RecipeRec.Category;
    }
    std::string Listing() {
        std::string s;
        for (const auto& c : CategoryUses(store))
            s += c.Name + "=" + std::to_string(c.Recipes) + " ";
        return s;
    }
    std::string folder_;
    TfmTables store;
};

} // namespace

TEST_F(CategoriesTest, CountsAddRenameDelete) {
    Recipe("Soup", {"Starters", "soups", "", ""});
    Recipe("Stew", {"Soups", "", "Soups", ""}); // the same label twice counts once
    const int32_t spare = AddCategory(store, "  Baking  ");
    EXPECT_EQ(Listing(), "Baking=0 soups=2 Starters=1 ");

    EXPECT_THROW(AddCategory(store, "STARTERS"), ECategoryError);
    EXPECT_THROW(AddCategory(store, "   "), ECategoryError);
    const int32_t longOne = AddCategory(store, std::string(45, 'x'));
    EXPECT_EQ(CategoryUses(store)[3].Name, std::string(40, 'x'));
    EXPECT_THROW(AddCategory(store, std::string(41, 'X')), ECategoryError)
        << "the same name once cut";

    const int32_t soups = FindLabelByName(store, "soups");
    RenameCategory(store, soups, "Soups"); // a change of case alone
    RenameCategory(store, soups, "Soups and stews");
    EXPECT_THROW(RenameCategory(store, soups, "baking"), ECategoryError);
    EXPECT_EQ(Listing(), "Baking=0 Soups and stews=2 Starters=1 " + std::string(40, 'x') + "=0 ");

    try {
        DeleteCategory(store, soups);
        ADD_FAILURE() << "a used category was deleted";
    } catch (const ECategoryError& e) {
        EXPECT_NE(std::string(e.what()).find("2 recipes"), std::string::npos) << e.what();
    }
    DeleteCategory(store, spare);
    DeleteCategory(store, longOne);
    EXPECT_EQ(Listing(), "Soups and stews=2 Starters=1 ");
}

TEST_F(CategoriesTest, MergeMovesEveryRecipeAndKeepsEachCategoryOnce) {
    const int32_t a = Recipe("A", {"Soups", "", "", ""});
    const int32_t b = Recipe("B", {"Starters", "Soup", "", "Soups"});
    const int32_t c = Recipe("C", {"", "", "Soup", ""});
    const int32_t soup = FindLabelByName(store, "Soup"), soups = FindLabelByName(store, "Soups"),
                  starters = FindLabelByName(store, "Starters");
    EXPECT_EQ(MergeCategory(store, soup, soups), 2);
    EXPECT_EQ(Slots(a), (std::array<int32_t, 4>{soups, -1, -1, -1}));
    EXPECT_EQ(Slots(b), (std::array<int32_t, 4>{starters, -1, -1, soups}));
    EXPECT_EQ(Slots(c), (std::array<int32_t, 4>{-1, -1, soups, -1}));
    EXPECT_EQ(Listing(), "Soups=3 Starters=1 ");
    // The store's summaries follow the merge.
    EXPECT_EQ(store.Summaries().Find(b)->Category,
              (std::array<int32_t, 4>{starters, -1, -1, soups}));
    EXPECT_EQ(store.Summaries().Find(c)->Category, (std::array<int32_t, 4>{-1, -1, soups, -1}));
    EXPECT_THROW(MergeCategory(store, soups, soups), ECategoryError);
    EXPECT_THROW(MergeCategory(store, soup, soups), ECategoryError) << "gone after the merge";
}
