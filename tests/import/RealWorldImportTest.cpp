// Real-world variants of the four layouts, each in a small fixture of its own under
// tests/data/import/real-world, imported through the cascade: the exact rows each stores.
#include "ImportTestSupport.h"

#include <gtest/gtest.h>

using namespace larderly;
using namespace larderly::import;
using namespace larderly::import::test;

namespace {

using Row = ExpectedRow;

// Imports a file of tests/data/import/real-world into an empty store and checks every row.
void ExpectRealWorldRows(const std::string& file, const std::string& reader,
                         const std::vector<Row>& want, const TImportOptions& options = {}) {
    ExpectRows(Fixture("real-world/" + file), reader, want, options);
}

} // namespace

TEST(RealWorldMealMaster, ClosingLinesWithTrailingBlanks) {
    ExpectRealWorldRows(
        "mm-trailing-blank-closing.mmf", "Meal-Master export",
        {{"Barley Soup",
          {"Soups", "Grains", "", ""},
          {"Serving Size  : 6 servings", "", "      1 c  Pearl barley", "",
           "  Simmer for an hour."}},
         {"Oat Cakes",
          {"Breads", "", "", ""},
          {"Serving Size  : 12 cakes", "", "      2 c  Oats", "", "  Bake slowly."}}});
}

TEST(RealWorldMealMaster, OtherHeaderSpellingsAndLabelPositions) {
    // The last header names Meal-Master but no title follows it: not a recipe.
    ExpectRealWorldRows(
        "mm-other-spellings.mmf", "Meal-Master export",
        {{"Leek Tart", {"Tarts", "Vegetables", "", ""}, {"Serving Size  : 4", "", "  Bake."}},
         {"Pear Crumble",
          {"Desserts", "Fruit", "", ""},
          {"Serving Size  : 6 servings", "", "  Crumble and bake."}},
         {"Green Sauce", {"Sauces", "", "", ""}, {"Serving Size  : 1 cup", "", "  Blend."}}});
}

TEST(RealWorldMealMaster, MixedExportAndExtractedRecipes) {
    ExpectRealWorldRows(
        "mm-mixed-export-extract.txt", "Meal-Master export",
        {{"Rye Bread", {"Breads", "", "", ""}, {"Serving Size  : 2", "  Knead."}},
         {"Plum Jam", {"Preserves", "", "", ""}, {"Serving Size  : 4 jars", "", "  Boil."}},
         {"Fig Jam", {"Preserves", "", "", ""}, {"Serving Size  : 3", "  Boil longer."}}});
}

TEST(RealWorldLines, ClassicMacLineEnds) {
    ExpectRealWorldRows("mm-classic-mac.mmf", "Meal-Master export",
                        {{"Apple Sauce",
                          {"Desserts", "", "", ""},
                          {"Serving Size  : 4", "", "  Cook the apples."}}});
}

TEST(RealWorldEncodings, DosCodePageDetectedOrAskedFor) {
    // 0x81 and 0x90 are unassigned in Windows-1252: the file is read as code page 437.
    const Row cp437{"M\xC3\xBCsli Caf\xC3\xA9",
                    {"Breakfast", "\xC3\x89t\xC3\xA9", "", ""},
                    {"Serving Size  : 2", "",
                     "      1 c  Oats; \xC3\xBC"
                     "ber Nacht"}};
    ExpectRealWorldRows("mm-cp437.mmf", "Meal-Master export", {cp437});
    TImportOptions asked;
    asked.Encoding = TEncoding::Cp437;
    ExpectRealWorldRows("mm-cp437.mmf", "Meal-Master export", {cp437}, asked);
    // The original fixture with only 0x82 (e-acute in code page 437) keeps its Windows-1252
    // reading unless code page 437 is asked for.
    TempStore t;
    ASSERT_EQ(ImportFile(t.store, Fixture("mealmaster-dashes.mmf"), asked).Added, 2);
    EXPECT_EQ(t.Recipes().at(0).title, "Caf\xC3\xA9 au lait");
}

TEST(RealWorldMasterCook, MarkerLinesInOtherSpacing) {
    const std::string S15(15, ' ');
    ExpectRealWorldRows("mc-marker-spacing.mxp", "MasterCook text",
                        {{"Herb Omelette",
                          {"Eggs", "Breakfast", "", ""},
                          {"Serving Size  : 2", "2       " + S15 + "eggs",
                           "1       tablespoon     chives -- chopped", "", "Beat and fry.", ""}},
                         {"Green Salad",
                          {"Salads", "", "", ""},
                          {"Serving Size  : 2", "1       head           lettuce", "", "Toss.", ""}},
                         {"Baked Beans",
                          {"Beans", "", "", ""},
                          {"Serving Size  : 2", "2       cups           beans", "", "Bake.", ""}}});
}

TEST(RealWorldMasterCook, ThreeOrMoreCategoryLines) {
    ExpectRealWorldRows(
        "mc-many-categories.mxp", "MasterCook text",
        {{"Harvest Stew",
          {"Stews", "Beef", "Autumn", "Slow Cooker"},
          {"Serving Size  : 2", "1       pound          stewing beef",
           "3       " + std::string(15, ' ') + "carrots -- sliced", "", "Stew for two hours.", ""}},
         {"Spice Cake",
          {"Cakes", "Desserts", "Spices", "Baking"},
          {"Serving Size  : 2", "2       cups           flour", "", "Bake.", ""}}});
}

TEST(RealWorldMasterCookXml, RecipesAsElementsOnly) {
    // Windows-1252 bytes under an ISO-8859-1 declaration with "standalone" before "encoding", a
    // bare "&", five categories, and a recipe embedded in another (stored after it).
    const std::string S15(15, ' ');
    ExpectRealWorldRows(
        "mx2-elements-only.mx2", "MasterCook XML",
        {{"Cr\xC3\xA8me Caramel",
          {"Desserts", "French", "Custards", "Eggs"},
          {"Serving Size  : 6", "2       cups           milk", "4       " + S15 + "eggs -- beaten",
           "1       pinch          salt & pepper", "", "Heat the milk.", "",
           "Bake \xE2\x80\x9Cslowly\xE2\x80\x9D in a water bath.", "Cool.", "",
           "Source: Old card"}},
         {"Caramel",
          {},
          {"Serving Size  : 6", "1/2     cup            sugar", "", "Melt the sugar."}},
         {"Herb Salt",
          {"Seasonings", "", "", ""},
          {"Serving Size  : 20", "1       cup            sea salt",
           "2       tablespoons    thyme -- dried", "", "Grind together."}}});
}

TEST(RealWorldMasterCookXml, BlankFirstLineOrNoDeclaration) {
    ExpectRealWorldRows(
        "mx2-blank-first-line.mx2", "MasterCook XML",
        {{"Lentil Soup",
          {"Soups", "", "", ""},
          {"Serving Size  : 4", "1       cup            lentils", "", "Simmer & stir."}}});
    // A file cut short keeps the recipes completed before the cut.
    ExpectRealWorldRows(
        "mx2-no-declaration-cut-short.mx2", "MasterCook XML",
        {{"Toast", {}, {"Serving Size  :", "1       slice          bread", "", "Toast it."}}});
}
