// Each reader importing its fixture into a real store: the rows, labels and summaries it
// leaves, titles already present, and the rollback of a file that stops.
#include "ImportTestSupport.h"
#include "import/ImportCommand.h"
#include "import/TMasterCookTextReader.h"
#include "import/TMasterCookXmlReader.h"
#include "import/TMealMasterExportReader.h"
#include "import/TMealMasterExtractReader.h"

#include <gtest/gtest.h>

using namespace larderly;
using namespace larderly::import;
using namespace larderly::import::test;

namespace {

using Lines = std::vector<std::string>;
using Cats = std::array<std::string, 4>;

std::string Sp(std::size_t n) {
    return std::string(n, ' ');
}

} // namespace

TEST(MasterCookTextImport, StoresTitlesCategoriesAndRebuiltLines) {
    TempStore t;
    TMasterCookTextReader reader(t.store);
    TImportOutcome o = reader.Import(Fixture("mastercook.mxp"));
    EXPECT_TRUE(o.Accepted);
    EXPECT_EQ(o.Added, 2);

    auto rows = t.Recipes();
    ASSERT_EQ(rows.size(), 2u) << "the Read Me recipe is skipped";
    EXPECT_EQ(rows[0].title, "Pancakes");
    EXPECT_EQ(rows[0].categories, (Cats{"Breakfast", "Quick", "", ""}));
    EXPECT_EQ(rows[0].lines, (Lines{"Serving Size  : 4", "1       cup            flour",
                                    "2       " + Sp(15) + "eggs", Sp(8) + "pinch          salt", "",
                                    "Mix everything and fry.", "  Serve hot with syrup."}));

    // Two category lines: category 3 from the second, category 4 from the line after it.
    EXPECT_EQ(rows[1].title, "Chocolate Cake");
    EXPECT_EQ(rows[1].categories, (Cats{"Desserts", "Cakes", "Chocolate", "FourthSlot"}));
    EXPECT_EQ(rows[1].lines,
              (Lines{"Serving Size  : 12",
                     // Past column 104: kept whole, as it stands.
                     " 200      grams         dark chocolate, " + std::string(100, 'x'),
                     "Melt the chocolate."}));
    t.ExpectSummariesMatchTable();
}

TEST(MasterCookTextImport, FileEndingInsideTheBodyStoresThatRecipe) {
    TempStore t;
    EXPECT_TRUE(ImportMasterCookText(t.store, Fixture("mastercook-truncated.mxp")));
    auto rows = t.Recipes();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].lines,
              (Lines{"Serving Size  : 1", "1       slice          bread", "Toast it."}));
}

TEST(MasterCookXmlImport, StoresEveryRecipeEvenTwice) {
    TempStore t;
    for (int round = 1; round <= 2; ++round) {
        TMasterCookXmlReader reader(t.store);
        TImportOutcome o = reader.Import(Fixture("mastercook.mx2"));
        EXPECT_TRUE(o.Accepted);
        EXPECT_EQ(o.Added, 2) << "titles already present are stored again";
    }
    auto rows = t.Recipes();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].title, "Lemon Tart");
    // Second names stand at columns 49-78: column 49 belongs to the name, column 79 does not.
    EXPECT_EQ(rows[0].categories, (Cats{"Desserts", "Tarts", "Citrus", "xFourth"}));
    EXPECT_EQ(rows[0].lines,
              (Lines{"Serving Size  : 6", "3       " + Sp(15) + "lemons", "Bake until set."}));
    EXPECT_EQ(rows[1].title, "Pancakes");
    EXPECT_EQ(rows[1].categories, (Cats{}));
    EXPECT_EQ(rows[1].lines, (Lines{"Serving Size  : 2", "Just a line"}));
    EXPECT_EQ(t.LabelCount(), 4) << "labels are found, not created again";
    t.ExpectSummariesMatchTable();
}

TEST(MasterCookXmlImport, DeclarationWithoutRecipesIsAcceptedAndStoresNothing) {
    TempStore t;
    TMasterCookXmlReader reader(t.store);
    TImportOutcome o = reader.Import(Fixture("mastercook-norecipe.mx2"));
    EXPECT_TRUE(o.Accepted);
    EXPECT_EQ(o.Added, 0);
    EXPECT_EQ(t.RecipeCount(), 0);
}

