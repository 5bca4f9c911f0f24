// Filling the image tree: AddFile results, duplicates, capacities, the OnAddFile event,
// naming rules, directories and the path-table order.
#include "burn/Image.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace larderly;

namespace {

class ImageTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/larderly-tree-XXXXXX";
        Dir = mkdtemp(tmpl);
        Img.ImageDebugMessage = [this](const std::string& t, uint8_t m) {
            Messages.push_back(t);
            Types.push_back(m);
        };
    }
    void TearDown() override { fs::remove_all(Dir); }
    std::string MakeFile(const std::string& name, size_t size) {
        fs::path p = fs::path(Dir) / name;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << std::string(size, 'x');
        return p.string();
    }
    std::vector<std::string> ChildNames(int dir) {
        std::vector<std::string> out;
        for (int c = Img.DirTable()[size_t(dir)].FirstChild; c >= 0;
             c = Img.FileTable()[size_t(c)].NextSibling)
            out.push_back(Img.FileTable()[size_t(c)].LongName);
        return out;
    }

    std::string Dir;
    TDiscImage Img;
    std::vector<std::string> Messages;
    std::vector<uint8_t> Types;
};

TEST(ShortAliasTest, FollowsTheFileSystemRules) {
    struct Case {
        std::string name, alias;
    } cases[] = {
        {"recipebackup.001", "RECIPE~1.001"},
        {"README", ""}, // already a valid 8.3 name: no alias
        {"readme.txt", ""},
        {"A-1_#.TXT", ""},
        {"my file.txt", "MYFILE~1.TXT"},
        {"a+b.c", "A_B~1.C"},
        {".bashrc", "BASHRC~1"},
        {"archive.tar.gz", "ARCHIV~1.GZ"},
        {"abc.defg", "ABC~1.DEF"},
        {"r\xC3\xA9sum\xC3\xA9.doc", "R_SUM_~1.DOC"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ShortAlias(c.name, nullptr), c.alias) << c.name;

    std::set<std::string> taken{"RECIPE~1.001"};
    auto isTaken = [&](const std::string& a) { return taken.count(a) > 0; };
    EXPECT_EQ(ShortAlias("recipebackup.001", isTaken), "RECIPE~2.001");
    for (int i = 2; i <= 9; ++i)
        taken.insert("RECIPE~" + std::to_string(i) + ".001");
    EXPECT_EQ(ShortAlias("recipebackup.001", isTaken), "RECIP~10.001");
}

TEST_F(ImageTreeTest, AddFileResults) {
    fs::create_directories(Dir + "/folder");
    struct Case {
        std::string dest, source;
        int result;
        size_t files;
    } cases[] = {
        {"\\", MakeFile("one.txt", 1), 1, 1},
        {"/", Dir + "/missing.txt", 255, 1},
        {"/", Dir + "/folder", 255, 1}, // a folder is not a file
        {"/nowhere", MakeFile("two.txt", 1), 0, 1},
        {"", MakeFile("two.txt", 1), 1, 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Img.AddFile(c.dest, c.source, false), c.result) << c.source;
        EXPECT_EQ(Img.FileTable().size(), c.files) << c.source;
    }
    ASSERT_EQ(Messages, std::vector<std::string>{"INVALID DESTINATION PATH"});
    EXPECT_EQ(Types[0], 4);
}

TEST_F(ImageTreeTest, DuplicateIsKeptOrReplaced) {
    std::string f = MakeFile("recipebackup.001", 10);
    ASSERT_EQ(Img.AddFile("/", f, false), 1);
    MakeFile("recipebackup.001", 20);
    EXPECT_EQ(Img.AddFile("/", f, false), 1);
    ASSERT_EQ(Img.FileTable().size(), 1u);
    EXPECT_EQ(Img.FileTable()[0].IsoSize, 10);

    Img.ReplaceFile = true;
    EXPECT_EQ(Img.AddFile("/", f, false), 1);
    ASSERT_EQ(Img.FileTable().size(), 1u);
    EXPECT_EQ(Img.FileTable()[0].IsoSize, 20);
    EXPECT_EQ(Img.FileTable()[0].ShortName, "RECIPE~1.001");

    // A folder of the same name is never turned into a file.
    Img.ForceImageDir("/data.bak");
    EXPECT_EQ(Img.AddFile("/", MakeFile("DATA.BAK", 1), false), 1);
    EXPECT_EQ(ChildNames(0), (std::vector<std::string>{"recipebackup.001", "data.bak"}));
    EXPECT_TRUE(Img.FileTable()[1].IsDirectory());
}

TEST_F(ImageTreeTest, FullTablesAreReported) {
    Img.ResetImage(3, 2);
    EXPECT_EQ(Img.ForceImageDir("/a"), 1);
    EXPECT_EQ(Img.ForceImageDir("/b"), -1);
    EXPECT_EQ(Img.AddFile("/", MakeFile("f1", 1), false), 1);
    EXPECT_EQ(Img.AddFile("/", MakeFile("f2", 1), false), 1);
    EXPECT_EQ(Img.AddFile("/", MakeFile("f3", 1), false), 1);
    EXPECT_EQ(Img.FileTable().size(), 3u);
    EXPECT_EQ(Messages, (std::vector<std::string>{">>> MAXIMUM DIRECTORIES CAN BE 2",
                                                  "MAXIMUM FILES CAN BE 3"}));
    EXPECT_EQ(Types, (std::vector<uint8_t>{3, 3}));
}

TEST_F(ImageTreeTest, OnAddFileMayRenameRedateOrSkip) {
    std::string seenLong, seenShort, seenPath;
    int64_t seenSize = -1;
    int32_t seenAttr = -1;
    Img.OnAddFile = [&](const std::string& path, std::string& longName, std::string& shortName,
                        TDateTime& date, int32_t attr, int64_t size, bool& skip) {
        seenPath = path;
        seenLong = longName;
        seenShort = shortName;
        seenSize = size;
        seenAttr = attr;
        if (longName == "skip.me") skip = true;
        longName = "Backup.001";
        shortName = "backup.001";
        date = EncodeDateTime(2001, 2, 3, 4, 5, 6);
    };
    std::string f = MakeFile("recipebackup.001", 1234);
    Img.AddFile("/", f, false);
    EXPECT_EQ(seenPath, f);
    EXPECT_EQ(seenLong, "recipebackup.001");
    EXPECT_EQ(seenShort, "RECIPE~1.001");
    EXPECT_EQ(seenSize, 1234);
    EXPECT_EQ(seenAttr, faArchive);
    Img.AddFile("/", MakeFile("skip.me", 1), false);
    ASSERT_EQ(Img.FileTable().size(), 1u);
    const TFEntry& e = Img.FileTable()[0];
    EXPECT_EQ(e.LongName, "Backup.001");
    EXPECT_EQ(e.ShortName, "BACKUP.001");
    EXPECT_EQ(e.SourcePath, f);
    TDateParts d = DecodeDateTime(e.DateTime);
    EXPECT_EQ(d.Year * 10000 + d.Month * 100 + d.Day, 20010203);
}

// Whole days count from 30 December 1899 in the proleptic Gregorian calendar; the time of
// day is the fraction, and a date decodes back to its parts.
TEST(DateTimeTest, DaysCountFromTheEpochAndDecodeBack) {
    const struct {
        int Year, Month, Day;
        double Serial;
    } kCases[] = {
        {1899, 12, 30, 0},    {1899, 12, 29, -1},  {1900, 3, 1, 61},      {2000, 1, 1, 36526},
        {2024, 2, 29, 45351}, {2100, 3, 1, 73110}, {1752, 9, 14, -53797},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::to_string(c.Year) + "-" + std::to_string(c.Month) + "-" +
                     std::to_string(c.Day));
        EXPECT_EQ(EncodeDateTime(c.Year, c.Month, c.Day, 0, 0, 0), c.Serial);
        const TDateParts p = DecodeDateTime(EncodeDateTime(c.Year, c.Month, c.Day, 18, 30, 15, 42));
        EXPECT_EQ(
            std::vector<int>({p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second, p.Hundredths}),
            std::vector<int>({c.Year, c.Month, c.Day, 18, 30, 15, 42}));
    }
}

