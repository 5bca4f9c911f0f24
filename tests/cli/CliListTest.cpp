// larderly-cli list on empty, filled and broken data folders.
#include "RunCommand.h"
#include "TestHome.h"
#include "store/Labels.h"
#include "store/Tables.h"

#include <gtest/gtest.h>

using namespace larderly;
using larderly::testing::TestHome;

namespace {
larderly::testing::CommandResult RunCli(const std::string& args) {
    return larderly::testing::RunCommand(larderly::testing::BuiltProgram("larderly-cli") + " " +
                                         args);
}
} // namespace

TEST(CliList, EmptyThenFilledDataFolder) {
    TestHome h;
    auto r = RunCli("--home " + h.home() + " list");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(std::filesystem::exists(h.data() + "/tbl104.nx1"))
        << "a first start creates the tables";

    {
        TfmTables s;
        s.OpenDatabase(h.home());
        s.SetTablesOpen(true);
        auto add = [&](const std::string& title, const std::string& c1, const std::string& c3) {
            s.ClearBuffers();
            s.RecipeRec.Title = title;
            SetCategorySlot(s, 1, c1);
            SetCategorySlot(s, 3, c3);
            return s.SaveRecord(rkRecipe);
        };
        add("banana Bread", "Breads", "");
        add("_Underscore", "", "Odd");
        add("Apple pie", "Desserts", "Fruit");
        add("apple Pie", "", "");
    }
    r = RunCli("--home " + h.home() + " list");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "3\tApple pie\tDesserts;;Fruit;\n"
                     "4\tapple Pie\t;;;\n"
                     "1\tbanana Bread\tBreads;;;\n"
                     "2\t_Underscore\t;;Odd;\n");
}

TEST(CliList, UnusableDataGivesAMessageAndExitOne) {
    TestHome h;
    std::filesystem::create_directories(h.data());
    larderly::testing::WriteFile(h.data() + "/tbl102.nx1", "not a table file");
    auto r = RunCli("--home " + h.home() + " list");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("tbl101.nx1"), std::string::npos) << r.out;
}

TEST(CliSearch, PrintsTheMatchingRecipesInListOrder) {
    TestHome h;
    int32_t pudding = -1;
    {
        TfmTables s;
        s.OpenDatabase(h.home());
        s.SetTablesOpen(true);
        auto add = [&](const std::string& title, const std::string& c2,
                       std::vector<std::string> text) {
            s.ClearBuffers();
            s.RecipeRec.Title = title;
            SetCategorySlot(s, 2, c2);
            s.RecipeText = std::move(text);
            return s.SaveRecord(rkRecipe);
        };
        pudding = add("Rice pudding", "Desserts", {"Simmer the milk."});
        add("bread", "", {"1 c rice flour"});
        add("Soup", "Soups", {"Serves 4"});
        add("Fried Rice", "", {});
    }
    const std::string cli = "--home " + h.home() + " ";
    auto r = RunCli(cli + "search rice");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "2\tbread\t;;;\n"
                     "4\tFried Rice\t;;;\n"
                     "1\tRice pudding\t;Desserts;;\n");
    r = RunCli(cli + "search RIC pud");
    EXPECT_EQ(r.out, "1\tRice pudding\t;Desserts;;\n");
    r = RunCli(cli + "search nothinglikeit");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");

    // A deleted recipe is no longer found; a renamed one shows its new title.
    {
        TfmTables s;
        s.OpenDatabase(h.home());
        s.SetTablesOpen(true);
        ASSERT_TRUE(s.DeleteRecipe(pudding));
        auto fried = s.LoadRecipeById(4);
        ASSERT_TRUE(fried);
        fried->Title = "Egg fried rice";
        s.SaveRecipeValue(*fried);
    }
    r = RunCli(cli + "search rice");
    EXPECT_EQ(r.out, "2\tbread\t;;;\n"
                     "4\tEgg fried rice\t;;;\n");
}

