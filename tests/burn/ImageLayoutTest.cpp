// Layout, naming and header bytes of the disc image.
#include "burn/Image.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/time.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace larderly;

namespace {

struct Message {
    std::string Text;
    uint8_t Type;
};

class ImageTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        char tmpl[] = "/tmp/larderly-image-XXXXXX";
        Dir = mkdtemp(tmpl);
        Img.Now = [] { return EncodeDateTime(2026, 1, 2, 3, 4, 5, 67); };
        Img.ImageDebugMessage = [this](const std::string& t, uint8_t m) {
            Messages.push_back({t, m});
        };
        Img.ResetImage(65535, 8191);
    }
    void TearDown() override { fs::remove_all(Dir); }

    std::string MakeFile(const std::string& name, size_t size, char fill = 'x') {
        fs::path p = fs::path(Dir) / name;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << std::string(size, fill);
        return p.string();
    }
    const uint8_t* Sector(uint32_t absolute) {
        const auto& d = Img.HeaderStream().Data();
        size_t off = size_t(absolute - Img.Layout().NextWritableAddress) * kSectorSize;
        EXPECT_LT(off, d.size());
        return d.data() + off;
    }
    static uint32_t Le32(const uint8_t* p) {
        return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
    }
    static uint32_t Be32(const uint8_t* p) {
        return p[3] | p[2] << 8 | p[1] << 16 | uint32_t(p[0]) << 24;
    }
    static std::string Ucs(const std::string& s) {
        std::string o;
        for (char c : s)
            o += std::string(1, '\0') + c;
        return o;
    }
    // Identifiers of the child records of a directory, in record order.
    std::vector<std::string> RecordIds(uint32_t sector, uint32_t size) {
        std::vector<std::string> ids;
        for (uint32_t s = 0; s < size / kSectorSize; ++s) {
            const uint8_t* p = Sector(sector + s);
            size_t pos = 0;
            while (pos < kSectorSize && p[pos] != 0) {
                EXPECT_LE(pos + p[pos], kSectorSize) << "record crosses a sector";
                ids.emplace_back(reinterpret_cast<const char*>(p + pos + 33), p[pos + 32]);
                pos += p[pos];
            }
        }
        return {ids.begin() + 2, ids.end()};
    }

    std::string Dir;
    TDiscImage Img;
    std::vector<Message> Messages;
};

TEST_F(ImageTest, SingleBackupFileOnBlankDisc) {
    std::string f = MakeFile("recipebackup.001", 100000);
    ASSERT_EQ(Img.AddFile("\\", f, false), 1);
    Img.PrepareImage(true, "");
    Img.BuildImageHeader();
    const TImageLayout& L = Img.Layout();
    EXPECT_EQ(L.IsoPathTableL, 19u);
    EXPECT_EQ(L.IsoPathTableM, 20u);
    EXPECT_EQ(L.JolietPathTableL, 21u);
    EXPECT_EQ(L.JolietPathTableM, 22u);
    EXPECT_EQ(L.IsoDirArea, 23u);
    EXPECT_EQ(L.JolietDirArea, 24u);
    EXPECT_EQ(L.PaddingSectors, 125u);
    EXPECT_EQ(L.FirstFileLocation, 150u);
    EXPECT_EQ(L.VolumeSize, 150u + 49u);
    EXPECT_EQ(Img.TrackSectors(), 300u);
    Img.WritePostGap = false;
    EXPECT_EQ(Img.TrackSectors(), 199u);

    const auto& h = Img.HeaderStream().Data();
    ASSERT_EQ(h.size(), 150u * kSectorSize);
    for (size_t i = 0; i < 16 * kSectorSize; ++i)
        ASSERT_EQ(h[i], 0) << i;
    const uint8_t* pvd = Sector(16);
    const uint8_t* svd = Sector(17);
    EXPECT_EQ(pvd[0], 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(pvd + 1), 5), "CD001");
    EXPECT_EQ(svd[0], 2);
    EXPECT_EQ(Sector(18)[0], 255);
    EXPECT_EQ(Le32(pvd + 80), 199u);
    EXPECT_EQ(Be32(pvd + 84), 199u);
    EXPECT_EQ(Le32(pvd + 140), 19u);
    EXPECT_EQ(Be32(pvd + 148), 20u);
    EXPECT_EQ(Le32(svd + 140), 21u);
    EXPECT_EQ(Be32(svd + 148), 22u);
    EXPECT_EQ(Le32(pvd + 156 + 2), 23u); // root record extent
    EXPECT_EQ(Le32(svd + 156 + 2), 24u);
    EXPECT_EQ(Le32(pvd + 132), 10u); // root-only path tables
    EXPECT_EQ(Le32(svd + 132), 10u);

    EXPECT_EQ(RecordIds(23, 2048), std::vector<std::string>{"RECIPE~1.001;1"});
    EXPECT_EQ(RecordIds(24, 2048), std::vector<std::string>{Ucs("recipebackup.001;1")});
    // The file record points at sector 150 with the file's size.
    const uint8_t* rec = Sector(23) + 68;
    EXPECT_EQ(Le32(rec + 2), 150u);
    EXPECT_EQ(Be32(rec + 6), 150u);
    EXPECT_EQ(Le32(rec + 10), 100000u);
    for (uint32_t s = 25; s < 150; ++s)
        for (size_t i = 0; i < kSectorSize; ++i)
            ASSERT_EQ(Sector(s)[i], 0) << s;

    // The descriptors are kept apart, the rest of that copy is 0xFF.
    const auto& copy = Img.DescriptorCopy();
    ASSERT_EQ(copy.size(), 65537u);
    EXPECT_EQ(0, std::memcmp(copy.data(), h.data(), 19 * kSectorSize));
    EXPECT_EQ(copy[19 * kSectorSize], 0xFF);
    EXPECT_EQ(copy.back(), 0xFF);
    EXPECT_TRUE(Messages.empty());
}

