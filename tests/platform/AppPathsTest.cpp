// The program folder rule (LARDERLY_HOME, a build or portable folder, an installed program
// falling back to the per-user data folder) and where the help file is looked for.
#include "platform/AppPaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace larderly;
namespace fs = std::filesystem;

namespace {

// A scratch tree: portable/ (a build or unpacked folder), prefix/bin + prefix/share/larderly
// (an installed program), home/ (the user's home).
class PathsTree : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/larderly-paths-XXXXXX";
        root_ = mkdtemp(tmpl);
        for (const char* d : {"portable", "prefix/bin", "prefix/share/larderly", "home"})
            fs::create_directories(root_ + "/" + d);
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(root_ + "/portable", fs::perms::owner_all, ec);
        fs::remove_all(root_, ec);
    }
    std::string P(const std::string& rel) const { return root_ + "/" + rel; }
    void Touch(const std::string& rel) const { std::ofstream(P(rel)) << "x"; }

    std::string root_;
};

TEST_F(PathsTree, ProgramFolderFollowsTheRule) {
    fs::create_directories(P("prefix-with-data/bin/data"));
    fs::create_directories(P("prefix-with-data/share/larderly"));
    struct Case {
        const char* what;
        ProgramFolderInputs in;
        std::string expected;
    } cases[] = {
        {"LARDERLY_HOME wins over everything",
         {P("elsewhere"), P("portable/"), P("xdg"), P("home")},
         P("elsewhere/")},
        {"a writable build or portable folder",
         {"", P("portable/"), P("xdg"), P("home")},
         P("portable/")},
        {"an installed program uses XDG_DATA_HOME",
         {"", P("prefix/bin/"), P("xdg"), P("home")},
         P("xdg/larderly/")},
        {"without XDG_DATA_HOME: ~/.local/share",
         {"", P("prefix/bin"), "", P("home")},
         P("home/.local/share/larderly/")},
        {"a relative XDG_DATA_HOME is ignored",
         {"", P("prefix/bin"), "rel/xdg", P("home")},
         P("home/.local/share/larderly/")},
        {"an installed folder that already holds data/ stays portable",
         {"", P("prefix-with-data/bin"), P("xdg"), P("home")},
         P("prefix-with-data/bin/")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ResolveProgramFolder(c.in), c.expected) << c.what;
    EXPECT_FALSE(fs::exists(P("xdg"))) << "resolving creates nothing";
}

TEST_F(PathsTree, AFolderTheUserCannotWriteIsNotUsedUnlessItHoldsData) {
    if (geteuid() == 0) GTEST_SKIP() << "root may write everywhere";
    chmod(P("portable").c_str(), 0555);
    ProgramFolderInputs in{"", P("portable"), P("xdg"), P("home")};
    EXPECT_EQ(ResolveProgramFolder(in), P("xdg/larderly/"));
    chmod(P("portable").c_str(), 0755);
    fs::create_directories(P("portable/data"));
    chmod(P("portable").c_str(), 0555);
    EXPECT_EQ(ResolveProgramFolder(in), P("portable/"));
}

TEST_F(PathsTree, InstalledProgramFolderIsRecognisedByItsShareFolder) {
    EXPECT_TRUE(IsInstalledProgramFolder(P("prefix/bin/")));
    EXPECT_TRUE(IsInstalledProgramFolder(P("prefix/bin")));
    EXPECT_FALSE(IsInstalledProgramFolder(P("portable/")));
    EXPECT_EQ(InstalledDataFolder(P("prefix/bin/")), P("prefix/share/larderly/"));
}

TEST_F(PathsTree, HelpIsLookedForInTheProgramFolderThenBesideTheProgramThenInShare) {
    auto candidates = HelpFileCandidates(P("home/data-home/"), P("prefix/bin/"));
    ASSERT_GE(candidates.size(), 3u);
    EXPECT_EQ(candidates[0], P("home/data-home/Recipe.hlp"));
    EXPECT_EQ(candidates[1], P("prefix/bin/Recipe.hlp"));
    EXPECT_EQ(candidates[2], P("prefix/share/larderly/Recipe.hlp"));
    // One folder given twice (a portable program folder is the executable's) is asked once.
    auto portable = HelpFileCandidates(P("portable/"), P("portable"));
    EXPECT_EQ(std::count(portable.begin(), portable.end(), P("portable/Recipe.hlp")), 1);
}

TEST_F(PathsTree, ThisProcessReadsTheRuleFromItsEnvironment) {
    // The test program runs from the build folder, which is portable: without LARDERLY_HOME
    // its own folder is used, as before. (The installed case runs in scripts/install-check.sh.)
    const char* saved = std::getenv("LARDERLY_HOME");
    std::string keep = saved ? saved : "";
    unsetenv("LARDERLY_HOME");
    EXPECT_EQ(ProgramFolder(), ExecutableFolder());
    setenv("LARDERLY_HOME", P("given").c_str(), 1);
    EXPECT_EQ(ProgramFolder(), P("given/"));
    EXPECT_FALSE(fs::exists(P("given"))) << "a given folder is left to the store to create";
    if (saved)
        setenv("LARDERLY_HOME", keep.c_str(), 1);
    else
        unsetenv("LARDERLY_HOME");
}

} // namespace
