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
using larderly::testutil::writeText;

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
        EXPECT_EQ(fu::toDosStamp(c.t), c.stamp) << c.t;
        EXPECT_EQ(fu::fromDosStamp(c.stamp), c.t) << c.t;
    }
    // Odd seconds fall to the two-second step; years out of range are clamped.
    EXPECT_EQ(fu::fromDosStamp(fu::toDosStamp(1796823931)), 1796823930);
    EXPECT_EQ(fu::toDosStamp(0), (1u << 5 | 1u) << 16);
}

TEST(FileUtilStamp, FileStampIsSetAndRead) {
    TzUtc tz;
    ScratchDir dir;
    const std::string f = dir / "a.txt";
    writeText(f, "x");
    const uint32_t stamp = fu::toDosStamp(1796823930);
    ASSERT_TRUE(fu::setFileDosStamp(f, stamp));
    EXPECT_EQ(fu::fileDosStamp(f), stamp);
    struct stat st {};
    ASSERT_EQ(stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1796823930);
    EXPECT_FALSE(fu::fileDosStamp(dir / "missing").has_value());
}

TEST(FileUtilAttributes, MappedFromModeAndName) {
    ScratchDir dir;
    writeText(dir / "plain", "x");
    writeText(dir / ".hidden", "x");
    writeText(dir / "locked", "x");
    chmod((dir / "locked").c_str(), 0444);
    fu::makeDirectories(dir / "sub");
    EXPECT_EQ(fu::fileAttributes(dir / "plain"), fu::kAttrArchive);
    EXPECT_EQ(fu::fileAttributes(dir / ".hidden"), fu::kAttrArchive | fu::kAttrHidden);
    EXPECT_EQ(fu::fileAttributes(dir / "locked"), fu::kAttrArchive | fu::kAttrReadOnly);
    EXPECT_EQ(fu::fileAttributes(dir / "sub"), fu::kAttrDirectory);
    EXPECT_FALSE(fu::fileAttributes(dir / "missing").has_value());

    // Only the read-only bit is applied, both ways.
    ASSERT_TRUE(fu::applyAttributes(dir / "plain", fu::kAttrReadOnly | fu::kAttrArchive));
    EXPECT_EQ(fu::fileAttributes(dir / "plain").value() & fu::kAttrReadOnly, fu::kAttrReadOnly);
    ASSERT_TRUE(fu::applyAttributes(dir / "locked", fu::kAttrArchive));
    EXPECT_EQ(fu::fileAttributes(dir / "locked").value() & fu::kAttrReadOnly, 0);
}

TEST(FileUtilSpace, FreeSpaceUsesNearestExistingFolder) {
    ScratchDir dir;
    const int64_t here = fu::freeSpace(dir.path());
    EXPECT_GT(here, 0);
    EXPECT_GT(fu::freeSpace(dir / "not/yet/there/file.001"), 0);
    EXPECT_GT(fu::freeSpace("relative-missing-folder/x"), 0);
}

TEST(FileUtilTemp, TempFileHasPrefixAndOrdinaryPermissions) {
    ScratchDir dir;
    const mode_t old = umask(022);
    auto t = fu::makeTempFile(dir.path(), "LHA");
    umask(old);
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(fu::extractFileName(*t).substr(0, 3), "LHA");
    EXPECT_EQ(fu::parentFolder(*t), dir.path());
    struct stat st {};
    ASSERT_EQ(stat(t->c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    EXPECT_EQ(st.st_size, 0);
    EXPECT_FALSE(fu::makeTempFile(dir / "missing", "LHA").has_value());
}

TEST(FileUtilFiles, MoveReplacesAndDirectoriesNest) {
    ScratchDir dir;
    writeText(dir / "a", "new");
    writeText(dir / "b", "old");
    ASSERT_TRUE(fu::moveFile(dir / "a", dir / "b"));
    EXPECT_FALSE(fu::pathExists(dir / "a"));
    EXPECT_EQ(larderly::testutil::readFile(dir / "b"), (larderly::testutil::Bytes{'n', 'e', 'w'}));
    EXPECT_FALSE(fu::moveFile(dir / "a", dir / "c"));

    ASSERT_TRUE(fu::makeDirectories(dir / "x/y/z/"));
    EXPECT_TRUE(fu::directoryExists(dir / "x/y/z"));
    writeText(dir / "file", "x");
    EXPECT_FALSE(fu::makeDirectories(dir / "file/sub"));
    EXPECT_TRUE(fu::removeFile(dir / "file"));
    EXPECT_TRUE(fu::removeFile(dir / "file")); // already gone counts as removed
}

TEST(FileUtilLock, ExclusiveLockKeepsOthersOut) {
    ScratchDir dir;
    const std::string f = dir / "locked.lzh";
    writeText(f, "x");
    int fd = open(f.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    {
        fu::FileLock lock(fd);
        ASSERT_TRUE(lock.locked());
        EXPECT_FALSE(fu::canOpenExclusive(f));
        int other = open(f.c_str(), O_RDONLY);
        fu::FileLock second(other);
        EXPECT_FALSE(second.locked());
        close(other);
    }
    EXPECT_TRUE(fu::canOpenExclusive(f));
    close(fd);
    chmod(f.c_str(), 0444);
    if (geteuid() != 0) {
        EXPECT_FALSE(fu::canOpenExclusive(f)); // root writes anyway
    }
    EXPECT_FALSE(fu::canOpenExclusive(dir.path()));
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
        EXPECT_EQ(fu::extractFilePath(c.path), c.folder) << c.path;
        EXPECT_EQ(fu::extractFileName(c.path), c.name) << c.path;
        EXPECT_EQ(fu::extractFileExt(c.path), c.ext) << c.path;
        EXPECT_EQ(fu::changeFileExt(c.path, ".$$$"), c.changed) << c.path;
    }
    EXPECT_EQ(fu::includeTrailingSeparator("a"), "a/");
    EXPECT_EQ(fu::includeTrailingSeparator("a\\"), "a\\");
    EXPECT_EQ(fu::includeTrailingSeparator(""), "");
    EXPECT_EQ(larderly::UpperAZ("tbl102.nx1 é"), "TBL102.NX1 é");
    EXPECT_TRUE(larderly::StartsWithAZ("/Home/X/f", "/home/x/"));

    const std::map<char, std::string> drives{{'A', "/media/floppy0"}};
    EXPECT_EQ(fu::mapDrivePath("a:\\backup\\x.001", drives), "/media/floppy0/backup/x.001");
    EXPECT_EQ(fu::mapDrivePath("A:/x.001", drives), "/media/floppy0/x.001");
    EXPECT_EQ(fu::mapDrivePath("/srv\\x", drives), "/srv/x");
}

TEST(FileUtilList, SortedWithoutDotEntries) {
    ScratchDir dir;
    writeText(dir / "b", "x");
    writeText(dir / "a", "x");
    fu::makeDirectories(dir / "c");
    auto list = fu::listDirectory(dir.path());
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].name, "a");
    EXPECT_EQ(list[2].name, "c");
    EXPECT_TRUE(list[2].isDirectory);
    EXPECT_TRUE(list[0].isRegular);
}

} // namespace