TEST_F(ImageTest, LaterSessionStartsAtNextWritableAddress) {
    Img.AddFile("/", MakeFile("recipebackup.001", 5000), false);
    const uint32_t n = 11702;
    Img.LayoutImage(n);
    Img.BuildImageHeader();
    const TImageLayout& L = Img.Layout();
    EXPECT_EQ(L.IsoPathTableL, n + 19);
    EXPECT_EQ(L.JolietDirArea, n + 24);
    EXPECT_EQ(L.PaddingSectors, 0u);
    EXPECT_EQ(L.FirstFileLocation, n + 25);
    EXPECT_EQ(L.VolumeSize, n + 28);
    EXPECT_EQ(Img.TrackSectors(), 300u);
    EXPECT_EQ(Img.HeaderStream().Data().size(), 25u * kSectorSize);
    EXPECT_EQ(Sector(n + 16)[0], 1);
    EXPECT_EQ(Le32(Sector(n + 16) + 80), n + 28);
    EXPECT_EQ(Le32(Sector(n + 23) + 68 + 2), n + 25);
}

TEST_F(ImageTest, EmptyFileTakesNoSectorAndNamesFollowTheRules) {
    Img.AddFile("/", MakeFile("README", 3), false);
    Img.AddFile("/", MakeFile("empty.txt", 0), false);
    Img.AddFile("/", MakeFile("longfilename1.txt", 2049), false);
    Img.AddFile("/", MakeFile("longfilename2.txt", 1), false);
    Img.LayoutImage(0);
    Img.BuildImageHeader();
    const auto& t = Img.FileTable();
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0].LongName, "README.");
    EXPECT_EQ(t[0].ShortName, "README.");
    EXPECT_EQ(t[1].ShortName, "EMPTY.TXT");
    EXPECT_EQ(t[2].ShortName, "LONGFI~1.TXT");
    EXPECT_EQ(t[3].ShortName, "LONGFI~2.TXT");
    EXPECT_EQ(RecordIds(23, 2048), (std::vector<std::string>{"README.;1", "EMPTY.TXT;1",
                                                             "LONGFI~1.TXT;1", "LONGFI~2.TXT;1"}));
    // README at 150, the empty file at 0, then 2 sectors and 1 sector.
    uint32_t expected[] = {150, 0, 151, 153};
    const uint8_t* p = Sector(23) + 68;
    for (uint32_t e : expected) {
        EXPECT_EQ(Le32(p + 2), e);
        p += p[0];
    }
    EXPECT_EQ(Img.Layout().VolumeSize, 154u);
}

