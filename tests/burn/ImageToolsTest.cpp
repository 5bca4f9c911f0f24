// Images made by `larderly-cli iso` and by the image classes, read back by third-party
// tools: isoinfo, xorriso and 7z must list the right names, sizes and dates and extract the
// files byte for byte; a later session is read at its start sector.
#include "burn/CacheThread.h"
#include "burn/Image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/time.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace larderly;

namespace {

struct Result {
    int Status;
    std::string Output;
};

Result Shell(const std::string& cmd) {
    Result r{-1, ""};
    FILE* p = ::popen((cmd + " 2>&1").c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf{};
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
        r.Output.append(buf.data(), n);
    r.Status = ::pclose(p);
    return r;
}

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class ImageToolsTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        char tmpl[] = "/tmp/larderly-isotools-XXXXXX";
        Dir = mkdtemp(tmpl);
        fs::create_directories(Src());
    }
    void TearDown() override { fs::remove_all(Dir); }
    fs::path Src() const { return fs::path(Dir) / "src"; }
    std::string Cli() const { return std::string(LARDERLY_BIN_DIR) + "/larderly-cli"; }

    // Files with random contents and a fixed change time: 2024-03-05 06:07:08 UTC.
    std::string MakeFile(const std::string& name, size_t size) {
        std::mt19937 rng(unsigned(size + name.size()));
        std::string data(size, '\0');
        for (auto& c : data)
            c = char(rng());
        fs::path p = Src() / name;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << data;
        timeval tv[2] = {{1709618828, 0}, {1709618828, 0}};
        utimes(p.c_str(), tv);
        return p.string();
    }
    static std::string Quote(const std::string& s) { return "'" + s + "'"; }