TEST_F(ImageTreeTest, LongNamesAreSkippedOrFitTheJolietRecord) {
    const std::string n109 = std::string(105, 'n') + ".txt";
    const std::string n110 = std::string(106, 'n') + ".txt";
    Img.AddFile("/", MakeFile(n110, 1), false); // skipped by default
    EXPECT_TRUE(Img.FileTable().empty());
    Img.AddFile("/", MakeFile(n109, 1), false);
    ASSERT_EQ(Img.FileTable().size(), 1u);
    // With ";1" a 109-character name would need a 256-byte record.
    EXPECT_EQ(Img.FileTable()[0].LongName, std::string(104, 'n') + ".txt");

    Img.OnAddFile = [](const std::string&, std::string&, std::string&, TDateTime&, int32_t, int64_t,
                       bool& skip) { skip = false; };
    Img.AddFile("/", MakeFile(std::string(200, 'm') + ".data", 1), false);
    ASSERT_EQ(Img.FileTable().size(), 2u);
    EXPECT_EQ(Img.FileTable()[1].LongName, std::string(103, 'm') + ".data");
    std::string longDir(150, 'd');
    int d = Img.ForceImageDir("/" + longDir);
    EXPECT_EQ(Img.DirTable()[size_t(d)].LongName, std::string(110, 'd'));

    Img.LayoutImage(0);
    Img.BuildImageHeader();
    const uint8_t* p =
        Img.HeaderStream().Data().data() + size_t(Img.Layout().JolietDirArea) * kSectorSize;
    std::vector<int> lengths;
    for (size_t pos = 68; p[pos] != 0; pos += p[pos])
        lengths.push_back(p[pos]);
    EXPECT_EQ(lengths, (std::vector<int>{254, 254, 254}));
}

