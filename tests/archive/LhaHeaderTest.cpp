// Entry headers: the bytes written at levels 0 and 1, and every way a header is refused.
#include "archive/LhaHeader.h"
#include "archive/LhaArchive.h"

#include "archive/LhaTestUtil.h"

#include <gtest/gtest.h>

#include <cstring>

namespace larderly {
namespace {

using testutil::Bytes;
using testutil::ScratchDir;

uint32_t le32(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint16_t le16(const Bytes& b, std::size_t at) {
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

TLhaHeader SampleHeader(uint8_t level, const std::string& name) {
    TLhaHeader h;
    std::memcpy(h.MethodId.data(), "-lh0-", 5);
    h.PackedSize = 5;
    h.UncompressedSize = 5;
    h.DateTime = 0x5A8B1234;
    h.Attributes = 0x21;
    h.Level = level;
    h.Name = name;
    h.CRC = 0xBEEF;
    return h;
}

// A stream holding `header` followed by `data` and the end byte.
TMemoryStream ArchiveOf(const Bytes& header, const Bytes& data = {'h', 'e', 'l', 'l', 'o'}) {
    Bytes all = header;
    all.insert(all.end(), data.begin(), data.end());
    all.push_back(0);
    return TMemoryStream(all);
}

void FixChecksum(Bytes& h, std::size_t checksummedEnd) {
    h[1] = HeaderChecksum(h.data() + 2, checksummedEnd - 2);
}

TEST(LhaHeaderWrite, Level0BackupEntryLayout) {
    ScratchDir dir;
    const Bytes content = testutil::TextData(3000);
    testutil::WriteFile(dir / "tbl102.nx1", content);
    TLhaArchive lha;
    lha.ArchiveName = dir / "backup.lzh";
    lha.ArchiveType = caLHARC;
    lha.CompressionMethod = colh5;
    lha.FilesToProcess = {dir / "tbl102.nx1"};
    lha.Compress();
    ASSERT_EQ(lha.FilesProcessed, std::vector<std::string>{"TBL102.NX1"});

    const Bytes a = testutil::ReadFile(lha.ArchiveName);
    ASSERT_GE(a.size(), 35u);
    EXPECT_EQ(a[0], 32);
    EXPECT_EQ(a[1], HeaderChecksum(a.data() + 2, 32));
    const std::string method(a.begin() + 2, a.begin() + 7);
    EXPECT_TRUE(method == "-lh5-" || method == "-lh0-") << method;
    const uint32_t packed = le32(a, 7);
    EXPECT_EQ(le32(a, 11), content.size());
    EXPECT_EQ(le32(a, 15), fileutil::FileDosStamp(dir / "tbl102.nx1").value());
    EXPECT_EQ(a[19], 0x20);
    EXPECT_EQ(a[20], 0);
    EXPECT_EQ(a[21], 10);
    EXPECT_EQ(std::string(a.begin() + 22, a.begin() + 32), "TBL102.NX1");
    EXPECT_EQ(le16(a, 32), Crc16(0, content.data(), content.size()));
    EXPECT_EQ(a.size(), 34 + packed + 1);
    EXPECT_EQ(a.back(), 0);
}

TEST(LhaHeaderWrite, Level1WithFolderAndAttributeExtensions) {
    ScratchDir dir;
    const Bytes content = testutil::RandomData(100); // stored: its size is known
    testutil::WriteFile(dir / "data/tbl102.nx1", content);
    TLhaArchive lha;
    lha.ArchiveName = dir / "backup.lzh";
    lha.ArchiveType = caLHA;
    lha.CompressionMethod = colh0;
    lha.StorePath = true;
    lha.SetTargetPath(dir.path());
    lha.FilesToProcess = {dir / "data/tbl102.nx1"};
    lha.Compress();
    ASSERT_EQ(lha.FilesProcessed, std::vector<std::string>{"data/tbl102.nx1"});

    const Bytes a = testutil::ReadFile(lha.ArchiveName);
    EXPECT_EQ(a[0], 35);
    EXPECT_EQ(a[1], HeaderChecksum(a.data() + 2, 35));
    EXPECT_EQ(le32(a, 7), 100u + 13u);
    EXPECT_EQ(a[19], 0x20);
    EXPECT_EQ(a[20], 1);
    EXPECT_EQ(a[21], 10);
    EXPECT_EQ(std::string(a.begin() + 22, a.begin() + 32), "tbl102.nx1");
    EXPECT_EQ(a[34], 'M');
    EXPECT_EQ(le16(a, 35), 5); // attribute extension
    EXPECT_EQ(a[37], 0x40);
    EXPECT_EQ(le16(a, 38), 0x20);
    EXPECT_EQ(le16(a, 40), 8); // folder extension
    EXPECT_EQ(a[42], 2);
    EXPECT_EQ(std::string(a.begin() + 43, a.begin() + 47), "data");
    EXPECT_EQ(a[47], 0xFF);
    EXPECT_EQ(le16(a, 48), 0); // end of the chain
    EXPECT_EQ(Bytes(a.begin() + 50, a.begin() + 150), content);
    EXPECT_EQ(a.size(), 151u);
}

TEST(LhaHeaderRead, EncodedHeadersReadBack) {
    struct Case {
        uint8_t level;
        std::string name;
        uint8_t attributes;
    };
    const Case cases[] = {
        {0, "README.TXT", 0x20}, {0, "DATA/SUB/TBL.NX1", 0x21},
        {1, "plain.txt", 0x20},  {1, "data/sub/Tbl.nx1", 0x21},
        {1, "noattr", 0},        {0x81, "scrambled/x", 0x20},
    };
    for (const auto& c : cases) {
        TLhaHeader h = SampleHeader(c.level, c.name);
        h.Attributes = c.attributes;
        TMemoryStream s = ArchiveOf(EncodeEntryHeader(h));
        TLhaHeader r;
        ASSERT_TRUE(ReadEntryHeader(s, false, r)) << c.name;
        EXPECT_EQ(r.Name, c.name);
        EXPECT_EQ(r.PackedSize, 5) << c.name;
        EXPECT_EQ(r.UncompressedSize, 5);
        EXPECT_EQ(r.DateTime, 0x5A8B1234u);
        EXPECT_EQ(r.CRC, 0xBEEF);
        EXPECT_EQ(r.Level, c.level);
        // Level 0 always carries the archive bit; level 1 the attribute extension, if any.
        EXPECT_EQ(r.Attributes, (c.level & 0x7F) == 0 ? (c.attributes | 0x20)
                                                      : (c.attributes ? c.attributes | 0x20 : 0x20))
            << c.name;
        Bytes data(5);
        ASSERT_EQ(s.Read(data.data(), 5), 5);
        EXPECT_EQ(data, (Bytes{'h', 'e', 'l', 'l', 'o'})) << "data follows the header: " << c.name;
        EXPECT_FALSE(ReadEntryHeader(s, false, r)) << "the end byte closes the archive";
    }
}

TEST(LhaHeaderRead, RefusedHeaders) {
    auto level0 = [] { return EncodeEntryHeader(SampleHeader(0, "A.TXT")); };
    auto level1 = [] { return EncodeEntryHeader(SampleHeader(1, "dir/a.txt")); };
    struct Case {
        const char* what;
        std::function<Bytes()> bytes;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"level-0 checksum",
         [&] {
             Bytes h = level0();
             h[1] ^= 1;
             return h;
         },
         "Bad checksum in LHARC archive header: " + std::to_string(level0()[1])},
        {"level-1 checksum",
         [&] {
             Bytes h = level1();
             h[1] += 3;
             return h;
         },
         "Bad checksum in LHA archive header: " + std::to_string(level1()[1])},
        {"level 2",
         [&] {
             Bytes h = level0();
             h[20] = 2;
             FixChecksum(h, h.size());
             return h;
         },
         "Unsupported header level in archive: 2"},
        {"level 2 scrambled",
         [&] {
             Bytes h = level0();
             h[20] = 0x82;
             FixChecksum(h, h.size());
             return h;
         },
         "Unsupported header level in archive: 130"},
        {"OS id",
         [&] {
             Bytes h = level1();
             h[22 + 5 + 2] = 'Z';
             FixChecksum(h, 2 + h[0]);
             return h;
         },
         "Unsupported OS mode in archive: Z"},
        {"OS id 0",
         [&] {
             Bytes h = level1();
             h[22 + 5 + 2] = 0;
             FixChecksum(h, 2 + h[0]);
             return h;
         },
         "Unsupported OS mode in archive: \\x00"},
        {"extension cut short",
         [&] {
             Bytes h = level1();
             h.erase(h.end() - 4, h.end());
             return h;
         },
         "Unexpected end of extended header section in archive"},
        {"extension size below 3",
         [&] {
             Bytes h = level1();
             h[2 + h[0] - 2] = 1; // the first extension size
             h[2 + h[0] - 1] = 0;
             FixChecksum(h, 2 + h[0]);
             return h;
         },
         "Unexpected end of extended header section in archive"},
    };
    for (const auto& c : cases) {
        Bytes h = c.bytes();
        TMemoryStream s(h); // no data: the header itself is what fails
        TLhaHeader r;
        try {
            ReadEntryHeader(s, false, r);
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const ELhaException& e) {
            EXPECT_EQ(std::string(e.what()), c.message) << c.what;
        }
    }
}

TEST(LhaHeaderRead, ErrorClasses) {
    Bytes h = EncodeEntryHeader(SampleHeader(0, "A.TXT"));
    h[1] ^= 1;
    TMemoryStream bad(h);
    TLhaHeader r;
    EXPECT_THROW(ReadEntryHeader(bad, false, r), ELhaBadChecksum);
    h = EncodeEntryHeader(SampleHeader(0, "A.TXT"));
    h[20] = 2;
    FixChecksum(h, h.size());
    TMemoryStream level(h);
    EXPECT_THROW(ReadEntryHeader(level, false, r), ELhaInvalidHeaderLevel);

    TLhaHeader unknown = SampleHeader(0, "A");
    std::memcpy(unknown.MethodId.data(), "-lh7-", 5);
    try {
        ResolveMethod(unknown);
        ADD_FAILURE();
    } catch (const ELhaUnrecognizedCompressionMethod& e) {
        EXPECT_STREQ(e.what(), "Unrecognized compression method: \"-lh7-\" in header");
    }
    // A zero byte in the id does not cut the message short.
    std::memcpy(unknown.MethodId.data(), "-l\0\x9b-", 5);
    try {
        ResolveMethod(unknown);
        ADD_FAILURE();
    } catch (const ELhaUnrecognizedCompressionMethod& e) {
        EXPECT_STREQ(e.what(), "Unrecognized compression method: \"-l\\x00\\x9B-\" in header");
    }
    for (const char* id : {"-lh0-", "-lh1-", "-lh5-", "-rle-"}) {
        std::memcpy(unknown.MethodId.data(), id, 5);
        EXPECT_EQ(LhaMethodId(ResolveMethod(unknown)), id);
    }
}

TEST(LhaHeaderRead, ZeroHeaderSizeEndsTheArchive) {
    // Another tool's archive with data after its end byte: the 0 ends it.
    Bytes a = EncodeEntryHeader(SampleHeader(0, "A.TXT"));
    a.insert(a.end(), {'h', 'e', 'l', 'l', 'o', 0});
    const Bytes trailing(40, 0x55);
    a.insert(a.end(), trailing.begin(), trailing.end());
    TMemoryStream s(a);
    TLhaHeader r;
    ASSERT_TRUE(ReadEntryHeader(s, false, r));
    s.Seek(5, TSeekOrigin::soCurrent);
    EXPECT_FALSE(ReadEntryHeader(s, false, r));
}

TEST(LhaHeaderRead, Level0ExtraHeaderBytesArePassedOver) {
    Bytes h = EncodeEntryHeader(SampleHeader(0, "A.TXT"));
    h.insert(h.end(), {'U', 1, 2, 3});
    h[0] = static_cast<uint8_t>(h[0] + 4);
    FixChecksum(h, h.size());
    TMemoryStream s = ArchiveOf(h);
    TLhaHeader r;
    ASSERT_TRUE(ReadEntryHeader(s, false, r));
    EXPECT_EQ(s.Position(), static_cast<int64_t>(h.size()));
}

TEST(LhaHeaderWrite, NamesThatDoNotFitAreRefused) {
    EXPECT_NO_THROW(EncodeEntryHeader(SampleHeader(0, std::string(233, 'A'))));
    EXPECT_THROW(EncodeEntryHeader(SampleHeader(0, std::string(234, 'A'))), ELhaInvalidHeader);
    EXPECT_NO_THROW(
        EncodeEntryHeader(SampleHeader(1, std::string(300, 'd') + "/" + std::string(230, 'a'))));
    EXPECT_THROW(EncodeEntryHeader(SampleHeader(1, std::string(231, 'a'))), ELhaInvalidHeader);
}

// --- Where an archive starts ---

Bytes Level0Archive(const std::string& name, const std::string& text) {
    TLhaHeader h = SampleHeader(0, name);
    h.PackedSize = h.UncompressedSize = static_cast<int32_t>(text.size());
    h.CRC = Crc16(0, text.data(), text.size());
    Bytes a = EncodeEntryHeader(h);
    a.insert(a.end(), text.begin(), text.end());
    a.push_back(0);
    return a;
}

TEST(LhaArchiveStart, ExecutableStubIsSkipped) {
    ScratchDir dir;
    Bytes exe(1124, 0);
    exe[0] = 'M';
    exe[1] = 'Z';
    exe[2] = 100; // bytes in the last page
    exe[4] = 3;   // pages
    const Bytes arc = Level0Archive("HELLO.TXT", "hello from behind a stub");
    exe.insert(exe.end(), arc.begin(), arc.end());
    testutil::WriteFile(dir / "X.EXE", exe);

    TLhaArchive lha;
    lha.ArchiveName = dir / "X.EXE";
    ASSERT_TRUE(lha.Scan());
    ASSERT_EQ(lha.FileList, std::vector<std::string>{"HELLO.TXT"});
    EXPECT_EQ(lha.FileInformation[0].DataPosition, 1124 + 24 + 9);

    lha.SetTargetPath(dir / "out");
    lha.MakeDirectories = true;
    lha.Expand();
    EXPECT_EQ(testutil::ReadFile(dir / "out/HELLO.TXT"), Bytes(arc.begin() + 33, arc.end() - 1));

    // The same bytes under another extension are not searched for a stub.
    testutil::WriteFile(dir / "X.BIN", exe);
    lha.ArchiveName = dir / "X.BIN";
    EXPECT_ANY_THROW(lha.Scan());
}

// A legacy-pack archive: a 21-byte archive header, then entries of 25 bytes + name + data.
Bytes LegacyArchive(uint8_t kind, uint8_t method, int32_t lock, const std::string& name,
                    const std::string& data, uint16_t sum) {
    Bytes a = {0x53, 0x50, 0x49, 0x53, 0x1A};
    a.resize(21, 0);
    a[12] = kind;
    Bytes e(25, 0);
    e[0] = static_cast<uint8_t>(name.size());
    e[2] = 0x34;
    e[3] = 0x12;
    e[4] = 0x8B;
    e[5] = 0x5A; // stamp
    e[6] = 0x21;
    e[8] = static_cast<uint8_t>(data.size());
    e[12] = static_cast<uint8_t>(data.size());
    e[16] = method;
    e[17] = static_cast<uint8_t>(sum);
    e[18] = static_cast<uint8_t>(sum >> 8);
    e[21] = static_cast<uint8_t>(lock);
    a.insert(a.end(), e.begin(), e.end());
    a.insert(a.end(), name.begin(), name.end());
    a.insert(a.end(), data.begin(), data.end());
    return a;
}

uint16_t ByteSum(const std::string& s) {
    unsigned sum = 0;
    for (unsigned char c : s)
        sum += c;
    return static_cast<uint16_t>(sum);
}

TEST(LhaLegacyPack, ReadAndExpanded) {
    ScratchDir dir;
    const std::string text = "legacy text";
    testutil::WriteFile(dir / "old.pak", LegacyArchive(1, 0, 0, "OLD.TXT", text, 0));
    TLhaArchive lha;
    lha.ArchiveName = dir / "old.pak";
    ASSERT_TRUE(lha.Scan());
    ASSERT_EQ(lha.FileList, std::vector<std::string>{"OLD.TXT"});
    EXPECT_EQ(lha.FileInformation[0].Method, colh0);
    EXPECT_EQ(lha.FileInformation[0].Attributes, 0x21);
    EXPECT_EQ(lha.FileInformation[0].DateTime, 0x5A8B1234u);
    EXPECT_EQ(lha.FileInformation[0].DataPosition, 21 + 25 + 7);
    lha.SetTargetPath(dir.path());
    lha.Expand(); // stored entries are not checked
    EXPECT_EQ(testutil::ReadFile(dir / "OLD.TXT"), Bytes(text.begin(), text.end()));
    EXPECT_EQ(fileutil::FileAttributes(dir / "OLD.TXT").value() & fileutil::kAttrReadOnly, 1)
        << "the read-only bit of the entry is applied";
    fileutil::ApplyAttributes(dir / "OLD.TXT", 0x20);

    // Adding to it or rebuilding it is refused and leaves it alone.
    testutil::WriteText(dir / "new.txt", "x");
    const Bytes before = testutil::ReadFile(dir / "old.pak");
    for (bool duplicates : {false, true}) {
        lha.AllowDuplicates = duplicates;
        lha.FilesToProcess = {dir / "new.txt"};
        try {
            lha.Compress();
            ADD_FAILURE();
        } catch (const ELhaInvalidHeader& e) {
            EXPECT_STREQ(e.what(), "Cannot alter legacy archives!");
        }
        EXPECT_EQ(testutil::ReadFile(dir / "old.pak"), before);
    }
    EXPECT_FALSE(fileutil::PathExists(dir / "old.$$$"));
}

TEST(LhaLegacyPack, RefusedKinds) {
    ScratchDir dir;
    struct Case {
        Bytes bytes;
        std::string message;
    };
    const Case cases[] = {
        {LegacyArchive(0, 0, 0, "A", "x", 0), "Legacy archive type must be multi-file"},
        {LegacyArchive(1, 0, 1, "A", "x", 0), "Sorry - can't handle locked legacy archives"},
        {LegacyArchive(1, 3, 0, "A", "x", 0),
         "Sorry - can't handle custom legacy compression method"},
    };
    for (const auto& c : cases) {
        testutil::WriteFile(dir / "a.pak", c.bytes);
        TLhaArchive lha;
        lha.ArchiveName = dir / "a.pak";
        try {
            lha.Scan();
            ADD_FAILURE() << c.message;
        } catch (const ELhaException& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
}

TEST(LhaLegacyPack, ByteSumIsChecked) {
    ScratchDir dir;
    // Method 1 (-rle-): 41 94 05 42 expands to five 41s and a 42, checked by the byte sum.
    const std::string packed = "A\x94\x05"
                               "B";
    const std::string plain = "AAAAAB";
    for (bool good : {true, false}) {
        testutil::WriteFile(dir / "a.pak", LegacyArchive(1, 1, 0, "A.TXT", packed,
                                                         ByteSum(plain) + (good ? 0 : 1)));
        TLhaArchive lha;
        lha.ArchiveName = dir / "a.pak";
        lha.SetTargetPath(dir / "out");
        lha.MakeDirectories = true;
        if (good) {
            lha.Expand();
            EXPECT_EQ(testutil::ReadFile(dir / "out/A.TXT"), Bytes(plain.begin(), plain.end()));
        } else {
            EXPECT_THROW(lha.Expand(), ELhaBadCRC);
        }
    }
}

} // namespace
} // namespace larderly
