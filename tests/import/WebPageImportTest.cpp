// Saved web pages: the recipes their JSON-LD and microdata describe, row by row.
#include "ImportTestSupport.h"
#include "import/ImportCommand.h"
#include "import/TWebPageReader.h"

#include <gtest/gtest.h>

namespace larderly::import::test {
namespace {

std::string WebPage(const std::string& name) {
    return Fixture("web/" + name);
}

// A recipe as rows: title, the four category slots, then the text lines.
std::vector<std::string> Rows(const StoredRecipe& r) {
    std::vector<std::string> rows{r.title};
    rows.insert(rows.end(), r.categories.begin(), r.categories.end());
    rows.insert(rows.end(), r.lines.begin(), r.lines.end());
    return rows;
}

std::vector<std::vector<std::string>> ImportRows(TempStore& s, const std::string& file,
                                                 TFileImport* result = nullptr) {
    TFileImport f = ImportFile(s.store, file);
    if (result) *result = f;
    std::vector<std::vector<std::string>> all;
    for (const StoredRecipe& r : s.Recipes())
        all.push_back(Rows(r));
    return all;
}

using Rows2 = std::vector<std::vector<std::string>>;

// Each page, as the rows its recipes are stored as.
TEST(WebPageImport, PagesGiveTheirRecipesRowByRow) {
    const std::vector<std::pair<const char*, Rows2>> cases = {
        // JSON-LD in @graph, a recipe with two types, character references in its strings.
        {"graph.html",
         {{"Lemon Tart & Cream",
           "Dessert",
           "French",
           "tart",
           "lemon",
           "Serving Size  : 8",
           "",
           "  1 1/2 c  flour",
           "      2 T  sugar",
           "      3    eggs, beaten",
           "           salt to taste",
           "",
           "Rub the flour & butter.",
           "Bake at 180\u00B0C.",
           "",
           "Description: A sharp tart.",
           "Preparation time: 1 hour 30 minutes",
           "Cooking time: 45 minutes",
           "Author: Ann Baker",
           "Web page: https://bakes.example/lemon-tart"}}},
        // Microdata: content, datetime and text values, a nested author, the canonical link.
        {"microdata.htm",
         {{"Pea Soup", "Soups", "", "", "", "Serving Size  : 4", "", "    500 g  peas",
           "      1    onion, chopped", "", "Soften the onion.", "Add the peas and simmer.", "",
           "Total time: 1 hour", "Author: Bo", "Web page: https://soups.example/pea"}}},
        // Several recipes in two blocks; sections with their names as headings.
        {"several.html",
         {{"Toast", "", "", "", "", "Serving Size  :", "", "      1 sl bread", "", "Toast it."},
          {"Tea", "Drinks", "Hot", "", "", "Serving Size  :", "", "Brew it.", "Pour it."},
          {"Jam", "", "", "", "", "Serving Size  :", "", "The fruit:", "Wash the plums.", "",
           "The jar:", "Fill the jar.", "Seal it."}}},
        // A JSON file: a number as the yield, the recipe's own address.
        {"recipe.json",
         {{"Pickles", "", "", "", "", "Serving Size  : 6", "", "      2 lb cucumbers", "",
           "Slice 'em.", "", "Cooking time: 1 hour 1 minute",
           "Web page: https://jars.example/pickles#recipe"}}},
    };
    for (const auto& [name, expected] : cases) {
        SCOPED_TRACE(name);
        TempStore s;
        TFileImport f;
        EXPECT_EQ(ImportRows(s, WebPage(name), &f), expected);
        EXPECT_TRUE(f.Accepted);
        EXPECT_EQ(f.Reader, "Web page");
        EXPECT_EQ(f.Added, static_cast<int>(expected.size()));
    }
}

TEST(WebPageImport, PageWithoutRecipeIsRefusedByName) {
    TempStore s;
    const std::string file = WebPage("norecipe.html");
    TFileImport f;
    EXPECT_TRUE(ImportRows(s, file, &f).empty());
    EXPECT_FALSE(f.Accepted);
    EXPECT_EQ(s.store.tblListLabel().RecordCount(), 0);
    EXPECT_EQ(RefusedFileMessage(f),
              "No recipe found in " + file +
                  ": the page describes no schema.org Recipe (in JSON-LD or microdata). Save the "
                  "page of the recipe itself and import that.");
    // Any other file no reader takes stays an improper recipe file.
    TFileImport plain = ImportFile(s.store, s.WriteFile("notes.txt", "just some notes\n"));
    EXPECT_FALSE(plain.Accepted);
    EXPECT_EQ(RefusedFileMessage(plain), "Improper Recipe File " + plain.FileName);
}

TEST(WebPageImport, TitleAlreadyThereStopsThePage) {
    TempStore s;
    ImportFile(s.store, WebPage("several.html"));
    TFileImport again = ImportFile(s.store, WebPage("several.html"));
    EXPECT_TRUE(again.StoppedOnTitle);
    EXPECT_EQ(again.ExistingTitle, "Toast");
    EXPECT_EQ(s.Recipes().size(), 3u);
    // Categories already there are found, not made again.
    ImportFile(s.store, WebPage("graph.html"));
    TImportOptions skip;
    skip.SkipExisting = true;
    TFileImport skipped = ImportFile(s.store, WebPage("several.html"), skip);
    EXPECT_EQ(skipped.Skipped, 3);
    EXPECT_EQ(s.store.tblListLabel().RecordCount(), 6); // Drinks, Hot, Dessert, French, tart, lemon
}

TEST(WebPageImport, DurationsInWords) {
    const std::pair<const char*, const char*> cases[] = {
        {"PT1H30M", "1 hour 30 minutes"},
        {"PT90M", "90 minutes"},
        {"P1DT2H", "1 day 2 hours"},
        {"PT0M", ""},
        {"pt1h", "1 hour"},
        {"PT0.5H", "0.5 hours"},
        {"20 minutes", "20 minutes"},
        {"PT", "PT"},
        {"P1X", "P1X"},
    };
    for (const auto& [iso, words] : cases)
        EXPECT_EQ(DurationWords(iso), words) << iso;
}

// Markup nested far deeper than real pages nest it is read without running out of stack.
TEST(WebPageImport, DeeplyNestedMarkupIsRead) {
    std::string page = "<html><body><div itemscope itemtype=\"https://schema.org/Recipe\">"
                       "<b itemprop=\"name\">Deep</b><div itemprop=\"description\">";
    for (int i = 0; i < 5000; ++i)
        page += "<span>";
    page += "x</div></div></body></html>";
    const auto recipes = ReadWebPage(page);
    ASSERT_EQ(recipes.size(), 1u);
    EXPECT_EQ(recipes[0].Title, "Deep");
}

// Pages often give the same recipe in JSON-LD and in microdata: it is stored once.
TEST(WebPageImport, RecipeGivenBothWaysIsReadOnce) {
    const std::string page =
        "<html><body><script type=\"application/ld+json\">{\"@type\":\"Recipe\",\"name\":"
        "\"Soup\"}</script><div itemscope itemtype=\"https://schema.org/Recipe\"><b "
        "itemprop=\"name\">Soup</b></div><div itemscope itemtype=\"https://schema.org/Recipe\">"
        "<b itemprop=\"name\">Bread</b></div></body></html>";
    bool isPage = false;
    const auto recipes = ReadWebPage(page, &isPage);
    EXPECT_TRUE(isPage);
    ASSERT_EQ(recipes.size(), 2u);
    EXPECT_EQ(recipes[0].Title, "Soup");
    EXPECT_EQ(recipes[1].Title, "Bread");
}

// A recipe that names itself nowhere is called after its page, never stored without a title.
TEST(WebPageImport, RecipeWithoutANameIsCalledAfterItsPage) {
    const std::string json = "{\"@type\":\"Recipe\",\"recipeIngredient\":[\"1 egg\"]}";
    const std::string page = "<html><head><link rel=\"canonical\" href=\"https://a.example/eggs\">"
                             "</head><body><script type=\"application/ld+json\">" +
                             json + "</script></body></html>";
    const auto withAddress = ReadWebPage(page);
    ASSERT_EQ(withAddress.size(), 1u);
    EXPECT_EQ(withAddress[0].Title, "Recipe from https://a.example/eggs");
    const auto without = ReadWebPage("<html><body><script type=\"application/ld+json\">" + json +
                                     "</script></body></html>");
    ASSERT_EQ(without.size(), 1u);
    EXPECT_EQ(without[0].Title, "Untitled recipe");
}

} // namespace
} // namespace larderly::import::test