TEST_F(ImageTreeTest, IdentifiersInAFolderAreUnique) {
    // Two 109-character names that agree once cut to fit a Joliet record, and a name that
    // equals such a cut name: all three are added under distinct Joliet identifiers.
    const std::string cutName = std::string(104, 'n') + ".txt";
    Img.AddFile("/", MakeFile(std::string(104, 'n') + "a.txt", 1), false);
    Img.AddFile("/", MakeFile(std::string(104, 'n') + "b.txt", 1), false);
    Img.AddFile("/", MakeFile(cutName, 1), false);
    // A valid 8.3 name equal to an alias made before it.
    Img.AddFile("/", MakeFile("Long Name.txt", 1), false);
    Img.AddFile("/", MakeFile("LONGNA~1.TXT", 1), false);
    // Two folders whose first 13 characters agree.
    Img.ForceImageDir("/recipes of 2024 a");
    Img.ForceImageDir("/recipes of 2024 b");
    // A backslash belongs to the file's name.
    Img.AddFile("/", MakeFile("dish\\soup.txt", 1), false);

    const auto& t = Img.FileTable();
    ASSERT_EQ(t.size(), 8u);
    std::set<std::string> joliet, iso;
    for (const TFEntry& e : t) {
        EXPECT_LE(Utf8ToUtf16(e.LongName).size(), e.IsDirectory() ? 110u : 108u) << e.LongName;
        EXPECT_TRUE(joliet.insert(e.LongName).second) << "Joliet name twice: " << e.LongName;
        EXPECT_TRUE(iso.insert(e.ShortName).second) << "ISO name twice: " << e.ShortName;
    }
    EXPECT_EQ(t[0].LongName, cutName);
    EXPECT_EQ(t[1].LongName, std::string(102, 'n') + "~1.txt");
    EXPECT_EQ(t[2].LongName, std::string(102, 'n') + "~2.txt");
    EXPECT_EQ(t[3].ShortName, "LONGNA~1.TXT");
    EXPECT_EQ(t[4].ShortName, "LONGNA~2.TXT");
    EXPECT_EQ(t[4].LongName, "LONGNA~1.TXT");
    EXPECT_EQ(t[5].ShortName, "RECIPES_OF_20");
    EXPECT_EQ(t[6].ShortName, "RECIPES_OF_~1");
    EXPECT_EQ(t[7].LongName, "dish_soup.txt") << "Joliet forbids the backslash";
    EXPECT_EQ(t[7].ShortName, "DISH_S~1.TXT");
    EXPECT_EQ(ChildNames(0).size(), 8u) << "nothing went into a folder";

    // The same name again is still one file.
    Img.AddFile("/", MakeFile(std::string(104, 'n') + "b.txt", 1), false);
    EXPECT_EQ(t.size(), 8u);
}

TEST_F(ImageTreeTest, FilesOf4GiBAreRefused) {
    std::string big = MakeFile("huge.bin", 0);
    std::string fits = MakeFile("fits.bin", 0);
    fs::resize_file(big, 4294967296ULL);
    fs::resize_file(fits, 4294967295ULL);
    EXPECT_EQ(Img.AddFile("/", big, false), 1);
    EXPECT_EQ(Img.AddFile("/", fits, false), 1);
    ASSERT_EQ(Img.FileTable().size(), 1u);
    EXPECT_EQ(Img.FileTable()[0].IsoSize, 4294967295LL);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_NE(Messages[0].find("4 GB"), std::string::npos);
    EXPECT_NE(Messages[0].find(big), std::string::npos);
}

