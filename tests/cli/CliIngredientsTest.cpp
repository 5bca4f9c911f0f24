// larderly-cli ingredients ID and --parse, and show ID --servings N.
#include "RunCommand.h"
#include "TestHome.h"
#include "store/Tables.h"

#include <gtest/gtest.h>

using namespace larderly;
using larderly::testing::TestHome;

namespace {
larderly::testing::CommandResult RunCli(const std::string& args) {
    return larderly::testing::RunCommand(larderly::testing::BuiltProgram("larderly-cli") + " " +
                                         args);
}

int32_t AddRecipe(const std::string& home, const std::vector<std::string>& lines) {
    TfmTables s;
    s.OpenDatabase(home);
    s.SetTablesOpen(true);
    RecipeValue r;
    r.Title = "Soup";
    r.Lines = lines;
    return s.SaveRecipeValue(r);
}
} // namespace

TEST(CliIngredients, ListsARecipesIngredientsAndRefusesAMissingRecipe) {
    TestHome h;
    const int32_t id = AddRecipe(h.home(), {"Servings: 4", "", "MMMMM-----BASE-----",
                                            "      2 c  Water", "      1 ts Salt", "",
                                            "1 1/2 cups leeks, sliced", "", "Boil 2 minutes."});
    auto r = RunCli("--home " + h.home() + " ingredients " + std::to_string(id));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "#\tBASE\n2\tcup\tWater\t\n1\ttsp\tSalt\t\n1.5\tcup\tleeks\tsliced\n");

    r = RunCli("--home " + h.home() + " ingredients 999");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("999"), std::string::npos) << r.out;
}

TEST(CliIngredients, ParseReadsStandardInput) {
    TestHome h;
    auto r = larderly::testing::RunCommand(
        "printf 'For the dough:\\n\\n½ tsp. salt\\nsalt to taste\\n' | " +
        larderly::testing::BuiltProgram("larderly-cli") + " --home " + h.home() +
        " ingredients --parse");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "#\tFor the dough\n0.5\ttsp\tsalt\t\n\t\tsalt to taste\t\n");
}

TEST(CliShow, ScalesTheShownAndPrintedRecipeButNeverTheStoredOne) {
    TestHome h;
    const std::vector<std::string> lines = {"Servings: 4", "", "  1 1/2 c  Milk",
                                            "    200 g  Flour", "           Salt to taste"};
    const int32_t id = AddRecipe(h.home(), lines);
    const std::string cli = "--home " + h.home() + " ";
    auto r = RunCli(cli + "show " + std::to_string(id) + " --servings 6");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "Soup\n\nCategories: \n\nServings: 6\n\n  2 1/4 c  Milk\n    300 g  Flour\n"
                     "           Salt to taste\n");
    r = RunCli(cli + "show " + std::to_string(id));
    EXPECT_NE(r.out.find("Servings: 4\n\n  1 1/2 c  Milk\n"), std::string::npos) << r.out;

    const std::string pdf = h.home() + "/soup.pdf";
    r = RunCli(cli + "print " + std::to_string(id) + " --pdf " + pdf + " --servings 2");
    ASSERT_EQ(r.status, 0) << r.out;
    const auto text = larderly::testing::RunCommand("pdftotext -layout '" + pdf + "' -");
    EXPECT_NE(text.out.find("Servings: 2"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("3/4 c"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("100 g"), std::string::npos) << text.out;

    TfmTables s;
    s.OpenDatabase(h.home());
    s.SetTablesOpen(true);
    EXPECT_EQ(s.LoadRecipeById(id)->Lines, lines);
}

TEST(CliShow, RefusesBadServingsAndARecipeWithoutServings) {
    TestHome h;
    const int32_t id = AddRecipe(h.home(), {"2 cups flour"});
    const std::string cli = "--home " + h.home() + " ";
    auto r = RunCli(cli + "show " + std::to_string(id) + " --servings 0");
    EXPECT_EQ(r.status, 2) << r.out;
    r = RunCli(cli + "show " + std::to_string(id) + " --servings 3");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("no number of servings"), std::string::npos) << r.out;
    const std::string pdf = h.home() + "/none.pdf";
    r = RunCli(cli + "print " + std::to_string(id) + " --pdf " + pdf + " --servings 3");
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(std::filesystem::exists(pdf)) << "nothing is written for a refused print";
}
