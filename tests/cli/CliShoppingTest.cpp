// larderly-cli shopping-list over a book, over identifiers, scaled, and its refusals.
#include "RunCommand.h"
#include "TestHome.h"
#include "store/Tables.h"

#include <gtest/gtest.h>

using namespace larderly;
using larderly::testing::TestHome;

namespace {
struct Result {
    int status = -1;
    std::string out, err;
};

// Runs the command with its standard output and error apart.
Result RunCli(const std::string& args) {
    TestHome errs;
    const std::string errFile = errs.home() + "stderr";
    auto r = larderly::testing::RunCommand("(" + larderly::testing::BuiltProgram("larderly-cli") +
                                           " " + args + " 2>" + errFile + ")");
    return {r.status, r.out, larderly::testing::ReadFile(errFile)};
}
} // namespace

TEST(CliShoppingList, BookIdsServingsAndAisleFile) {
    TestHome h;
    int32_t soup = 0, stew = 0, other = 0;
    {
        TfmTables s;
        s.OpenDatabase(h.home());
        s.SetTablesOpen(true);
        auto add = [&](const std::string& title, std::vector<std::string> lines) {
            RecipeValue r;
            r.Title = title;
            r.Lines = std::move(lines);
            return s.SaveRecipeValue(r);
        };
        soup = add("Leek soup", {"Servings: 2", "", "2 leeks, sliced", "500 g potatoes",
                                 "1 tbsp butter", "", "Simmer until soft."});
        stew = add("Stew", {"Serving Size  : 4", "1 kg Potatoes -- diced", "3 tsp butter"});
        other = add("Toast", {"1 slice bread"});
        BookValue b;
        b.Name = "Winter";
        s.SaveBookValue(b);
        s.AddBookEntry(b.InternalID, soup);
        s.AddBookEntry(b.InternalID, stew);
    }
    const std::string base = "--home " + h.home() + " shopping-list ";
    auto r = RunCli(base + "--book winter");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "#\tproduce\n2\tleeks\n1.5 kg\tpotatoes\n#\tdairy\n2 tbsp\tbutter\n");

    r = RunCli(base + "--id " + std::to_string(soup) + " " + std::to_string(other) +
               " --servings 4");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "#\tproduce\n4\tleeks\n1 kg\tpotatoes\n#\tdairy\n2 tbsp\tbutter\n"
                     "#\tbakery\n1 slice\tbread\n");
    EXPECT_NE(r.err.find("Toast"), std::string::npos) << "a recipe without servings is named";

    larderly::testing::WriteFile(h.home() + "aisles.txt", "leek = market\nbad line\n");
    r = RunCli(base + "--id " + std::to_string(soup));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(0, 19), "#\tproduce\n500 g\tpot") << r.out;
    EXPECT_NE(r.out.find("#\tmarket\n2\tleeks\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("aisles.txt: line 2"), std::string::npos) << r.err;

    for (const char* bad : {"", "--book Winter --id 1", "--id 1 --servings 0"})
        EXPECT_EQ(RunCli(base + bad).status, 2) << bad;
    r = RunCli(base + "--book Summer");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("\"Summer\""), std::string::npos) << r.err;
    r = RunCli(base + "--id 999");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("999"), std::string::npos) << r.err;
}