    // Lays the image out and writes it whole, files and all, through the read-ahead cache.
    static void WriteImage(TDiscImage& img, const std::string& path) {
        img.LayoutImage(0);
        img.BuildImageHeader();
        std::recursive_mutex lock;
        TCacheThread cache(4194304, lock, kCdBlockSize, img.WritePostGap, "", 0,
                           int64_t(img.Layout().VolumeSize) * 2048, img.HeaderStream(),
                           img.FileTable());
        std::ofstream out(path, std::ios::binary);
        std::vector<uint8_t> buf(kCacheBlockCapacity);
        for (;;) {
            int k;
            {
                std::lock_guard<std::recursive_mutex> g(lock);
                k = cache.GetBlock(buf.data());
            }
            if (k == 0) break;
            if (k < 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            else
                out.write(reinterpret_cast<const char*>(buf.data()), k);
        }
    }

    std::string Dir;
};

TEST_F(ImageToolsTest, CliImageIsReadByIsoinfoXorrisoAnd7z) {
    ASSERT_TRUE(fs::exists(Cli())) << "larderly-cli is not built";
    const std::vector<std::pair<std::string, size_t>> files = {
        {"recipebackup.001", 100000}, {"README", 3}, {"empty.txt", 0}, {"my recipes.txt", 4097}};
    std::string cmd = Cli() + " iso " + Quote(Dir + "/out.iso");
    for (const auto& [name, size] : files)
        cmd += " " + Quote(MakeFile(name, size));
    Result made = Shell(cmd);
    ASSERT_EQ(made.Status, 0) << made.Output;
    std::string iso = Quote(Dir + "/out.iso");
    EXPECT_EQ(fs::file_size(Dir + "/out.iso"), 300u * 2048); // padded to the minimum track

    Result d = Shell("isoinfo -d -i " + iso);
    EXPECT_NE(d.Output.find("Volume size is: 203"), std::string::npos) << d.Output;
    EXPECT_NE(d.Output.find("Joliet with UCS level 1 found"), std::string::npos) << d.Output;

    Result l = Shell("isoinfo -l -i " + iso);
    for (const char* id : {"RECIPE~1.001;1", "README.;1", "EMPTY.TXT;1", "MYRECI~1.TXT;1"})
        EXPECT_NE(l.Output.find(id), std::string::npos) << id << "\n" << l.Output;

    Result j = Shell("isoinfo -J -l -i " + iso);
    ASSERT_EQ(j.Status, 0) << j.Output;
    struct Line {
        std::string name, size, sector;
    } lines[] = {{"recipebackup.001;1", "100000", "150"},
                 {"README.;1", "3", "199"},
                 {"empty.txt;1", "0", "0"},
                 {"my recipes.txt;1", "4097", "200"}};
    for (const auto& want : lines) {
        size_t at = j.Output.find("]  " + want.name);
        ASSERT_NE(at, std::string::npos) << want.name << "\n" << j.Output;
        std::string line =
            j.Output.substr(j.Output.rfind('\n', at) + 1, at - j.Output.rfind('\n', at));
        EXPECT_NE(line.find(" " + want.size + " Mar  5 2024"), std::string::npos) << line;
        EXPECT_NE(line.find("[" + std::string(7 - want.sector.size(), ' ') + want.sector + " 00]"),
                  std::string::npos)
            << line;
    }

    Result x = Shell("xorriso -indev " + iso + " -lsl /");
    ASSERT_EQ(x.Status, 0) << x.Output;
    for (const char* want : {"100000 Mar  5  2024 'recipebackup.001'", "3 Mar  5  2024 'README'",
                             "4097 Mar  5  2024 'my recipes.txt'", "0 Mar  5  2024 'empty.txt'"})
        EXPECT_NE(x.Output.find(want), std::string::npos) << want << "\n" << x.Output;

    Result z = Shell("cd " + Quote(Dir) + " && 7z x -y -oout out.iso");
    ASSERT_EQ(z.Status, 0) << z.Output;
    for (const auto& [name, size] : files) {
        std::string got = ReadAll(fs::path(Dir) / "out" / (name == "README" ? "README" : name));
        EXPECT_EQ(got.size(), size) << name;
        EXPECT_TRUE(got == ReadAll(Src() / name)) << name;
    }
}

TEST_F(ImageToolsTest, LaterSessionIsReadAtItsStart) {
    ASSERT_TRUE(fs::exists(Cli())) << "larderly-cli is not built";
    std::string out = Quote(Dir + "/disc.img");
    Result first = Shell(Cli() + " iso " + out + " " + Quote(MakeFile("recipebackup.001", 7000)));
    ASSERT_EQ(first.Status, 0) << first.Output;
    // The second session starts after the first track and the gap a real disc leaves.
    const uint32_t n = 11702;
    Result second = Shell(Cli() + " iso --address " + std::to_string(n) + " " + out + " " +
                          Quote(MakeFile("later/recipebackup.001", 90000)));
    ASSERT_EQ(second.Status, 0) << second.Output;

    Result s1 = Shell("isoinfo -J -l -i " + out);
    EXPECT_NE(s1.Output.find("7000 Mar  5 2024 [    150 00]  recipebackup.001;1"),
              std::string::npos)
        << s1.Output;
    const std::string at = " -T " + std::to_string(n);
    Result s2d = Shell("isoinfo" + at + " -d -J -i " + out);
    Result s2 = Shell("isoinfo" + at + " -J -l -i " + out);
    ASSERT_EQ(s2.Status, 0) << s2.Output;
    EXPECT_NE(s2d.Output.find("Volume size is: " + std::to_string(n + 25 + 44)), std::string::npos)
        << s2d.Output;
    EXPECT_NE(s2.Output.find("90000 Mar  5 2024 [  " + std::to_string(n + 25) +
                             " 00]  recipebackup.001;1"),
              std::string::npos)
        << s2.Output;
    Result x =
        Shell("isoinfo -T " + std::to_string(n) + " -J -i " + out + " -x '/recipebackup.001;1'");
    EXPECT_TRUE(x.Output == ReadAll(Src() / "later/recipebackup.001"));
}

TEST_F(ImageToolsTest, NestedFoldersWrittenThroughTheCache) {
    TDiscImage img;
    img.IdVolume = "Recipes";
    img.ForceImageDir("/Books/Old");
    ASSERT_EQ(img.AddFile("/Books", MakeFile("books.txt", 3000), false), 1);
    ASSERT_EQ(img.AddFile("/books/old", MakeFile("1999 menu.txt", 10), false), 1);
    ASSERT_EQ(img.AddFile("/", MakeFile("top.dat", 2048), false), 1);
    img.ForceImageDir("/Attic");
    WriteImage(img, Dir + "/tree.iso");
    std::string iso = Quote(Dir + "/tree.iso");

    Result d = Shell("isoinfo -d -i " + iso);
    EXPECT_NE(d.Output.find("Volume id: RECIPES"), std::string::npos) << d.Output;
    Result f = Shell("isoinfo -J -f -i " + iso);
    for (const char* p : {"/Books/Old/1999 menu.txt", "/Books/books.txt", "/top.dat", "/Attic"})
        EXPECT_NE(f.Output.find(p), std::string::npos) << p << "\n" << f.Output;
    Result x = Shell("xorriso -indev " + iso + " -find / -type f");
    EXPECT_NE(x.Output.find("'/Books/Old/1999 menu.txt'"), std::string::npos) << x.Output;
    Result z = Shell("cd " + Quote(Dir) + " && 7z x -y -otree tree.iso");
    ASSERT_EQ(z.Status, 0) << z.Output;
    EXPECT_TRUE(ReadAll(fs::path(Dir) / "tree/Books/Old/1999 menu.txt") ==
                ReadAll(Src() / "1999 menu.txt"));
    EXPECT_TRUE(ReadAll(fs::path(Dir) / "tree/Books/books.txt") == ReadAll(Src() / "books.txt"));
}

// Joliet forbids "* / : ; ? \\" in names: they become "_", and the names stay unique.
TEST_F(ImageToolsTest, JolietNamesHoldOnlyAllowedCharacters) {
    TDiscImage img;
    img.ForceImageDir("/Menu: Spring?");
    for (const char* name : {"a:b.txt", "a_b.txt", "a?b.txt", "x;y*z\\w.txt"})
        ASSERT_EQ(img.AddFile("/", MakeFile(name, 100), false), 1) << name;
    ASSERT_EQ(img.AddFile("/Menu: Spring?", MakeFile("soup.txt", 10), false), 1);
    WriteImage(img, Dir + "/names.iso");
    Result f = Shell("isoinfo -J -f -i " + Quote(Dir + "/names.iso"));
    ASSERT_EQ(f.Status, 0) << f.Output;
    std::vector<std::string> listed;
    std::istringstream lines(f.Output);
    for (std::string line; std::getline(lines, line);)
        listed.push_back(line);
    std::sort(listed.begin(), listed.end());
    const std::vector<std::string> want = {"/Menu_ Spring_", "/Menu_ Spring_/soup.txt;1",
                                           "/a_b.txt;1",     "/a_b~1.txt;1",
                                           "/a_b~2.txt;1",   "/x_y_z_w.txt;1"};
    EXPECT_EQ(listed, want) << f.Output;
}

TEST_F(ImageToolsTest, CliRefusesWhatCannotBeImaged) {
    ASSERT_TRUE(fs::exists(Cli())) << "larderly-cli is not built";
    Result missing = Shell(Cli() + " iso " + Quote(Dir + "/x.iso") + " " + Quote(Dir + "/nope"));
    EXPECT_NE(missing.Status, 0);
    EXPECT_NE(missing.Output.find("nope"), std::string::npos) << missing.Output;
    std::string big = MakeFile("huge.bin", 0);
    fs::resize_file(big, 4294967296ULL);
    Result huge = Shell(Cli() + " iso " + Quote(Dir + "/y.iso") + " " + Quote(big));
    EXPECT_NE(huge.Status, 0);
    EXPECT_NE(huge.Output.find("4 GB"), std::string::npos) << huge.Output;

    // Files the image would leave out are each named, and no image is written.
    std::string first = MakeFile("a/recipe.txt", 10), second = MakeFile("b/recipe.txt", 20);
    std::string tooLong = MakeFile(std::string(110, 'n') + ".txt", 1);
    std::string fine = MakeFile("fine.txt", 1);
    Result dropped = Shell(Cli() + " iso " + Quote(Dir + "/z.iso") + " " + Quote(first) + " " +
                           Quote(second) + " " + Quote(tooLong) + " " + Quote(fine));
    EXPECT_EQ(WEXITSTATUS(dropped.Status), 1) << dropped.Output;
    EXPECT_NE(dropped.Output.find("Not added: " + second +
                                  " (a file of the same name is in the image already)"),
              std::string::npos)
        << dropped.Output;
    EXPECT_NE(dropped.Output.find("Not added: " + tooLong + " (name longer than 109 characters)"),
              std::string::npos)
        << dropped.Output;
    EXPECT_EQ(dropped.Output.find(first), std::string::npos) << dropped.Output;
    EXPECT_FALSE(fs::exists(Dir + "/z.iso"));
}

} // namespace
