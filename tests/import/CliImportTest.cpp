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

CliRun Cli(const std::string& home, const std::string& args) {
    CliRun r;
    std::string errFile = home + ".stderr";
    std::string cmd = std::string(LARDERLY_BIN_DIR) + "/larderly-cli --home '" + home + "' " + args + " 2>'" + errFile + "'";
    FILE* f = popen(cmd.c_str(), "r");
    if (!f) return r;
    std::array<char, 4096> buf{};
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), f)) > 0) r.out.append(buf.data(), n);
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
    EXPECT_EQ(r.err, "Improper Recipe File " + bad + "\n");

    // The store kept them: a second run adds nothing and succeeds.
    r = Cli(home, "import '" + mm + "'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, mm + "\t0\tMeal-Master export\n");
    r = Cli(home, "list");
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4);
}

TEST(CliImport, UnreadableFileStopsWithStatus1) {
    TempStore t;
    const std::string home = t.Folder() + "/home";
    CliRun r = Cli(home, "import '" + t.Folder() + "/missing.mmf' '" + Fixture("mastercook.mxp") + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("missing.mmf"), std::string::npos) << r.err;
    EXPECT_EQ(Cli(home, "import").status, 2);
}