TEST_F(ImageTreeTest, DirectoriesAreCreatedOnceAndFound) {
    int backup = Img.ForceImageDir("\\Data\\Backup");
    ASSERT_EQ(backup, 2);
    EXPECT_EQ(Img.DirTable()[2].Path, "/DATA/BACKUP");
    EXPECT_EQ(Img.DirTable()[2].Parent, 1);
    EXPECT_EQ(Img.DirTable()[1].Path, "/DATA");
    struct Case {
        std::string path;
        int dir;
    } finds[] = {{"", 0},
                 {"/", 0},
                 {"\\", 0},
                 {"/data", 1},
                 {"/DATA/backup/", 2},
                 {"\\data\\BACKUP", 2},
                 {"/backup", -1},
                 {"/data/backup/x", -1}};
    for (const auto& c : finds)
        EXPECT_EQ(Img.FindImageDir(c.path), c.dir) << c.path;
    EXPECT_EQ(Img.ForceImageDir("/data/backup/"), 2);
    EXPECT_EQ(Img.DirTable().size(), 3u);

    int odd = Img.ForceImageDir("/my dir{x} with a long name");
    EXPECT_EQ(Img.DirTable()[size_t(odd)].ShortName, "MY_DIR_X__WIT");
    EXPECT_EQ(Img.DirTable()[size_t(odd)].LongName, "my dir{x} with a long name");
    const TFEntry& e = Img.FileTable()[0];
    EXPECT_EQ(e.Attributes, faDirectory);
    EXPECT_EQ(e.Directory, 1);

    // KeepSourcePath recreates the source's folder below the root.
    std::string f = MakeFile("sub/inner.txt", 3);
    EXPECT_EQ(Img.AddFile("/ignored", f, true), 1);
    int inner = Img.FindImageDir(fs::path(f).parent_path().string());
    ASSERT_GT(inner, 0);
    EXPECT_EQ(ChildNames(inner), std::vector<std::string>{"inner.txt"});
    EXPECT_TRUE(Messages.empty());
}

// Walks the path table order and checks what readers rely on: the root first, every
// directory after its parent, parent numbers never decreasing.
void ExpectPathOrder(const TDiscImage& img, const std::vector<int>& order) {
    const auto& dirs = img.DirTable();
    ASSERT_EQ(order.size(), dirs.size());
    EXPECT_EQ(order[0], 0);
    for (size_t i = 0; i < order.size(); ++i) {
        const TDEntry& d = dirs[size_t(order[i])];
        EXPECT_EQ(d.Number, i + 1);
        EXPECT_LT(dirs[size_t(d.Parent)].Number, d.Number == 1 ? 2u : d.Number);
        if (i > 0) {
            EXPECT_GE(dirs[size_t(d.Parent)].Number,
                      dirs[size_t(dirs[size_t(order[i - 1])].Parent)].Number);
        }
    }
}

TEST_F(ImageTreeTest, PathTableOrder) {
    struct Case {
        std::vector<std::string> create;
        std::vector<std::string> order; // long names in path-table order
    } cases[] = {
        {{"/b", "/a", "/b/c", "/a/d", "/a/d/e"}, {"CD Root Directory", "a", "b", "d", "c", "e"}},
        // The gap sorts do not keep equal keys in place: below z, y comes before a.
        {{"/z/y/x/w", "/y", "/z/a"}, {"CD Root Directory", "y", "z", "y", "a", "x", "w"}},
        {{"/m/n", "/m/b", "/a/n", "/a/b"}, {"CD Root Directory", "a", "m", "b", "n", "b", "n"}},
    };
    for (const auto& c : cases) {
        Img.ResetImage(100, 100);
        for (const auto& p : c.create)
            Img.ForceImageDir(p);
        Img.LayoutImage(0);
        ExpectPathOrder(Img, Img.IsoPathOrder());
        EXPECT_EQ(Img.IsoPathOrder(), Img.JolietPathOrder());
        std::vector<std::string> names;
        for (int d : Img.IsoPathOrder())
            names.push_back(Img.DirTable()[size_t(d)].LongName);
        EXPECT_EQ(names, c.order);
    }
    // A wider tree built in scrambled order.
    Img.ResetImage(1000, 1000);
    for (int i = 0; i < 60; ++i)
        Img.ForceImageDir("/d" + std::to_string((i * 7) % 13) + "/e" +
                          std::to_string((i * 5) % 11) + "/f" + std::to_string(i % 3));
    Img.LayoutImage(0);
    ExpectPathOrder(Img, Img.IsoPathOrder());
    ExpectPathOrder(Img, Img.JolietPathOrder());
}

} // namespace