TEST_F(ImageTest, PathTableOfExactlyOneSectorHasNoPadding) {
    // 10 bytes for the root, 101 directories of 12 characters (20 bytes each) and one of
    // 10 (18 bytes): 2048 bytes.
    for (int i = 0; i < 101; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/DIRECTORY%02d", i);
        ASSERT_GT(Img.ForceImageDir(name), 0);
    }
    Img.ForceImageDir("/ZDIRECTORY");
    Img.JolietFileSystem = false;
    Img.LayoutImage(0);
    Img.BuildImageHeader();
    const TImageLayout& L = Img.Layout();
    EXPECT_EQ(L.IsoPathTableSize, 2048u);
    EXPECT_EQ(L.IsoPathTableL, 18u);
    EXPECT_EQ(L.IsoPathTableM, 19u);
    EXPECT_EQ(L.IsoDirArea, 20u);
    // The last record of the L table ends at the sector's last byte.
    const uint8_t* l = Sector(18);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(l + 2048 - 10), 10), "ZDIRECTORY");
    const uint8_t* m = Sector(19);
    EXPECT_EQ(m[0], 1); // the root record opens the M table
    EXPECT_EQ(Be32(m + 2), 20u);
}

TEST_F(ImageTest, JolietOffLeavesOnlyThePrimaryVolume) {
    Img.AddFile("/", MakeFile("recipebackup.001", 10), false);
    for (bool joliet : {true, false}) {
        Img.JolietFileSystem = joliet;
        Img.LayoutImage(0);
        Img.BuildImageHeader();
        const uint8_t* pvd = Sector(16);
        // Readers take a primary descriptor with the UCS-2 escape for a Joliet one.
        EXPECT_EQ(pvd[88] | pvd[89] | pvd[90], 0);
        if (joliet) {
            EXPECT_EQ(Sector(17)[0], 2);
            EXPECT_EQ(std::memcmp(Sector(17) + 88, "\x25\x2F\x40", 3), 0);
            continue;
        }
        EXPECT_EQ(Sector(17)[0], 255);
        const TImageLayout& L = Img.Layout();
        EXPECT_EQ(L.IsoPathTableL, 18u);
        EXPECT_EQ(L.IsoPathTableM, 19u);
        EXPECT_EQ(L.IsoDirArea, 20u);
        EXPECT_EQ(L.JolietPathTableL, 0u);
        EXPECT_EQ(L.JolietDirArea, 0u);
        EXPECT_EQ(L.PaddingSectors, 129u);
        EXPECT_EQ(L.FirstFileLocation, 150u);
    }
}

TEST_F(ImageTest, VolumeDescriptorFields) {
    Img.IdVolume = "Recipes 2026";
    Img.IdSystem = "linux";
    Img.IdPublisher = "kitchen";
    Img.FileCopyright = "copy.txt";
    Img.DateCreation = EncodeDateTime(2025, 12, 31, 23, 59, 58, 0);
    Img.AddFile("/", MakeFile("a.txt", 1), false);
    Img.LayoutImage(0);
    Img.BuildImageHeader();
    const uint8_t* pvd = Sector(16);
    const uint8_t* svd = Sector(17);
    auto text = [](const uint8_t* p, size_t n) {
        return std::string(reinterpret_cast<const char*>(p), n);
    };
    EXPECT_EQ(text(pvd + 8, 32), "LINUX" + std::string(27, ' '));
    EXPECT_EQ(text(pvd + 40, 32), "RECIPES 2026" + std::string(20, ' '));
    EXPECT_EQ(text(pvd + 318, 128), "KITCHEN" + std::string(121, ' '));
    EXPECT_EQ(text(pvd + 702, 37), "COPY.TXT" + std::string(29, ' '));
    EXPECT_EQ(text(pvd + 813, 16), "2026010203040567");
    EXPECT_EQ(text(pvd + 847, 16), "0000000000000000");
    EXPECT_EQ(pvd[881], 1);
    EXPECT_EQ(text(pvd + 1024, 8), "        ");
    EXPECT_EQ(text(svd + 40, 32), Ucs("Recipes 2026") + Ucs(std::string(4, ' ')));
    EXPECT_EQ(text(svd + 702, 37), Ucs("copy.txt") + Ucs(std::string(10, ' ')) + '\0');
    EXPECT_EQ(text(svd + 813, 16), "2025123123595800");
    EXPECT_EQ(text(svd + 830, 16), "1899123000000000"); // DateModification never set
    EXPECT_EQ(Le32(pvd + 128) & 0xFFFF, 2048u);
}

TEST_F(ImageTest, RecordDatesAndHiddenFlag) {
    std::string f = MakeFile(".hidden", 1);
    timeval tv[2] = {{1700000000, 0}, {1700000000, 0}}; // 2023-11-14 22:13:20 UTC
    utimes(f.c_str(), tv);
    Img.AddFile("/", f, false);
    Img.LayoutImage(0);
    Img.BuildImageHeader();
    EXPECT_EQ(Img.FileTable()[0].ShortName, "HIDDEN~1");
    const uint8_t* rec = Sector(23) + 68;
    const uint8_t want[7] = {123, 11, 14, 22, 13, 20, 0};
    EXPECT_EQ(std::memcmp(rec + 18, want, 7), 0);
    EXPECT_EQ(rec[25], 1);
    const uint8_t dot[7] = {126, 1, 2, 3, 4, 5, 0}; // "." carries the time of now
    EXPECT_EQ(std::memcmp(Sector(23) + 18, dot, 7), 0);
}

