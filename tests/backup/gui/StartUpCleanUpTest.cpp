// The program at start-up removes the staging folders that killed or crashed backups and
// restores left behind: in temp/ and in the last backup folder, where an old set that an
// interrupted backup had moved aside goes back in place.
#include "RunCommand.h"
#include "TestHome.h"
#include "platform/StagingFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using larderly::testing::BuiltProgram;
using larderly::testing::ReadFile;
using larderly::testing::RunCommand;
using larderly::testing::TestHome;
using larderly::testing::WriteFile;

TEST(StartUpCleanUp, TheProgramRemovesStagingLeftByEndedRuns) {
    TestHome h;
    const std::string bk = h.path("bk");
    // Left by runs whose process is gone: a restore's in temp/, a backup's that had moved
    // the old set aside in the last backup folder.
    const std::string stale = std::string(larderly::kStagingPrefix) + "999999999-Ab12Cd";
    fs::create_directories(h.path("temp/" + stale));
    fs::create_directories(bk + "/" + stale + "/old");
    WriteFile(bk + "/" + stale + "/old/recipebackup.001", "old set");
    WriteFile(h.ini(), "[Backup]\nBPath=" + bk + "\n");

    const auto r = RunCommand("QT_QPA_PLATFORM=offscreen " + BuiltProgram("larderly") +
                              " --screenshot " + h.path("shot.png"));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_FALSE(fs::exists(h.path("temp/" + stale)));
    EXPECT_FALSE(fs::exists(bk + "/" + stale));
    EXPECT_EQ(ReadFile(bk + "/recipebackup.001"), "old set");
}

} // namespace
