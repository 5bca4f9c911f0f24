// larderly-cli backup and restore: a round trip, and the failures that end with exit 1 and
// the job's message.
#include "RunCommand.h"
#include "TestHome.h"
#include "platform/InstanceLock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace larderly {
namespace {

using testing::BuiltProgram;
using testing::RunCommand;
using testing::TestHome;

TEST(CliBackup, RoundTripAndFailures) {
    TestHome home;
    const std::string cli = BuiltProgram("larderly-cli") + " --home " + home.home();
    const std::string fixtures = std::string(LARDERLY_SOURCE_DIR) + "/tests/data/import/";
    ASSERT_EQ(RunCommand(cli + " import " + fixtures + "mastercook.mxp").status, 0);
    const std::string before = RunCommand(cli + " list").out;
    std::filesystem::create_directories(home.path("bk"));

    const auto backup = RunCommand(cli + " backup " + home.path("bk"));
    EXPECT_EQ(backup.status, 0) << backup.out;
    ASSERT_EQ(RunCommand(cli + " import " + fixtures + "mealmaster-mmmmm.mmf").status, 0);
    const std::string backedUp = RunCommand(cli + " list").out;
    ASSERT_NE(backedUp, before);
    // A second backup answers the overwrite question yes.
    EXPECT_EQ(RunCommand(cli + " backup " + home.path("bk")).status, 0);
    EXPECT_EQ(RunCommand(cli + " import " + fixtures + "mealmaster-dashes.mmf").status, 0);
    const std::string second = RunCommand(cli + " list").out;

    const auto restore = RunCommand(cli + " restore " + home.path("bk"));
    EXPECT_EQ(restore.status, 0) << restore.out;
    EXPECT_NE(backedUp, second);
    EXPECT_EQ(RunCommand(cli + " list").out, backedUp);
    // The indexes are built again after a restore: said on a terminal (a pseudo-terminal made
    // by script(1)), never into output that a script reads.
    EXPECT_EQ(restore.out.find("index"), std::string::npos) << restore.out;
    const auto said =
        RunCommand("script -qec '" + cli + " restore " + home.path("bk") + "' /dev/null");
    EXPECT_EQ(said.status, 0) << said.out;
    for (const char* line :
         {"Rebuilding the search index of ", "The search index is rebuilt.",
          "Rebuilding the ingredient index of ", "The ingredient index is rebuilt."})
        EXPECT_NE(said.out.find(line), std::string::npos) << said.out;
    EXPECT_EQ(RunCommand(cli + " list").out, backedUp);

    struct Case {
        std::string args, message;
    } cases[] = {
        {"restore " + home.path("nothing-here"), "Backup file does not exist."},
        {"backup " + home.path("no/such/folder"), "Backup Failed!"},
        // An empty folder names no folder at all (not the file system's root).
        {"backup ''", "Path does not exist"},
        {"restore ''", "You must enter the path where the backup file resides"},
    };
    for (const auto& c : cases) {
        const auto r = RunCommand(cli + " " + c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
    }
    EXPECT_EQ(RunCommand(cli + " list").out, backedUp) << "a refused restore leaves the data";
}

TEST(CliBackup, RestoreIsRefusedWhileTheProgramRuns) {
    TestHome home;
    const std::string cli = BuiltProgram("larderly-cli") + " --home " + home.home();
    const std::string fixtures = std::string(LARDERLY_SOURCE_DIR) + "/tests/data/import/";
    ASSERT_EQ(RunCommand(cli + " import " + fixtures + "mastercook.mxp").status, 0);
    std::filesystem::create_directories(home.path("bk"));
    // The program holds the data folder (as its start does); a backup reads a consistent
    // copy and works, a restore would replace the files under it and is refused.
    InstanceLock program(home.data());
    ASSERT_TRUE(program.TryLock("larderly"));
    const auto backup = RunCommand(cli + " backup " + home.path("bk"));
    EXPECT_EQ(backup.status, 0) << backup.out;
    ASSERT_EQ(RunCommand(cli + " import " + fixtures + "mealmaster-mmmmm.mmf").status, 0);
    const std::string later = RunCommand(cli + " list").out;
    const auto refused = RunCommand(cli + " restore " + home.path("bk"));
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.out.find("in use by larderly (process " + std::to_string(getpid()) + ")"),
              std::string::npos)
        << refused.out;
    EXPECT_EQ(RunCommand(cli + " list").out, later);
    program.Unlock();
    EXPECT_EQ(RunCommand(cli + " restore " + home.path("bk")).status, 0);
    EXPECT_NE(RunCommand(cli + " list").out, later);
}

} // namespace
} // namespace larderly
