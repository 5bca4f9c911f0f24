// The data folder under stress: a backup or restore stopped at each step of its file swap,
// an import and a restore at the same time, and lock files that cannot be used.
#include "RunCommand.h"
#include "TestHome.h"
#include "platform/FolderLock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace larderly {
namespace {

using testing::BuiltProgram;
using testing::ReadFile;
using testing::RunCommand;
using testing::TestHome;
namespace fs = std::filesystem;

const std::string kFixtures = std::string(LARDERLY_SOURCE_DIR) + "/tests/data/import/";

// Runs a command to its stop at the Nth step of a swap (or to its end), as a kill would.
testing::CommandResult RunStoppedAt(const std::string& cmd, int step) {
    return RunCommand("LARDERLY_TEST_EXIT_AT_RENAME=" + std::to_string(step) + " " + cmd);
}

// A program folder with a few recipes and their backup in bk/; `cli` runs on it and
// `backedUp` is what `list` shows of it.
void BackedUpHome(const TestHome& home, std::string& cli, std::string& backedUp) {
    cli = BuiltProgram("larderly-cli") + " --home " + home.home();
    ASSERT_EQ(RunCommand(cli + " import " + kFixtures + "mastercook.mxp").status, 0);
    fs::create_directories(home.path("bk"));
    ASSERT_EQ(RunCommand(cli + " backup " + home.path("bk")).status, 0);
    backedUp = RunCommand(cli + " list").out;
}

// Kills a backup and a restore at each step of their swap: the next command finds one whole
// set, the old one or the new one, and nothing of the run is left in temp/.
TEST(DataFolderSafety, EveryStepOfASwapEndsInOneWholeSet) {
    TestHome home;
    const std::string cli = BuiltProgram("larderly-cli") + " --home " + home.home();
    ASSERT_EQ(RunCommand(cli + " import " + kFixtures + "mastercook.mxp").status, 0);
    for (const char* f : {"bk", "bk-both"})
        fs::create_directories(home.path(f));
    ASSERT_EQ(RunCommand(cli + " backup " + home.path("bk")).status, 0);
    const std::string first = RunCommand(cli + " list").out;
    ASSERT_EQ(RunCommand(cli + " import " + kFixtures + "mealmaster-mmmmm.mmf").status, 0);
    ASSERT_EQ(RunCommand(cli + " backup " + home.path("bk-both")).status, 0);
    const std::string both = RunCommand(cli + " list").out;
    ASSERT_NE(first, both);

    struct Case {
        const char* what;
        std::string run, check; // the stopped command, the next command that must find order
        std::string setUp;      // brings the data to the set `both` before each run
    } cases[] = {
        {"restore", cli + " restore " + home.path("bk"), cli + " list",
         cli + " restore " + home.path("bk-both")},
        {"backup", cli + " backup " + home.path("bk"), cli + " restore " + home.path("bk"),
         cli + " restore " + home.path("bk-both")},
    };
    // A temporary archive that an older run left in temp/ goes with the rest.
    fs::create_directories(home.path("temp"));
    testing::WriteFile(home.path("temp/recipebackup.$a$"), "left over");
    for (const auto& c : cases) {
        int step = 1;
        for (;; ++step) {
            ASSERT_EQ(RunCommand(c.setUp).status, 0) << c.what << " step " << step;
            const auto stopped = RunStoppedAt(c.run, step);
            const auto next = RunCommand(c.check);
            EXPECT_EQ(next.status, 0) << c.what << " step " << step << ": " << next.out;
            const std::string now = RunCommand(cli + " list").out;
            EXPECT_TRUE(now == first || now == both)
                << c.what << " stopped at step " << step << " left:\n"
                << now;
            // The search finds what the list shows: the index never outlives its set.
            EXPECT_EQ(RunCommand(cli + " search rice").out.empty(),
                      now.find("Plain Rice") == std::string::npos)
                << c.what << " step " << step;
            EXPECT_TRUE(fs::is_empty(home.path("temp"))) << c.what << " step " << step;
            if (stopped.status == 0) break;
            ASSERT_LT(step, 40) << c.what << " never ends";
        }
        EXPECT_GT(step, 4) << c.what << " has fewer steps than files";
    }
}

// A restore started while an import runs waits for it and then restores; the import ends
// whole before. A second import waits as well, naming the first.
TEST(DataFolderSafety, ARestoreWaitsForAnImportAtWork) {
    TestHome home;
    std::string cli, backedUp;
    ASSERT_NO_FATAL_FAILURE(BackedUpHome(home, cli, backedUp));

    // The import reads a pipe that stays open until the test writes into it, so it is at
    // work for as long as the test wants.
    const std::string fifo = home.path("recipes.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto background = [&](const std::string& cmd, const std::string& name) {
        std::system(("(" + cmd + " > " + home.path(name + ".out") + " 2>&1; echo $? > " +
                     home.path(name + ".rc") + ") &")
                        .c_str());
    };
    auto waitFor = [&](const std::function<bool()>& done) {
        for (int i = 0; i < 200 && !done(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return done();
    };
    background(cli + " import " + fifo, "import");
    ASSERT_TRUE(waitFor([&] { return !FolderLock::Writer(home.data()).empty(); }));
    const std::string importer = FolderLock::Writer(home.data());
    EXPECT_EQ(importer.rfind("the import in process ", 0), 0u) << importer;

    background(cli + " restore " + home.path("bk"), "restore");
    background(cli + " import " + kFixtures + "mealmaster-dashes.mmf", "import2");
    const std::string waiting = "Waiting for " + importer + " to finish...";
    EXPECT_TRUE(waitFor([&] {
        return ReadFile(home.path("restore.out")).find(waiting) != std::string::npos;
    })) << ReadFile(home.path("restore.out"));
    EXPECT_TRUE(waitFor([&] {
        return ReadFile(home.path("import2.out")).find(waiting) != std::string::npos;
    })) << ReadFile(home.path("import2.out"));
    EXPECT_FALSE(fs::exists(home.path("restore.rc")));

    // The import gets its recipes and ends; the restore (and the second import) follow.
    RunCommand("cat " + kFixtures + "mealmaster-mmmmm.mmf > " + fifo);
    for (const char* job : {"import", "restore", "import2"})
        ASSERT_TRUE(waitFor([&] { return !ReadFile(home.path(std::string(job) + ".rc")).empty(); }))
            << job;
    EXPECT_EQ(ReadFile(home.path("import.rc")), "0\n") << ReadFile(home.path("import.out"));
    EXPECT_EQ(ReadFile(home.path("restore.rc")), "0\n") << ReadFile(home.path("restore.out"));
    EXPECT_EQ(ReadFile(home.path("import2.rc")), "0\n") << ReadFile(home.path("import2.out"));
    // The second import had the tables open before the restore could take them: the
    // restore came last, and its set is the data, whole.
    EXPECT_EQ(RunCommand(cli + " list").out, backedUp);
}

// Every step of a swap reaches the disk before the next one starts: each rename of the
// tables, the segments or the journal folders is followed by an fsync before the next rename.
TEST(DataFolderSafety, EachSwapStepIsSyncedBeforeTheNext) {
    if (RunCommand("strace -V").status != 0) GTEST_SKIP() << "strace is not installed";
    TestHome home;
    std::string cli, backedUp;
    ASSERT_NO_FATAL_FAILURE(BackedUpHome(home, cli, backedUp));
    // Some sandboxes forbid tracing, and an older strace may not know every call named: the
    // same tracing of a command that changes nothing must work before the test means anything.
    const std::string strace = "strace -f -qq -e trace=rename,renameat,renameat2,fsync -o ";
    if (const auto probe = RunCommand(strace + "/dev/null " + cli + " list"); probe.status != 0)
        GTEST_SKIP() << "strace cannot trace here: " << probe.out;
    for (const char* job : {"backup", "restore"}) {
        SCOPED_TRACE(job);
        const std::string trace = home.path(std::string(job) + ".trace");
        const auto traced =
            RunCommand(strace + trace + " " + cli + " " + job + " " + home.path("bk"));
        ASSERT_EQ(traced.status, 0) << traced.out;
        std::istringstream lines(ReadFile(trace));
        std::string line, pending;
        int steps = 0;
        for (; std::getline(lines, line);) {
            const bool rename = line.find("rename") != std::string::npos;
            if ((!rename && line.find("fsync(") == std::string::npos) ||
                line.find("resumed>") != std::string::npos)
                continue;
            EXPECT_TRUE(pending.empty() || !rename)
                << "not synced before the next step: " << pending;
            pending.clear();
            if (rename && (line.find("/data/") != std::string::npos ||
                           line.find("/recipebackup.") != std::string::npos ||
                           line.find("/old") != std::string::npos)) {
                pending = line;
                ++steps;
            }
        }
        EXPECT_TRUE(pending.empty()) << "not synced: " << pending;
        EXPECT_GE(steps, 3) << ReadFile(trace);
    }
    EXPECT_EQ(RunCommand(cli + " list").out, backedUp);
}

// An import and an export killed at points along their way: the folder opens, the search
// finds what the tables hold, and the next run leaves no temporary file of ours.
TEST(DataFolderSafety, KilledImportsAndExportsLeaveOneWholeSet) {
    TestHome home;
    const std::string cli = BuiltProgram("larderly-cli") + " --home " + home.home();
    // Thousands of recipes, so that a kill lands in the middle of the work.
    std::string one = ReadFile(kFixtures + "mealmaster-mmmmm.mmf"), many;
    for (int i = 0; i < 3000; ++i) {
        std::string copy = one;
        for (std::size_t at = 0; (at = copy.find("Title: ", at)) != std::string::npos; at += 7)
            copy.insert(at + 7, "N" + std::to_string(i) + " ");
        many += copy;
    }
    const std::string big = home.path("big.mmf");
    testing::WriteFile(big, many);
    fs::create_directories(home.path("out"));
    const std::string exported = home.path("out/all.mmf");
    ASSERT_EQ(RunCommand(cli + " import " + kFixtures + "mastercook.mxp").status, 0);
    ASSERT_EQ(RunCommand(cli + " export --format mmf " + exported).status, 0);

    // The recipes the search finds are those the list shows under that title.
    const auto searchAgrees = [&] {
        const auto list = RunCommand(cli + " list");
        EXPECT_EQ(list.status, 0) << list.out;
        std::istringstream lines(list.out);
        std::string line, listed;
        while (std::getline(lines, line))
            if (line.find("Plain Rice") != std::string::npos) listed += line + "\n";
        EXPECT_EQ(RunCommand(cli + " search plain rice").out, listed);
    };
    const std::string runs[] = {cli + " import --skip-existing " + big,
                                cli + " export --format mmf " + exported};
    for (const auto& run : runs) {
        for (const char* delay : {"0.05", "0.15", "0.3", "0.5"}) {
            SCOPED_TRACE(run + " killed after " + delay + " s");
            RunCommand("timeout -s KILL " + std::string(delay) + " " + run);
            searchAgrees();
            const auto next = RunCommand(run);
            EXPECT_EQ(next.status, 0) << next.out;
            searchAgrees();
            for (const auto& e : fs::directory_iterator(home.path("out")))
                EXPECT_EQ(e.path().filename(), "all.mmf") << "left over";
        }
    }
}

// A set with a table file missing or damaged is never backed up over a good backup, and a
// restore mends it.
TEST(DataFolderSafety, ARestoreMendsWhatABackupRefuses) {
    TestHome home;
    std::string cli, backedUp;
    ASSERT_NO_FATAL_FAILURE(BackedUpHome(home, cli, backedUp));
    const std::string archive = ReadFile(home.path("bk/recipebackup.001"));
    struct Case {
        const char* file;
        bool remove; // else the file is overwritten with text
        const char* named;
    } cases[] = {{"tbl101.nx1", true, "tbl101.nx1 not found"},
                 {"tbl102.nx1", false, "tbl102.nx1 cannot be used"},
                 {"tbl104.nx1", false, "tbl104.nx1 cannot be used"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        if (c.remove)
            fs::remove(home.path(std::string("data/") + c.file));
        else
            testing::WriteFile(home.path(std::string("data/") + c.file), std::string(4096, 'x'));
        const auto backup = RunCommand(cli + " backup " + home.path("bk"));
        EXPECT_EQ(backup.status, 1);
        EXPECT_NE(backup.out.find(c.named), std::string::npos) << backup.out;
        EXPECT_EQ(ReadFile(home.path("bk/recipebackup.001")), archive);
        const auto restore = RunCommand(cli + " restore " + home.path("bk"));
        EXPECT_EQ(restore.status, 0) << restore.out;
        EXPECT_EQ(RunCommand(cli + " list").out, backedUp);
    }
    // A damaged backup is named as such, with what to do; the data stays.
    std::string damaged = archive;
    for (std::size_t i = damaged.size() / 2; i < damaged.size() / 2 + 64; ++i)
        damaged[i] = static_cast<char>(~damaged[i]);
    testing::WriteFile(home.path("bk/recipebackup.001"), damaged);
    const auto restore = RunCommand(cli + " restore " + home.path("bk"));
    EXPECT_EQ(restore.status, 1);
    EXPECT_NE(restore.out.find("The backup in " + home.path("bk/") + " cannot be read"),
              std::string::npos)
        << restore.out;
    EXPECT_NE(restore.out.find("damaged or incomplete"), std::string::npos) << restore.out;
    for (const char* raw : {"Operation cancelled", "Stream ", "CRC"})
        EXPECT_EQ(restore.out.find(raw), std::string::npos) << restore.out;
    EXPECT_EQ(RunCommand(cli + " list").out, backedUp);
}

// A backup into a full folder says so in words, and the earlier backup there stays.
TEST(DataFolderSafety, AFullBackupFolderIsNamed) {
    TestHome home;
    std::string cli, backedUp;
    ASSERT_NO_FATAL_FAILURE(BackedUpHome(home, cli, backedUp));
    const std::string full = home.path("full");
    fs::create_directories(full);
    if (geteuid() != 0 || RunCommand("mount -t tmpfs -o size=64k tmpfs " + full).status != 0)
        GTEST_SKIP() << "a small file system cannot be mounted here";
    struct Unmount {
        std::string dir;
        ~Unmount() { RunCommand("umount " + dir); }
    } unmount{full};
    const std::string earlier = ReadFile(home.path("bk/recipebackup.001"));
    fs::copy_file(home.path("bk/recipebackup.001"), full + "/recipebackup.001");
    // The rest of the room is taken.
    RunCommand("dd if=/dev/zero of=" + full + "/filler bs=1k count=64");
    const auto r = RunCommand(cli + " backup " + full);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("Backup Failed!\nThe backup could not be written into " + full, 0), 0)
        << r.out;
    EXPECT_NE(r.out.find("not enough free space"), std::string::npos) << r.out;
    for (const char* raw : {"Operation cancelled", "Stream "})
        EXPECT_EQ(r.out.find(raw), std::string::npos) << r.out;
    EXPECT_EQ(ReadFile(full + "/recipebackup.001"), earlier);
}

// A lock file that is a folder and a read-only data folder are named as what they are.
TEST(DataFolderSafety, UnusableLockFileIsNamed) {
    TestHome home;
    std::string cli, backedUp;
    ASSERT_NO_FATAL_FAILURE(BackedUpHome(home, cli, backedUp));

    fs::remove(home.path("data/larderly.lock"));
    fs::create_directories(home.path("data/larderly.lock"));
    auto r = RunCommand(cli + " import " + kFixtures + "mealmaster-dashes.mmf");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("larderly.lock is a folder, not a file"), std::string::npos) << r.out;
    fs::remove(home.path("data/larderly.lock"));

    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    fs::permissions(home.data(), fs::perms::owner_read | fs::perms::owner_exec);
    r = RunCommand(cli + " restore " + home.path("bk"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("is read-only"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("in use"), std::string::npos) << r.out;
    // Reading still works.
    EXPECT_EQ(RunCommand(cli + " list").status, 0);
    fs::permissions(home.data(), fs::perms::owner_all);
}

} // namespace
} // namespace larderly