TEST(MealMasterExportImport, BothHeaderStylesAndTheirCharacterSets) {
    TempStore t;
    TImportOutcome o = TMealMasterExportReader(t.store).Import(Fixture("mealmaster-mmmmm.mmf"));
    EXPECT_TRUE(o.Accepted);
    EXPECT_EQ(o.Added, 2);
    o = TMealMasterExportReader(t.store).Import(Fixture("mealmaster-dashes.mmf"));
    EXPECT_EQ(o.Added, 2);

    auto rows = t.Recipes();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].title, "Cr\xC3\xA8me Br\xC3\xBBl\xC3\xA9"
                             "e"); // Windows-1252 bytes
    EXPECT_EQ(rows[0].categories, (Cats{"Desserts", "French", "", ""}));
    EXPECT_EQ(rows[0].lines,
              (Lines{"Serving Size  : 4 servings", "",
                     "MMMMM--------------------------CUSTARD-----------------------------",
                     "      2 c  Heavy cream                         1 ts Vanilla",
                     "      4    Egg yolks                         1/2 c  Sugar", "",
                     "  Heat the cream.", "     "}));
    EXPECT_EQ(rows[1].title, "Plain Rice");
    EXPECT_EQ(rows[1].categories, (Cats{"Side dishes", "Grains", "Quick", "Cheap"}));
    EXPECT_EQ(rows[1].lines,
              (Lines{"Serving Size  : 2 servings", "", "      1 c  Rice", "", "  Boil."}));

    EXPECT_EQ(rows[2].title,
              "Caf\xE2\x80\x9A au lait"); // code page 437 e-acute read as Windows-1252
    EXPECT_EQ(rows[2].categories, (Cats{"Beverages", "", "", ""}));
    EXPECT_EQ(rows[2].lines, (Lines{"Serving Size  : 2", " ", "      1 c  Coffee",
                                    "      1 c  Milk", " ", "  Mix."}));
    EXPECT_EQ(rows[3].title, "Tea");
    EXPECT_EQ(rows[3].categories, (Cats{}));
    EXPECT_EQ(t.LabelCount(), 7);
    t.ExpectSummariesMatchTable();
}

TEST(MealMasterExportImport, ProExchangeFlagHoldsForTheRestOfTheFile) {
    TempStore t;
    EXPECT_TRUE(ImportMealMasterExport(t.store, Fixture("mealmaster-proexchange.mmf")));
    auto rows = t.Recipes();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].categories, (Cats{"Breads", "", "", ""}));
    EXPECT_EQ(rows[0].lines, (Lines{"Serving Size  : 8", "", "  Bake."}));
    // Its own marker is the ordinary one, but the file is Pro-Exchange: one word, no category.
    EXPECT_EQ(rows[1].title, "Onion Soup");
    EXPECT_EQ(rows[1].categories, (Cats{}));
    EXPECT_EQ(t.LabelCount(), 1);
}

TEST(MealMasterExportImport, UnclosedLastRecipeKeepsItsLastLine) {
    TempStore t;
    EXPECT_TRUE(ImportMealMasterExport(t.store, Fixture("mealmaster-unclosed.mmf")));
    auto rows = t.Recipes();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].lines, (Lines{"Serving Size  : 1", "", "  First.", "  Last line."}));
}

TEST(MealMasterExtractImport, RuleOf77HyphensEndsARecipe) {
    TempStore t;
    TImportOutcome o = TMealMasterExtractReader(t.store).Import(Fixture("mealmaster-extract.txt"));
    EXPECT_TRUE(o.Accepted);
    EXPECT_EQ(o.Added, 3);
    auto rows = t.Recipes();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].title, "Apple Pie");
    EXPECT_EQ(rows[0].categories, (Cats{"Desserts", "", "", ""}));
    EXPECT_EQ(rows[0].lines,
              (Lines{"Serving Size  : 123", "", "  6 apples", std::string(76, '-'), "  Bake."}));
    EXPECT_EQ(rows[1].title, "Water");
    EXPECT_EQ(rows[1].categories, (Cats{}));
    EXPECT_EQ(rows[1].lines, (Lines{"Serving Size  : 1", "  Pour."}))
        << "a rule inside a longer line ends it too";
    EXPECT_EQ(rows[2].categories, (Cats{"Categories:", "", "", ""}));
    EXPECT_EQ(rows[2].lines, (Lines{"Serving Size  : 2", "  Knead.", "  Bake."}))
        << "ends with the file";
    t.ExpectSummariesMatchTable();
}

