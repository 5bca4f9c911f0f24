// File helpers: MS-DOS stamps and attributes, free space, temporary names, locks, paths.
#include "platform/FileUtil.h"
#include "platform/Text.h"

#include "SmallDisk.h"
#include "archive/LhaTestUtil.h"
#include "platform/Errors.h"
#include "platform/StagingFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fu = larderly::fileutil;
using larderly::testutil::ScratchDir;
using larderly::testutil::WriteText;

namespace {

struct TzUtc {
    TzUtc() {
        setenv("TZ", "UTC", 1);
        tzset();
    }
};

TEST(FileUtilStamp, LocalTimeToDosAndBack) {
    TzUtc tz;
    struct Case {
        std::time_t t;
        uint32_t stamp;
    };
    // 2026-12-09 13:45:30 UTC; 1980-01-01 00:00:00; 2107-12-31 23:59:58.
    const Case cases[] = {
        {1796823930, (46u << 9 | 12u << 5 | 9u) << 16 | (13u << 11 | 45u << 5 | 15u)},
        {315532800, (0u << 9 | 1u << 5 | 1u) << 16},
        {4354819198, (127u << 9 | 12u << 5 | 31u) << 16 | (23u << 11 | 59u << 5 | 29u)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fu::ToDosStamp(c.t), c.stamp) << c.t;
        EXPECT_EQ(fu::FromDosStamp(c.stamp), c.t) << c.t;
    }
    // Odd seconds fall to the two-second step; years out of range are clamped.
    EXPECT_EQ(fu::FromDosStamp(fu::ToDosStamp(1796823931)), 1796823930);
    EXPECT_EQ(fu::ToDosStamp(0), (1u << 5 | 1u) << 16);
}

TEST(FileUtilStamp, FileStampIsSetAndRead) {
    TzUtc tz;
    ScratchDir dir;
    const std::string f = dir / "a.txt";
    WriteText(f, "x");
    const uint32_t stamp = fu::ToDosStamp(1796823930);
    ASSERT_TRUE(fu::SetFileDosStamp(f, stamp));
    EXPECT_EQ(fu::FileDosStamp(f), stamp);
    struct stat st {};
    ASSERT_EQ(stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1796823930);
    EXPECT_FALSE(fu::FileDosStamp(dir / "missing").has_value());
}

TEST(FileUtilAttributes, MappedFromModeAndName) {
    ScratchDir dir;
    WriteText(dir / "plain", "x");
    WriteText(dir / ".hidden", "x");
    WriteText(dir / "locked", "x");
    chmod((dir / "locked").c_str(), 0444);
    fu::MakeDirectories(dir / "sub");
    EXPECT_EQ(fu::FileAttributes(dir / "plain"), fu::kAttrArchive);
    EXPECT_EQ(fu::FileAttributes(dir / ".hidden"), fu::kAttrArchive | fu::kAttrHidden);
    EXPECT_EQ(fu::FileAttributes(dir / "locked"), fu::kAttrArchive | fu::kAttrReadOnly);
    EXPECT_EQ(fu::FileAttributes(dir / "sub"), fu::kAttrDirectory);
    EXPECT_FALSE(fu::FileAttributes(dir / "missing").has_value());

    // Only the read-only bit is applied, both ways.
    ASSERT_TRUE(fu::ApplyAttributes(dir / "plain", fu::kAttrReadOnly | fu::kAttrArchive));
    EXPECT_EQ(fu::FileAttributes(dir / "plain").value() & fu::kAttrReadOnly, fu::kAttrReadOnly);
    ASSERT_TRUE(fu::ApplyAttributes(dir / "locked", fu::kAttrArchive));
    EXPECT_EQ(fu::FileAttributes(dir / "locked").value() & fu::kAttrReadOnly, 0);
}

TEST(FileUtilSpace, FreeSpaceUsesNearestExistingFolder) {
    ScratchDir dir;
    const int64_t here = fu::FreeSpace(dir.path());
    EXPECT_GT(here, 0);
    EXPECT_GT(fu::FreeSpace(dir / "not/yet/there/file.001"), 0);
    EXPECT_GT(fu::FreeSpace("relative-missing-folder/x"), 0);
}

TEST(FileUtilTemp, TempFileHasPrefixAndOrdinaryPermissions) {
    ScratchDir dir;
    const mode_t old = umask(022);
    auto t = fu::MakeTempFile(dir.path(), "LHA");
    umask(old);
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(fu::ExtractFileName(*t).substr(0, 3), "LHA");
    EXPECT_EQ(fu::ParentFolder(*t), dir.path());
    struct stat st {};
    ASSERT_EQ(stat(t->c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    EXPECT_EQ(st.st_size, 0);
    EXPECT_FALSE(fu::MakeTempFile(dir / "missing", "LHA").has_value());
}

TEST(FileUtilFiles, MoveReplacesAndDirectoriesNest) {
    ScratchDir dir;
    WriteText(dir / "a", "new");
    WriteText(dir / "b", "old");
    ASSERT_TRUE(fu::MoveFile(dir / "a", dir / "b"));
    EXPECT_FALSE(fu::PathExists(dir / "a"));
    EXPECT_EQ(larderly::testutil::ReadFile(dir / "b"), (larderly::testutil::Bytes{'n', 'e', 'w'}));
    EXPECT_FALSE(fu::MoveFile(dir / "a", dir / "c"));

    ASSERT_TRUE(fu::MakeDirectories(dir / "x/y/z/"));
    EXPECT_TRUE(fu::DirectoryExists(dir / "x/y/z"));
    WriteText(dir / "file", "x");
    EXPECT_FALSE(fu::MakeDirectories(dir / "file/sub"));
    EXPECT_TRUE(fu::RemoveFile(dir / "file"));
    EXPECT_TRUE(fu::RemoveFile(dir / "file")); // already gone counts as removed
}

TEST(FileUtilLock, ExclusiveLockKeepsOthersOut) {
    ScratchDir dir;
    const std::string f = dir / "locked.lzh";
    WriteText(f, "x");
    int fd = open(f.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    {
        fu::FileLock lock(fd);
        ASSERT_TRUE(lock.locked());
        EXPECT_FALSE(fu::CanOpenExclusive(f));
        int other = open(f.c_str(), O_RDONLY);
        fu::FileLock second(other);
        EXPECT_FALSE(second.locked());
        close(other);
    }
    EXPECT_TRUE(fu::CanOpenExclusive(f));
    close(fd);
    chmod(f.c_str(), 0444);
    if (geteuid() != 0) {
        EXPECT_FALSE(fu::CanOpenExclusive(f)); // root writes anyway
    }
    EXPECT_FALSE(fu::CanOpenExclusive(dir.path()));
}

TEST(FileUtilPaths, Pieces) {
    struct Case {
        std::string path, folder, name, ext, changed;
    };
    const Case cases[] = {
        {"/a/b/c.txt", "/a/b/", "c.txt", ".txt", "/a/b/c.$$$"},
        {"c", "", "c", "", "c.$$$"},
        {"dir.d/file", "dir.d/", "file", "", "dir.d/file.$$$"},
        {"C:\\App\\x.nx1", "C:\\App\\", "x.nx1", ".nx1", "C:\\App\\x.$$$"},
        {"a/b/", "a/b/", "", "", "a/b/.$$$"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fu::ExtractFilePath(c.path), c.folder) << c.path;
        EXPECT_EQ(fu::ExtractFileName(c.path), c.name) << c.path;
        EXPECT_EQ(fu::ExtractFileExt(c.path), c.ext) << c.path;
        EXPECT_EQ(fu::ChangeFileExt(c.path, ".$$$"), c.changed) << c.path;
    }
    EXPECT_EQ(fu::IncludeTrailingSeparator("a"), "a/");
    EXPECT_EQ(fu::IncludeTrailingSeparator("a\\"), "a\\");
    EXPECT_EQ(fu::IncludeTrailingSeparator(""), "");
    EXPECT_EQ(larderly::UpperAZ("tbl102.nx1 é"), "TBL102.NX1 é");
    EXPECT_TRUE(larderly::StartsWithAZ("/Home/X/f", "/home/x/"));

    const std::map<char, std::string> drives{{'A', "/media/floppy0"}};
    EXPECT_EQ(fu::MapDrivePath("a:\\backup\\x.001", drives), "/media/floppy0/backup/x.001");
    EXPECT_EQ(fu::MapDrivePath("A:/x.001", drives), "/media/floppy0/x.001");
    EXPECT_EQ(fu::MapDrivePath("/srv\\x", drives), "/srv/x");
}

TEST(FileUtilList, SortedWithoutDotEntries) {
    ScratchDir dir;
    WriteText(dir / "b", "x");
    WriteText(dir / "a", "x");
    fu::MakeDirectories(dir / "c");
    auto list = fu::ListDirectory(dir.path());
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].name, "a");
    EXPECT_EQ(list[2].name, "c");
    EXPECT_TRUE(list[2].isDirectory);
    EXPECT_TRUE(list[0].isRegular);
}

// --- Files written for the user ---

std::string ReadText(const std::string& path) {
    const auto bytes = larderly::testutil::ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// Names in the folder other than those given.
std::vector<std::string> Others(const std::string& folder, std::vector<std::string> known) {
    std::vector<std::string> out;
    for (const auto& e : fu::ListDirectory(folder))
        if (std::find(known.begin(), known.end(), e.name) == known.end()) out.push_back(e.name);
    return out;
}

TEST(FileUtilOutput, ReplacesOnlyRegularFilesAndLeavesNoTemporary) {
    ScratchDir dir;
    WriteText(dir / "old.txt", "old");
    ::chmod((dir / "old.txt").c_str(), 0600);
    WriteText(dir / "pointee.txt", "pointee");
    ASSERT_EQ(::symlink("pointee.txt", (dir / "link.txt").c_str()), 0);
    ASSERT_EQ(::symlink("gone.txt", (dir / "dangling.txt").c_str()), 0);
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
    fu::MakeDirectories(dir / "folder");
    const std::vector<std::string> known = {"old.txt", "pointee.txt", "link.txt", "dangling.txt",
                                            "fifo",    "folder",      "new.txt"};
    struct Case {
        std::string target;
        const char* refusal; // "" when the file is written
    } cases[] = {
        {dir / "new.txt", ""},
        {dir / "old.txt", ""},
        {dir / "link.txt", "it is a symbolic link"},
        {dir / "dangling.txt", "it is a symbolic link"},
        {dir / "fifo", "it is a named pipe"},
        {dir / "folder", "it is a folder"},
        {"/dev/null", "it is a device"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        try {
            fu::OutputFile out(c.target);
            out.Stream() << "fresh";
            out.Commit();
            EXPECT_STREQ(c.refusal, "");
            EXPECT_EQ(ReadText(c.target), "fresh");
        } catch (const larderly::EInOutError& e) {
            EXPECT_EQ(e.what(), "Cannot write " + c.target + ": " + c.refusal +
                                    ". Only a regular file is replaced; choose another file name.");
        }
        EXPECT_EQ(Others(dir.path(), known), std::vector<std::string>{});
    }
    struct stat st {};
    ASSERT_EQ(::stat((dir / "old.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "a replaced file keeps its permissions";
    EXPECT_EQ(ReadText(dir / "pointee.txt"), "pointee") << "nothing written through the link";
    EXPECT_FALSE(fu::PathExists(dir / "gone.txt"));

    // Not committed: the target stays as it was.
    {
        fu::OutputFile out(dir / "old.txt");
        out.Stream() << "half";
    }
    EXPECT_EQ(ReadText(dir / "old.txt"), "fresh");
    EXPECT_EQ(Others(dir.path(), known), std::vector<std::string>{});
}

TEST(FileUtilOutput, FullDiskFailsAndKeepsTheOldFile) {
    larderly::testing::SmallDisk disk;
    if (!disk.ok()) GTEST_SKIP() << "mounting a small file system is not permitted here";
    const std::string target = disk.path("report.pdf");
    WriteText(target, "old");
    try {
        fu::OutputFile out(target);
        out.Stream() << std::string(16 * 1024, 'y');
        out.Commit();
        ADD_FAILURE() << "the write on a full disk did not fail";
    } catch (const larderly::EInOutError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write " + target + ": No space left on device");
    }
    EXPECT_EQ(ReadText(target), "old");
    EXPECT_EQ(fu::ListDirectory(disk.path("")).size(), 2u) << "the temporary file is removed";
}

TEST(FileUtilOutput, TemporariesOfEndedRunsAreRemovedAtTheNextOutput) {
    ScratchDir dir;
    const pid_t dead = ::fork();
    if (dead == 0) _exit(0);
    ASSERT_GT(dead, 0);
    ::waitpid(dead, nullptr, 0);
    const std::string self = std::to_string(::getpid()), gone = std::to_string(dead);
    const std::string deadTemp = ".a.mmf.larderly-tmp-" + gone + "-Ab3xYz",
                      oldExport = ".larderly-export-" + gone + "-0",
                      liveTemp = ".b.pdf.larderly-tmp-" + self + "-Qw7eRt",
                      staleLive = ".c.pdf.larderly-tmp-" + self + "-Zx9cVb",
                      foreign = ".d.larderly-tmp-x", user = "a.mmf.larderly-tmp-" + gone + "-1";
    for (const auto& n : {deadTemp, oldExport, liveTemp, staleLive, foreign, user})
        WriteText(dir / n, "x");
    const struct timespec times[2] = {{std::time(nullptr) - 2 * 86400, 0},
                                      {std::time(nullptr) - 2 * 86400, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / staleLive).c_str(), times, 0), 0);
    {
        fu::OutputFile out(dir / "a.mmf");
        out.Commit();
    }
    std::vector<std::string> left;
    for (const auto& e : fu::ListDirectory(dir.path()))
        left.push_back(e.name);
    std::sort(left.begin(), left.end());
    std::vector<std::string> want = {liveTemp, foreign, "a.mmf", user};
    std::sort(want.begin(), want.end());
    EXPECT_EQ(left, want);
}

// A process that was killed but not yet reaped by its parent (a zombie) holds no file and no
// lock any more: both sweeps, the staging folders of the backup and restore jobs and the
// temporary files of the outputs, take what it left behind for stale, as they do for a
// process that is gone; what a running process left stays.
TEST(FileUtilStale, AZombieOwnerCountsAsEnded) {
    ScratchDir dir;
    const pid_t zombie = ::fork();
    if (zombie == 0) _exit(0);
    ASSERT_GT(zombie, 0);
    // The child has ended once it shows as a zombie; its parent has not reaped it.
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(zombie), &info, WEXITED | WNOWAIT), 0);
    const pid_t reaped = ::fork();
    if (reaped == 0) _exit(0);
    ASSERT_GT(reaped, 0);
    ::waitpid(reaped, nullptr, 0);

    struct Case {
        long pid;
        bool gone;
    } cases[] = {{zombie, true}, {reaped, true}, {::getpid(), false}, {1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pid);
        EXPECT_EQ(fu::ProcessGone(c.pid), c.gone);
        const std::string staging =
            dir / (std::string(larderly::kStagingPrefix) + std::to_string(c.pid) + "-AbC123");
        const std::string temp = dir / (".a.mmf.larderly-tmp-" + std::to_string(c.pid) + "-Ab3xYz");
        ASSERT_EQ(::mkdir(staging.c_str(), 0700), 0);
        WriteText(temp, "x");
        larderly::RemoveStaleStagingFolders(dir.path());
        fu::RemoveStaleOutputFiles(dir.path());
        EXPECT_EQ(fu::DirectoryExists(staging), !c.gone);
        EXPECT_EQ(fu::FileExists(temp), !c.gone);
        fu::RemoveTree(staging);
        fu::RemoveFile(temp);
    }
    ::waitpid(zombie, nullptr, 0);
}

} // namespace
