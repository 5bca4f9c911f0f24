// Files the command line writes for the user (export, print --pdf, iso) replace only regular
// files, and a write that fails (a full disk) says so, exits 1 and leaves the old file.
#include "RunCommand.h"
#include "SmallDisk.h"
#include "TestHome.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using larderly::testing::TestHome;

namespace {

larderly::testing::CommandResult Cli(const TestHome& h, const std::string& args) {
    return larderly::testing::RunCommand(larderly::testing::BuiltProgram("larderly-cli") +
                                         " --home " + h.home() + " " + args);
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::size_t Entries(const std::string& folder) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder))
        ++n;
    return n;
}

// The commands that write a file for the user, as the text before and after the file's name.
const std::pair<std::string, std::string> kCommands[] = {
    {"export --format mmf ", ""},
    {"print 1 --pdf ", ""},
    {"iso ", " " + std::string(LARDERLY_SOURCE_DIR) + "/README.md"}};

TEST(CliOutput, OnlyRegularFilesAreReplaced) {
    TestHome h;
    ASSERT_EQ(Cli(h, "import " + std::string(LARDERLY_SOURCE_DIR) +
                         "/tests/data/import/mealmaster-dashes.mmf")
                  .status,
              0);
    const std::string out = h.path("out");
    std::filesystem::create_directories(out);
    std::ofstream(out + "/pointee") << "keep";
    ASSERT_EQ(::symlink("pointee", (out + "/link").c_str()), 0);
    ASSERT_EQ(::mkfifo((out + "/fifo").c_str(), 0644), 0);
    for (const auto& [command, rest] : kCommands) {
        struct Case {
            std::string target;
            const char* why;
        } cases[] = {{out + "/link", "it is a symbolic link"},
                     {out + "/fifo", "it is a named pipe"},
                     {"/dev/full", "it is a device"}};
        for (const Case& c : cases) {
            SCOPED_TRACE(command + c.target);
            const auto r = Cli(h, command + c.target + rest);
            EXPECT_EQ(r.status, 1) << r.out;
            EXPECT_NE(r.out.find("Cannot write " + c.target + ": " + c.why), std::string::npos)
                << r.out;
        }
        EXPECT_EQ(Slurp(out + "/pointee"), "keep");
        EXPECT_EQ(Entries(out), 3u) << "no file was left beside the targets";
        struct stat st {};
        ASSERT_EQ(::stat("/dev/full", &st), 0);
        EXPECT_TRUE(S_ISCHR(st.st_mode));
        // A regular file is replaced as a whole.
        const auto r = Cli(h, command + out + "/new" + rest);
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_GT(std::filesystem::file_size(out + "/new"), 100u);
        std::filesystem::remove(out + "/new");
    }
}

TEST(CliOutput, FullDiskFailsAndKeepsTheOldFile) {
    larderly::testing::SmallDisk disk;
    if (!disk.ok()) GTEST_SKIP() << "mounting a small file system is not permitted here";
    TestHome h;
    // Enough text that neither the export nor the report fits in the space left.
    {
        std::ofstream mmf(h.path("big.mmf"));
        mmf << "MMMMM----- Recipe via Meal-Master (tm) v8.05\n\n      Title: Long\n"
               " Categories: Soups\n      Yield: 1 serving\n\n";
        for (int i = 0; i < 200; ++i)
            mmf << "  Stir the pot for a good long while and taste it again, line " << i << "\n";
        mmf << "\nMMMMM\n";
    }
    ASSERT_EQ(Cli(h, "import " + h.path("big.mmf")).status, 0);
    for (const auto& [command, rest] : kCommands) {
        SCOPED_TRACE(command);
        const std::string target = disk.path("old");
        std::ofstream(target) << "old";
        const auto r = Cli(h, command + target + rest);
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find("Unable to write " + target + ": No space left on device"),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(r.out.find("page"), std::string::npos) << r.out;
        EXPECT_EQ(Slurp(target), "old");
        EXPECT_EQ(Entries(disk.path("")), 2u) << "the temporary file is removed";
    }
}

} // namespace