// Every reader that checks titles: a second import of its file stores nothing and keeps the
// first import's rows as they were.
TEST(TitlesAlreadyPresent, SecondImportStoresNothing) {
    struct Case {
        const char* file;
        bool (*import)(TfmTables&, const std::string&);
    } cases[] = {
        {"mastercook.mxp", ImportMasterCookText},
        {"mealmaster-mmmmm.mmf", ImportMealMasterExport},
        {"mealmaster-extract.txt", ImportMealMasterExtract},
    };
    for (const auto& c : cases) {
        TempStore t;
        ASSERT_TRUE(c.import(t.store, Fixture(c.file))) << c.file;
        const int recipes = t.RecipeCount(), labels = t.LabelCount();
        ASSERT_GT(recipes, 0);
        EXPECT_TRUE(c.import(t.store, Fixture(c.file))) << c.file << ": still accepted";
        EXPECT_EQ(t.RecipeCount(), recipes) << c.file;
        EXPECT_EQ(t.LabelCount(), labels) << c.file;
        t.ExpectSummariesMatchTable();
    }
}

TEST(TitlesAlreadyPresent, RepeatedTitleRollsBackTheWholeFile) {
    TempStore t;
    TMealMasterExportReader reader(t.store);
    TImportOutcome o = reader.Import(Fixture("mealmaster-fifth-duplicate.mmf"));
    EXPECT_TRUE(o.Accepted);
    EXPECT_TRUE(o.StoppedOnTitle);
    EXPECT_EQ(o.Added, 0);
    EXPECT_EQ(t.RecipeCount(), 0) << "the four recipes before it are rolled back";
    EXPECT_EQ(t.LabelCount(), 0) << "and so are their labels";
    EXPECT_EQ(t.summaries.Count(), 0u) << "no summary names a rolled-back row";
    EXPECT_FALSE(t.summaries.TitleExists("One"));

    // The store is usable afterwards: the same recipes from a clean file go in.
    EXPECT_TRUE(ImportMealMasterExport(t.store, Fixture("mealmaster-mmmmm.mmf")));
    EXPECT_EQ(t.RecipeCount(), 2);
    t.ExpectSummariesMatchTable();
}

TEST(TitlesAlreadyPresent, ComparedWithoutLetterCaseAgainstEarlierFiles) {
    TempStore t;
    t.store.ClearBuffers();
    t.store.RecipeRec.Title = "plain RICE";
    t.store.SaveRecipe();
    // The file's first recipe goes in, its second ("Plain Rice") stops it.
    TImportOutcome o = TMealMasterExportReader(t.store).Import(Fixture("mealmaster-mmmmm.mmf"));
    EXPECT_TRUE(o.StoppedOnTitle);
    EXPECT_EQ(t.RecipeCount(), 1);
    t.ExpectSummariesMatchTable();
}

TEST(ImportStore, LongCategoryNamesShareOneLabel) {
    // A label keeps 40 characters of its name; recipes with the same longer name share it.
    TempStore t;
    const std::string longName(45, 'c');
    std::string text;
    for (const char* title : {"First", "Second"})
        text += "MMMMM----- Recipe via Meal-Master\n\n      Title: " + std::string(title) +
                "\n Categories: " + longName + "\n      Yield: 1\nBody.\nMMMMM\n";
    TLineReader in = TLineReader::FromBytes(text);
    TImportOutcome o = TMealMasterExportReader(t.store).Import(in);
    EXPECT_EQ(o.Added, 2);
    EXPECT_EQ(t.LabelCount(), 1);
    auto rows = t.Recipes();
    EXPECT_EQ(rows[0].categories[0], std::string(40, 'c'));
    EXPECT_EQ(rows[1].categories[0], std::string(40, 'c'));
}

TEST(ImportStore, TitlesAreCutTo150Characters) {
    TempStore t;
    std::string title(160, 'T');
    TLineReader in =
        TLineReader::FromBytes("<?xml version\n* Exported from MasterCook *\n\n" + title + "\n");
    EXPECT_EQ(TMasterCookXmlReader(t.store).Import(in).Added, 1);
    EXPECT_EQ(t.Recipes().at(0).title, std::string(150, 'T'));
    t.ExpectSummariesMatchTable();
}

TEST(ImportStore, StoreRefusingWritesRaisesAndKeepsNothing) {
    TempStore t;
    ASSERT_TRUE(ImportMealMasterExport(t.store, Fixture("mealmaster-dashes.mmf")));
    t.store.Connection().Exec("PRAGMA query_only=1");
    EXPECT_ANY_THROW(ImportFile(t.store, Fixture("mealmaster-mmmmm.mmf")));
    EXPECT_FALSE(t.store.InTransaction());
    t.store.Connection().Exec("PRAGMA query_only=0");
    EXPECT_EQ(t.RecipeCount(), 2);
    EXPECT_FALSE(t.summaries.TitleExists("Plain Rice"));
    t.ExpectSummariesMatchTable();
}
