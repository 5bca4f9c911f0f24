// TSegArchive: segment layout and set stream, multi-segment sets, prompts and warnings,
// the owner's selection, refused block headers and cleanup of temporary files.
#include "archive/SegArchive.h"

#include "ScriptedPrompts.h"
#include "archive/LhaTestUtil.h"

#include <gtest/gtest.h>

#include <cstring>

namespace larderly {
namespace {

using testutil::Bytes;
using testutil::ScratchDir;
namespace fu = fileutil;

uint32_t le32(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

struct SegFixture {
    ScratchDir dir;
    std::vector<std::string> sources;
    std::vector<Bytes> contents;

    std::string SegDir() const { return dir / "seg"; }
    std::string tmp() const { return dir / "tmp"; }
    std::string out() const { return dir / "out"; }

    SegFixture() { fu::MakeDirectories(tmp()); }

    void add(const std::string& name, Bytes bytes) {
        testutil::WriteFile(dir / ("data/" + name), bytes);
        sources.push_back(dir / ("data/" + name));
        contents.push_back(std::move(bytes));
    }

    // A component set up like the backup job: level 0, -lh5-, segments in SegDir().
    void setUp(TSegArchive& seg, int32_t size = 100000000) const {
        seg.ArchiveType = caLHARC;
        seg.CompressionMethod = colh5;
        seg.SetSegBaseName("recipebackup");
        seg.SetSegDir(SegDir());
        seg.SetSegSize(size);
        seg.SetTempArchivePath(tmp());
        seg.OnSegPrompt = [](TSegArchive*, std::string&, const std::string&, uint16_t) {};
    }

    void write(int32_t size = 100000000) {
        TSegArchive seg;
        setUp(seg, size);
        seg.FilesToProcess = sources;
        seg.Compress();
    }

    std::string segment(int n) const {
        char name[32];
        std::snprintf(name, sizeof name, "recipebackup.%03d", n);
        return SegDir() + "/" + name;
    }
};

TEST(SegArchiveWrite, OneSegmentHoldsTheWholeSet) {
    SegFixture f;
    for (int i = 1; i <= 4; ++i)
        f.add("tbl10" + std::to_string(i) + ".nx1", testutil::TextData(3000 * i, i));
    TSegArchive seg;
    f.setUp(seg);
    std::vector<std::string> checked;
    seg.OnCheckFile = [&](TLhaArchive*, const std::string& from, std::string&, int32_t,
                          TLhaProcessMode) { checked.push_back(fu::ExtractFileName(from)); };
    std::vector<std::string> changes;
    seg.OnSegChange = [&](TSegArchive*, const std::string& path) { changes.push_back(path); };
    seg.FilesToProcess = f.sources;
    seg.Compress();
    EXPECT_EQ(checked,
              (std::vector<std::string>{"tbl101.nx1", "tbl102.nx1", "tbl103.nx1", "tbl104.nx1"}))
        << "events fire for the real files only";
    EXPECT_EQ(changes, std::vector<std::string>{f.segment(1)});
    EXPECT_TRUE(seg.ArchiveName.empty());
    EXPECT_EQ(testutil::ListTree(f.SegDir()), std::vector<std::string>{"recipebackup.001"});
    EXPECT_TRUE(testutil::ListTree(f.tmp()).empty()) << "temporary files are removed";

    const Bytes s = testutil::ReadFile(f.segment(1));
    ASSERT_GT(s.size(), 6u + 17u + 8u + 8u);
    EXPECT_EQ(std::string(s.begin(), s.begin() + 4), "SSID");
    EXPECT_EQ(s[4] | s[5] << 8, 1);
    EXPECT_EQ(std::string(s.begin() + 6, s.begin() + 10), "SSET");
    EXPECT_EQ(s[10], colh5);
    double when = 0;
    std::memcpy(&when, s.data() + 11, 8);
    EXPECT_GT(when, 46000.0); // after 2025
    EXPECT_EQ(le32(s, 19), 100000000u);
    ASSERT_EQ(std::string(s.begin() + 23, s.begin() + 27), "SSCN");
    const uint32_t scanSize = le32(s, 27);
    const std::size_t arcAt = 31 + scanSize;
    ASSERT_EQ(std::string(s.begin() + arcAt, s.begin() + arcAt + 4), "SARC");
    const uint32_t arcSize = le32(s, arcAt + 4);
    EXPECT_EQ(s.size(), arcAt + 8 + arcSize);

    // The scan block is an archive holding the scan file; the archive block the entries.
    testutil::WriteFile(f.dir / "scan.lzh", Bytes(s.begin() + 31, s.begin() + arcAt));
    testutil::WriteFile(f.dir / "all.lzh", Bytes(s.begin() + arcAt + 8, s.end()));
    TLhaArchive lha;
    lha.ArchiveName = f.dir / "scan.lzh";
    ASSERT_TRUE(lha.Scan());
    EXPECT_EQ(lha.FileList, std::vector<std::string>{"RECIPEBACKUP.$T$"});
    lha.SetTargetPath(f.dir / "scan");
    lha.MakeDirectories = true;
    lha.Expand();
    const Bytes scanFile = testutil::ReadFile(f.dir / "scan/RECIPEBACKUP.$T$");
    ASSERT_EQ(scanFile.size(), 4u * (10 + 24));
    EXPECT_EQ(scanFile[0], 10);
    EXPECT_EQ(std::string(scanFile.begin() + 1, scanFile.begin() + 11), "TBL101.NX1");
    EXPECT_EQ(scanFile[11], 0);
    EXPECT_EQ(scanFile[12], colh5);
    EXPECT_EQ(le32(scanFile, 17), 3000u);     // uncompressed size
    EXPECT_EQ(le32(scanFile, 30), 24u + 10u); // data position of the first entry

    lha.ArchiveName = f.dir / "all.lzh";
    ASSERT_TRUE(lha.Scan());
    EXPECT_EQ(lha.FileList,
              (std::vector<std::string>{"TBL101.NX1", "TBL102.NX1", "TBL103.NX1", "TBL104.NX1"}));
}

TEST(SegArchiveWrite, SmallSegmentsSplitTheStream) {
    SegFixture f;
    f.add("a.bin", testutil::RandomData(19000));
    f.write(1000); // raised to the minimum of 8192
    const auto files = testutil::ListTree(f.SegDir());
    ASSERT_EQ(files, (std::vector<std::string>{"recipebackup.001", "recipebackup.002",
                                               "recipebackup.003"}));
    int64_t stream = 0;
    for (int n = 1; n <= 3; ++n) {
        const Bytes s = testutil::ReadFile(f.segment(n));
        EXPECT_EQ(std::string(s.begin(), s.begin() + 4), "SSID");
        EXPECT_EQ(s[4] | s[5] << 8, n);
        if (n < 3) {
            EXPECT_EQ(s.size(), 8192u);
        }
        stream += static_cast<int64_t>(s.size()) - 6;
    }
    EXPECT_GT(stream, 2 * 8186);

    // Read back across the three segments, with progress over the archive block.
    TSegArchive seg;
    f.setUp(seg);
    seg.SetTargetPath(f.out());
    seg.MakeDirectories = true;
    std::vector<int32_t> progress;
    seg.OnShowProgress = [&](int32_t& p) { progress.push_back(p); };
    std::vector<uint16_t> asked;
    seg.OnSegPrompt = [&](TSegArchive*, std::string&, const std::string& name, uint16_t n) {
        asked.push_back(n);
        EXPECT_EQ(name, fu::ExtractFileName(f.segment(n)));
    };
    seg.Expand();
    EXPECT_EQ(asked, (std::vector<uint16_t>{1, 2, 3}));
    EXPECT_EQ(testutil::ReadFile(f.out() + "/A.BIN"), f.contents[0]);
    EXPECT_EQ(seg.FilesProcessed, std::vector<std::string>{f.out() + "/A.BIN"});
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.begin() + 3));
    EXPECT_TRUE(testutil::ListTree(f.tmp()).empty());
}

TEST(SegArchiveRead, WrongSegmentIsWarnedUntilTheRightOneComes) {
    SegFixture f;
    f.add("a.bin", testutil::RandomData(12000));
    // Two "diskettes", both holding recipebackup.BAK.
    {
        TSegArchive seg;
        f.setUp(seg, 8192);
        seg.SetSegExt("BAKUP");
        EXPECT_EQ(seg.SegExt(), "BAK");
        seg.OnSegPrompt = [&](TSegArchive*, std::string& dir, const std::string& name, uint16_t n) {
            EXPECT_EQ(name, "recipebackup.BAK");
            dir = f.dir / ("disk" + std::to_string(n));
        };
        seg.FilesToProcess = f.sources;
        seg.Compress();
    }
    ASSERT_TRUE(fu::FileExists(f.dir / "disk1/recipebackup.BAK"));
    ASSERT_TRUE(fu::FileExists(f.dir / "disk2/recipebackup.BAK"));

    ScriptedPrompts prompts;
    const std::string wrong =
        "Incorrect segment mounted!\n\rCorrect and press OK or Cancel to Abort.";
    prompts.AnswerInput(f.dir / "disk1", "Segment directory:")
        .AnswerInput(f.dir / "disk1")
        .answer(PromptAnswer::Ok, wrong)
        .AnswerInput(std::string()) // an empty folder asks again
        .AnswerInput(f.dir / "disk2");
    TSegArchive seg;
    f.setUp(seg, 8192);
    seg.OnSegPrompt = nullptr;
    seg.SetSegExt("BAK");
    seg.SetPrompts(&prompts);
    seg.SetTargetPath(f.out());
    seg.MakeDirectories = true;
    seg.Expand();
    EXPECT_TRUE(prompts.failures().empty()) << prompts.failures().front();
    EXPECT_TRUE(prompts.done());
    EXPECT_EQ(testutil::ReadFile(f.out() + "/A.BIN"), f.contents[0]);
    EXPECT_EQ(seg.SegDir(), f.dir / "disk2");
    ASSERT_EQ(prompts.asked()[2].kind, PromptKind::Warning);
    EXPECT_EQ(prompts.asked()[2].buttons, PromptButtons::OkCancel);
}

TEST(SegArchiveRead, CancelledPromptsAndMissingSegments) {
    SegFixture f;
    f.add("a.txt", testutil::TextData(5000));
    f.write();
    struct Case {
        const char* what;
        std::function<void(ScriptedPrompts&, TSegArchive&)> arrange;
    };
    const Case cases[] = {
        {"cancel in the built-in prompt",
         [&](ScriptedPrompts& p, TSegArchive&) {
             p.AnswerInput(std::nullopt, "Segment directory:");
         }},
        {"cancel on a missing segment",
         [&](ScriptedPrompts& p, TSegArchive&) {
             p.AnswerInput(f.dir / "empty")
                 .answer(PromptAnswer::Cancel,
                         "Unable to locate selected segment file.\n\rCorrect and press OK");
         }},
        {"owner's prompt sets AbortRequested",
         [&](ScriptedPrompts&, TSegArchive& s) {
             s.OnSegPrompt = [](TSegArchive* a, std::string&, const std::string&, uint16_t) {
                 a->AbortRequested = true;
             };
         }},
        {"owner's change handler sets AbortRequested",
         [&](ScriptedPrompts& p, TSegArchive& s) {
             p.AnswerInput(f.SegDir());
             s.OnSegChange = [](TSegArchive* a, const std::string&) { a->AbortRequested = true; };
         }},
        {"owner's selection handler sets AbortRequested",
         [&](ScriptedPrompts& p, TSegArchive& s) {
             p.AnswerInput(f.SegDir());
             s.OnSegExpand = [](TSegArchive* a, const std::string&, std::string&,
                                std::vector<std::string>&) { a->AbortRequested = true; };
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedPrompts prompts;
        TSegArchive seg;
        f.setUp(seg);
        seg.OnSegPrompt = nullptr;
        seg.SetPrompts(&prompts);
        seg.SetTargetPath(f.out());
        seg.MakeDirectories = true;
        c.arrange(prompts, seg);
        try {
            seg.Expand();
            ADD_FAILURE() << "not cancelled";
        } catch (const ELhaOperationAborted& e) {
            EXPECT_STREQ(e.what(), "Operation cancelled");
        }
        EXPECT_TRUE(prompts.failures().empty());
        EXPECT_TRUE(prompts.done());
        EXPECT_TRUE(testutil::ListTree(f.tmp()).empty());
        EXPECT_FALSE(fu::PathExists(f.out() + "/A.TXT"));
    }
}

TEST(SegArchiveRead, OwnerChoosesTargetAndSelection) {
    SegFixture f;
    f.add("a.txt", testutil::TextData(4000, 1));
    f.add("b.txt", testutil::TextData(4000, 2));
    f.add("c.txt", testutil::TextData(4000, 3));
    f.write();
    TSegArchive seg;
    f.setUp(seg);
    seg.SetTargetPath(f.out());
    seg.MakeDirectories = true;
    seg.OnSegExpand = [&](TSegArchive*, const std::string& current, std::string& target,
                          std::vector<std::string>& list) {
        EXPECT_EQ(current, f.out() + "/");
        EXPECT_EQ(list, (std::vector<std::string>{"A.TXT", "B.TXT", "C.TXT"}));
        target = f.dir / "elsewhere";
        list = {"B.TXT"};
    };
    seg.Expand();
    EXPECT_EQ(testutil::ListTree(f.dir / "elsewhere"), std::vector<std::string>{"B.TXT"});
    EXPECT_EQ(testutil::ReadFile(f.dir / "elsewhere/B.TXT"), f.contents[1]);
    EXPECT_FALSE(fu::PathExists(f.out()));

    // Deselecting everything restores nothing.
    seg.OnSegExpand = [](TSegArchive*, const std::string&, std::string&,
                         std::vector<std::string>& list) { list.clear(); };
    seg.SetTargetPath(f.out());
    seg.Expand();
    EXPECT_FALSE(fu::PathExists(f.out()));
    EXPECT_TRUE(seg.FilesProcessed.empty());
}

TEST(SegArchiveRead, ScanNeedsOnlyTheFirstSegment) {
    SegFixture f;
    f.add("a.bin", testutil::RandomData(20000, 1));
    f.add("b.txt", testutil::TextData(300, 2));
    f.write(8192);
    fu::RemoveFile(f.segment(2));
    fu::RemoveFile(f.segment(3));
    TSegArchive seg;
    f.setUp(seg);
    std::vector<uint16_t> asked;
    seg.OnSegPrompt = [&](TSegArchive*, std::string&, const std::string&, uint16_t n) {
        asked.push_back(n);
    };
    ASSERT_TRUE(seg.Scan());
    EXPECT_EQ(asked, std::vector<uint16_t>{1});
    EXPECT_EQ(seg.FileList, (std::vector<std::string>{"A.BIN", "B.TXT"}));
    ASSERT_EQ(seg.FileInformation.size(), 2u);
    EXPECT_EQ(seg.FileInformation[0].UncompressedSize, 20000);
    EXPECT_EQ(seg.FileInformation[1].UncompressedSize, 300);
    EXPECT_EQ(seg.FileInformation[1].Method, colh5);
    EXPECT_TRUE(seg.FilesProcessed.empty());
    EXPECT_TRUE(testutil::ListTree(f.tmp()).empty());
}

TEST(SegArchiveRead, DamagedBlockHeadersAreRefused) {
    SegFixture f;
    f.add("a.txt", testutil::TextData(3000));
    f.write();
    const Bytes good = testutil::ReadFile(f.segment(1));
    const std::size_t arcAt = 31 + le32(good, 27);
    struct Case {
        std::size_t at;
        std::string message;
    };
    const Case cases[] = {
        {6, "Segment Set Header invalid"},
        {23, "Segment Scan Header invalid"},
        {arcAt, "Segment Archive Header invalid"},
    };
    for (const auto& c : cases) {
        Bytes bad = good;
        bad[c.at + 1] ^= 0x20;
        testutil::WriteFile(f.segment(1), bad);
        TSegArchive seg;
        f.setUp(seg);
        seg.SetTargetPath(f.out());
        seg.MakeDirectories = true;
        try {
            seg.Expand();
            ADD_FAILURE() << c.message;
        } catch (const ESegArchiveError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
        EXPECT_FALSE(fu::PathExists(f.out()))
            << "nothing is written before the archive block checks out";
        EXPECT_TRUE(testutil::ListTree(f.tmp()).empty());
    }
}

TEST(SegArchiveRead, CancellationInsideTheEntriesIsReported) {
    SegFixture f;
    f.add("a.txt", testutil::TextData(40000));
    f.write();
    TSegArchive seg;
    f.setUp(seg);
    seg.SetTargetPath(f.out());
    seg.MakeDirectories = true;
    seg.OnShowProgress = [&](int32_t& p) {
        if (seg.FileInformationIndex() == 0 && p == 0) p = -1;
    };
    EXPECT_THROW(seg.Verify(), ELhaOperationAborted);
    EXPECT_TRUE(testutil::ListTree(f.tmp()).empty());
}

TEST(SegArchiveSet, CancelDuringTheSetCopyStopsBothWays) {
    // The progress handler (where a Cancel button is handled) sets AbortRequested while the
    // set stream is being copied; the copy stops there instead of finishing as a success.
    SegFixture f;
    f.add("a.txt", testutil::TextData(300000));
    f.write();
    for (bool writing : {true, false}) {
        SCOPED_TRACE(writing ? "compress" : "expand");
        TSegArchive seg;
        f.setUp(seg);
        if (writing) fu::RemoveFile(f.segment(1));
        bool inSet = false;
        seg.OnSegChange = [&](TSegArchive*, const std::string&) { inSet = true; };
        seg.OnShowProgress = [&](int32_t&) {
            if (inSet) seg.AbortRequested = true;
        };
        seg.SetTargetPath(f.out());
        seg.MakeDirectories = true;
        if (writing) {
            seg.FilesToProcess = f.sources;
            EXPECT_THROW(seg.Compress(), ESegOperationAborted);
        } else {
            EXPECT_THROW(seg.Expand(), ESegOperationAborted);
            EXPECT_FALSE(fu::PathExists(f.out() + "/A.TXT"));
        }
        EXPECT_TRUE(inSet);
        EXPECT_TRUE(testutil::ListTree(f.tmp()).empty());
    }
}

TEST(SegArchiveWrite, FreeSpaceCapsAndWarns) {
    SegFixture f;
    f.add("a.bin", testutil::RandomData(30000));
    // The second "diskette" has 10000 bytes free, the third only 2048 at first.
    std::vector<int64_t> free = {100000000, 10000, 2048, 2048, 100000000};
    std::size_t query = 0;
    ScriptedPrompts prompts;
    const std::string full =
        "Not enough Free space available\n\rCorrect and press OK or Cancel to Abort.";
    prompts.answer(PromptAnswer::Ok, full).answer(PromptAnswer::Ok, full);
    TSegArchive seg;
    f.setUp(seg, 20000);
    seg.SetPrompts(&prompts);
    seg.FreeSpaceQuery = [&](const std::string&) {
        return free.at(std::min(query++, free.size() - 1));
    };
    seg.FilesToProcess = f.sources;
    seg.Compress();
    EXPECT_TRUE(prompts.done());
    EXPECT_TRUE(prompts.failures().empty());
    EXPECT_EQ(fu::FileSize(f.segment(1)), 20000);
    EXPECT_EQ(fu::FileSize(f.segment(2)), 10000) << "capped by the free space";

    // Cancel on the warning cancels the whole operation.
    ScriptedPrompts cancel;
    cancel.answer(PromptAnswer::Cancel, "Not enough Free space available");
    seg.SetPrompts(&cancel);
    seg.FreeSpaceQuery = [](const std::string&) { return int64_t{100}; };
    seg.FilesToProcess = f.sources;
    try {
        seg.Compress();
        ADD_FAILURE();
    } catch (const ELhaOperationAborted& e) {
        EXPECT_STREQ(e.what(), "Operation cancelled");
    }
    EXPECT_TRUE(seg.AbortRequested);
    EXPECT_TRUE(testutil::ListTree(f.tmp()).empty());
}

TEST(SegArchiveWrite, SegmentThatCannotBeCreated) {
    SegFixture f;
    f.add("a.txt", testutil::TextData(100));
    testutil::WriteText(f.dir / "blocker", "a file where the segment folder should be");
    TSegArchive seg;
    f.setUp(seg);
    seg.SetSegDir(f.dir / "blocker/sub");
    seg.FilesToProcess = f.sources;
    try {
        seg.Compress();
        ADD_FAILURE();
    } catch (const ESegArchiveError& e) {
        EXPECT_STREQ(e.what(), "Unable to open selected segment.");
    }
    EXPECT_TRUE(testutil::ListTree(f.tmp()).empty());
}

TEST(SegArchiveNames, NumbersAndDefaults) {
    TSegArchive seg;
    EXPECT_EQ(seg.SegBaseName(), "SegData");
    EXPECT_EQ(seg.SegDir(), "a:\\");
    EXPECT_EQ(seg.SegSize(), 1440000);
    EXPECT_FALSE(seg.AllowDuplicates);
    EXPECT_EQ(seg.SegMessages.size(), 14u);
    EXPECT_EQ(seg.SegmentName(1), "SegData.001");
    EXPECT_EQ(seg.SegmentName(12), "SegData.012");
    EXPECT_EQ(seg.SegmentName(1000), "SegData.1000");
    seg.SetSegBaseName("");
    seg.SetSegDir("");
    EXPECT_EQ(seg.SegBaseName(), "SegData");
    EXPECT_EQ(seg.SegDir(), "a:\\");
    seg.SetSegSize(100);
    EXPECT_EQ(seg.SegSize(), 8192);
}

} // namespace
} // namespace larderly
