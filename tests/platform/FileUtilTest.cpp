// File helpers: MS-DOS stamps and attributes, free space, temporary names, locks, paths.
#include "platform/FileUtil.h"
#include "platform/Text.h"

#include "archive/LhaTestUtil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
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

} // namespace