TEST_F(ImageTest, DateOffsetsFollowDaylightSavingAtEachDate) {
    // Central Europe: +1 hour in winter (4 quarter hours), +2 in summer (8).
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    std::string winter = MakeFile("winter.txt", 1), summer = MakeFile("summer.txt", 1);
    timeval jan[2] = {{1673784000, 0}, {1673784000, 0}}; // 2023-01-15 12:00 UTC
    timeval jul[2] = {{1689422400, 0}, {1689422400, 0}}; // 2023-07-15 12:00 UTC
    utimes(winter.c_str(), jan);
    utimes(summer.c_str(), jul);
    Img.Now = [] { return EncodeDateTime(2026, 7, 1, 10, 0, 0); };
    Img.DateCreation = EncodeDateTime(2026, 1, 1, 10, 0, 0);
    Img.DateModification = EncodeDateTime(2026, 8, 1, 10, 0, 0);
    Img.AddFile("/", winter, false);
    Img.AddFile("/", summer, false);
    Img.LayoutImage(0);
    Img.BuildImageHeader();
    setenv("TZ", "UTC", 1);
    tzset();
    const uint8_t* dot = Sector(23);
    EXPECT_EQ(dot[18 + 6], 8) << "the time of now, in summer";
    const uint8_t* rec = dot + 68;
    const uint8_t wantWinter[7] = {123, 1, 15, 13, 0, 0, 4};
    EXPECT_EQ(std::memcmp(rec + 18, wantWinter, 7), 0);
    rec += rec[0];
    const uint8_t wantSummer[7] = {123, 7, 15, 14, 0, 0, 8};
    EXPECT_EQ(std::memcmp(rec + 18, wantSummer, 7), 0);
    const uint8_t* joliet = Sector(17);
    EXPECT_EQ(joliet[813 + 16], 4) << "creation date in winter";
    EXPECT_EQ(joliet[830 + 16], 8) << "modification date in summer";
    EXPECT_EQ(Sector(16)[813 + 16], 8) << "primary descriptor: the time of now";
}

TEST_F(ImageTest, ManyFilesSpreadOverSeveralDirectorySectors) {
    for (int i = 0; i < 80; ++i)
        Img.AddFile("/",
                    MakeFile("a rather long file name number " + std::to_string(i) + ".txt", 1),
                    false);
    Img.LayoutImage(0);
    Img.BuildImageHeader();
    const TDEntry& root = Img.DirTable()[0];
    EXPECT_EQ(root.IsoSize, 2 * 2048);    // 80 records of 48 bytes
    EXPECT_EQ(root.JolietSize, 5 * 2048); // 80 records of up to 106 bytes
    EXPECT_EQ(RecordIds(Img.Layout().IsoDirArea, uint32_t(root.IsoSize)).size(), 80u);
    auto jol = RecordIds(Img.Layout().JolietDirArea, uint32_t(root.JolietSize));
    ASSERT_EQ(jol.size(), 80u);
    EXPECT_EQ(jol[79], Ucs("a rather long file name number 79.txt;1"));
    EXPECT_EQ(Img.Layout().JolietDirArea, Img.Layout().IsoDirArea + 2);
}

TEST_F(ImageTest, HeaderFollowsTheTreeAddedToAfterPreparing) {
    Img.AddFile("/", MakeFile("first.txt", 1), false);
    Img.LayoutImage(40000);
    // More files after the layout: the header must not be written into the old sizes.
    for (int i = 0; i < 60; ++i)
        Img.AddFile("/", MakeFile("another file " + std::to_string(i) + ".txt", 1), false);
    Img.BuildImageHeader();
    const TImageLayout& L = Img.Layout();
    EXPECT_EQ(L.NextWritableAddress, 40000u);
    EXPECT_EQ(Img.DirTable()[0].IsoSize, 2 * 2048);
    EXPECT_EQ(RecordIds(L.IsoDirArea, 2 * 2048).size(), 61u);
    EXPECT_EQ(L.VolumeSize, L.FirstFileLocation + 61);
    EXPECT_EQ(Img.HeaderStream().Data().size(), size_t(L.FirstFileLocation - 40000) * kSectorSize);
}

} // namespace
