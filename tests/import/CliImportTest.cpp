// larderly-cli import: the report lines, refused files and unreadable files.
#include "ImportTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <sys/wait.h>

using namespace larderly::import::test;

namespace {

struct CliRun {
    int status = -1;
    std::string out, err;
};

// Runs the program; `input`, when given, is a file piped to its standard input.
CliRun Cli(const std::string& home, const std::string& args, const std::string& input = {}) {
    CliRun r;
    std::string errFile = home + ".stderr";
    std::string cmd = std::string(LARDERLY_BIN_DIR) + "/larderly-cli --home '" + home + "' " +
                      args + " 2>'" + errFile + "'";
    if (!input.empty()) cmd = "cat '" + input + "' | " + cmd;
    FILE* f = popen(cmd.c_str(), "r");
    if (!f) return r;
    std::array<char, 4096> buf{};
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), f)) > 0)
        r.out.append(buf.data(), n);
    int st = pclose(f);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    std::ifstream e(errFile);
    r.err.assign(std::istreambuf_iterator<char>(e), {});
    return r;
}

} // namespace

TEST(CliImport, ReportsEachFileAndRefusals) {
    TempStore t; // only for its folder
    const std::string home = t.Folder() + "/home";
    const std::string mm = Fixture("mealmaster-mmmmm.mmf"), bad = Fixture("not-a-recipe.txt"),
                      mc = Fixture("mastercook.mxp");
    CliRun r = Cli(home, "import '" + mm + "' '" + bad + "' '" + mc + "'");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, mm + "\t2\tMeal-Master export\n" + mc + "\t2\tMasterCook text\n");
    // The text outside the recipes is named by its lines.
    EXPECT_EQ(r.err, "Improper Recipe File " + bad + "\n" + mc +
                         ": lines 1, 6 stand outside any recipe and were not imported.\n");

    // The store kept them: a second run adds nothing, and says why.
    r = Cli(home, "import '" + mm + "'");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, mm + "\t0\tMeal-Master export\n");
    EXPECT_EQ(r.err, "Recipe \"Cr\xC3\xA8me Br\xC3\xBBl\xC3\xA9"
                     "e\" is already in the collection; nothing was imported from " +
                         mm +
                         ". To import its other recipes, import it again with --skip-existing.\n");
    r = Cli(home, "list");
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4);
}

TEST(CliImport, UnreadableFileStopsWithStatus1) {
    TempStore t;
    const std::string home = t.Folder() + "/home";
    CliRun r =
        Cli(home, "import '" + t.Folder() + "/missing.mmf' '" + Fixture("mastercook.mxp") + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("missing.mmf"), std::string::npos) << r.err;
    EXPECT_EQ(Cli(home, "import").status, 2);
}

TEST(CliImport, StandardInputFromAPipe) {
    TempStore t;
    const std::string home = t.Folder() + "/home";
    CliRun r = Cli(home, "import /dev/stdin", Fixture("mastercook.mx2"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "/dev/stdin\t2\tMasterCook XML\n");
    r = Cli(home, "list");
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2);
}

TEST(CliImport, SkipExistingAndEncodingOptions) {
    TempStore t;
    const std::string home = t.Folder() + "/home";
    const std::string dashes = Fixture("mealmaster-dashes.mmf"),
                      mmmmm = Fixture("mealmaster-mmmmm.mmf");
    ASSERT_EQ(Cli(home, "import '" + mmmmm + "'").status, 0);
    // A file whose second recipe repeats its first title, and whose first is in the store.
    const std::string twice =
        t.WriteFile("twice.mmf", "MMMMM----- Recipe via Meal-Master\n\n      Title: Plain rice\n"
                                 " Categories: \n      Yield: 1\nMMMMM\n"
                                 "MMMMM----- Recipe via Meal-Master\n\n      Title: Congee\n"
                                 " Categories: \n      Yield: 1\nMMMMM\n"
                                 "MMMMM----- Recipe via Meal-Master\n\n      Title: CONGEE\n"
                                 " Categories: \n      Yield: 1\nMMMMM\n");
    CliRun r =
        Cli(home, "import --skip-existing --encoding cp437 '" + twice + "' '" + dashes + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              twice + "\t1\tMeal-Master export\t2\n" + dashes + "\t2\tMeal-Master export\t0\n");
    r = Cli(home, "list");
    EXPECT_NE(r.out.find("Caf\xC3\xA9 au lait"), std::string::npos)
        << "read as code page 437: " << r.out;
    EXPECT_NE(r.out.find("Congee"), std::string::npos);

    r = Cli(home, "import --encoding ebcdic '" + twice + "'");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown encoding"), std::string::npos);
}
