// Files whose fixed reading would lose or mix up recipes, each in a small fixture under
// tests/data/import/shapes, imported through the cascade: the reader that takes each file, the
// exact rows it stores and the text it names as left out.
#include "ImportTestSupport.h"

#include <gtest/gtest.h>

using namespace larderly;
using namespace larderly::import;
using namespace larderly::import::test;

namespace {

struct Shape {
    std::string file, reader;
    std::vector<ExpectedRow> rows;
    std::vector<TLineRange> unread;
};

} // namespace

TEST(RecipeShapes, EachFileStoresExactlyItsRecipes) {
    const Shape shapes[] = {
        // A category one column early, a fourth name on the second category line, tabs, a
        // direction line with a character in columns 9-10, a missing end rule with a shorter
        // rule before the next marker; then a fourth name alone on the line after the second
        // category line, read as the fixed layout says (the rule line is the first body line);
        // then a header with blank lines between its fields.
        {"mc-shapes.mxp",
         "MasterCook text",
         {{"Rye Rolls",
           {"Baking", "Breads", "Sourdough", "Rye"},
           {"Serving Size  : 8", "1       cup            granulated sugar",
            "2       cups           rye flour", "", "  \"Description!\"", "Knead and bake."}},
          {"Plain Porridge",
           {"Breakfast", "Grains", "Hot", "Quick"},
           {"Serving Size  : 1", "--------  ------------  --------------------------------",
            "1       cup            oats", "", "Simmer."}},
          {"Spaced Toast",
           {"Breakfast", "", "", ""},
           {"Serving Size  : 2", "1       slice          bread", "", "Toast it."}}},
         {}},
        // A banner and a body line that mention MasterCook, a body line "-----   " followed by
        // more text, prose naming the Meal-Master header text, a closing line in other indentation,
        // a header with blank lines between
        // its fields, and a recipe whose header line is missing.
        {"mm-boundaries.mmf",
         "Meal-Master export",
         {{"Barley Broth",
           {"Soups", "", "", ""},
           {"Serving Size  : 4 servings", "", "      1 c  Barley", "",
            "  * Exported from MasterCook *", "", "  Simmer.", "-----   ", "  Season to taste.",
            "  Shared as a Recipe via Meal-Master file."}},
          {"Oat Bars", {"Baking", "", "", ""}, {"Serving Size  : 12 bars", "", "  Bake."}},
          {"Spaced Header",
           {"Sauces", "Quick", "", ""},
           {"Serving Size  : 2 cups", "", "  Whisk."}},
          {"Headless Salad", {"Salads", "", "", ""}, {"Serving Size  : 2", "", "  Toss."}}},
         {{1, 1}}},
        // Description, source and notes of an XML recipe close its text.
        {"mx2-desc-source-notes.mx2",
         "MasterCook XML",
         {{"Boiled Rice",
           {},
           {"Serving Size  : 2", "1       cup            rice", "", "Boil.", "",
            "Description: A side dish.", "Source: Card box", "Notes: Rinse first.",
            "Soak overnight."}}},
         {}},
        // An extracted recipe whose marker begins with "MMMMM-----".
        {"mm-extract-dash-marker.txt",
         "Meal-Master extract",
         {{"Fig Relish", {"Preserves", "", "", ""}, {"Serving Size  : 6", "", "  Cook down."}}},
         {}},
    };
    for (const Shape& s : shapes) {
        TFileImport r = ExpectRows(Fixture("shapes/" + s.file), s.reader, s.rows);
        EXPECT_EQ(r.Unread, s.unread) << s.file;
    }
}

TEST(RecipeShapes, TitleRepeatedInOneFileIsReportedAsSuch) {
    TempStore t;
    const std::string file = Fixture("shapes/mm-title-twice.mmf");
    TFileImport r = ImportFile(t.store, file);
    EXPECT_TRUE(r.StoppedOnTitle);
    EXPECT_TRUE(r.RepeatedInFile);
    EXPECT_EQ(t.RecipeCount(), 0);
    EXPECT_EQ(ExistingTitleMessage(r, "--skip-existing"),
              "Recipe \"TEA\" appears twice in " + file + "; nothing was imported from " + file +
                  ". To import its other recipes, import it again with --skip-existing.");
    // Imported again after the first, the title is one the collection already has.
    TImportOptions skip;
    skip.SkipExisting = true;
    EXPECT_EQ(ImportFile(t.store, file, skip).Added, 1);
    r = ImportFile(t.store, file);
    EXPECT_TRUE(r.StoppedOnTitle);
    EXPECT_FALSE(r.RepeatedInFile);
}