TEST(CliSearch, SaysWhileTheIndexIsRebuilt) {
    TestHome h;
    {
        TfmTables s;
        s.OpenDatabase(h.home());
        s.SetTablesOpen(true);
        for (const char* title : {"Lentil soup", "Lentil salad"}) {
            s.ClearBuffers();
            s.RecipeRec.Title = title;
            s.SaveRecord(rkRecipe);
        }
    }
    const std::string cli =
        larderly::testing::BuiltProgram("larderly-cli") + " --home " + h.home() + " search lentil";
    // What the command writes to stderr when that is a terminal (a pseudo-terminal made by
    // script(1)), or only what it writes to stdout.
    auto errors = [&](const std::string& command) {
        auto r =
            larderly::testing::RunCommand("script -qec '" + command + " >/dev/null' /dev/null");
        std::erase(r.out, '\r');
        return r;
    };
    const std::string found = "2\tLentil salad\t;;;\n1\tLentil soup\t;;;\n";
    // A lost index is built afresh; output read by a script carries no progress line.
    std::filesystem::remove(h.data() + "/search.idx");
    auto r = larderly::testing::RunCommand(cli);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, found);
    // On a terminal the command says so on stderr while it builds.
    std::filesystem::remove(h.data() + "/search.idx");
    r = errors(cli);
    EXPECT_EQ(r.out, "Rebuilding the search index of 2 recipes...\n"
                     "The search index is rebuilt.\n");
    EXPECT_EQ(larderly::testing::RunCommand(cli).out, found);
    // So does the ingredient index's build, when a command first needs that index: a search
    // of the titles and texts leaves it alone.
    std::filesystem::remove(h.data() + "/ingredients.idx");
    EXPECT_EQ(errors(cli).out, "");
    const std::string byIngredient = larderly::testing::BuiltProgram("larderly-cli") + " --home " +
                                     h.home() + " search --ingredient lentil";
    r = errors(byIngredient);
    EXPECT_EQ(r.out, "Rebuilding the ingredient index of 2 recipes...\n"
                     "The ingredient index is rebuilt.\n");
    // An index in step is not built again.
    EXPECT_EQ(errors(byIngredient).out, "");
    EXPECT_EQ(errors(cli).out, "");
}

TEST(CliList, IngredientSearchFollowsSavesAndARestore) {
    TestHome h;
    auto add = [&](const std::string& title, std::vector<std::string> lines) {
        TfmTables s;
        s.OpenDatabase(h.home());
        s.SetTablesOpen(true);
        RecipeValue r;
        r.Title = title;
        r.Lines = std::move(lines);
        return s.SaveRecipeValue(r);
    };
    add("Leek soup", {"3 leeks, sliced", "2 potatoes", "Serve with leek crisps."});
    add("Mash", {"1 kg potatoes"});
    const std::string cli = "--home " + h.home() + " ";
    auto r = RunCli(cli + "search --ingredient leek potato");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "1\tLeek soup\t;;;\n");
    EXPECT_EQ(RunCli(cli + "search --ingredient Potatoes").out,
              "1\tLeek soup\t;;;\n2\tMash\t;;;\n");
    EXPECT_EQ(RunCli(cli + "search --ingredient crisps").out, "") << "directions are no items";

    const std::string backup = h.home() + "backup";
    std::filesystem::create_directories(backup);
    r = RunCli(cli + "backup " + backup);
    ASSERT_EQ(r.status, 0) << r.out;
    add("Leek tart", {"4 leeks"});
    EXPECT_EQ(RunCli(cli + "search --ingredient leek").out,
              "1\tLeek soup\t;;;\n3\tLeek tart\t;;;\n");
    r = RunCli(cli + "restore " + backup);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(RunCli(cli + "search --ingredient leek").out, "1\tLeek soup\t;;;\n")
        << "the restored recipes are searched, not the index of the replaced ones";
}

// Only import and print work with Qt, in the module beside the program: the program itself
// names no Qt library, a copy of it alone still lists, searches, shows and exports, and the
// two commands say which file they miss; from the build folder they run as ever.
TEST(CliStart, OnlyImportAndPrintLoadQt) {
    TestHome h;
    {
        TfmTables s;
        s.OpenDatabase(h.home());
        s.SetTablesOpen(true);
        s.ClearBuffers();
        s.RecipeRec.Title = "Lentil soup";
        s.RecipeText = {"Servings: 2", "1 cup lentils"};
        s.SaveRecord(rkRecipe);
    }
    const std::string alone = h.path("alone/larderly-cli");
    std::filesystem::create_directories(h.path("alone"));
    std::filesystem::copy_file(larderly::testing::BuiltProgram("larderly-cli"), alone);
    auto needed = larderly::testing::RunCommand("readelf -d " + alone);
    ASSERT_EQ(needed.status, 0) << needed.out;
    EXPECT_NE(needed.out.find("(NEEDED)"), std::string::npos);
    EXPECT_EQ(needed.out.find("Qt6"), std::string::npos) << needed.out;

    const std::string exported = h.path("out.mmf");
    const std::string cli = alone + " --home " + h.home() + " ";
    for (const std::string& args : std::vector<std::string>{
             "list", "search lentil", "show 1", "export --format mmf --id 1 " + exported}) {
        auto r = larderly::testing::RunCommand(cli + args);
        EXPECT_EQ(r.status, 0) << args << ": " << r.out;
    }
    for (const std::string& args :
         std::vector<std::string>{"print 1 --pdf " + h.path("out.pdf"), "import " + exported}) {
        auto r = larderly::testing::RunCommand(cli + args);
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_NE(r.out.find("liblarderly-cli-qt.so"), std::string::npos) << args << ": " << r.out;
    }
    EXPECT_FALSE(std::filesystem::exists(h.path("out.pdf")));

    const std::string other = "--home " + h.path("other") + " ";
    auto r = RunCli(other + "import " + exported);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(RunCli(other + "list").out, "1\tLentil soup\t;;;\n");
    r = RunCli(other + "print 1 --pdf " + h.path("out.pdf"));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(std::filesystem::exists(h.path("out.pdf")));
}
