// TLhaArchive: round trips, rebuild and append, masks, events, confirmation, safe mode,
// verification, cancellation and unsafe entry names.
#include "archive/LhaArchive.h"

#include "ScriptedPrompts.h"
#include "archive/LhaTestUtil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace larderly {
namespace {

using testutil::Bytes;
using testutil::ScratchDir;
namespace fu = fileutil;

// A folder of source files and an archive beside them.
struct Fixture {
    ScratchDir dir;
    std::string src() const { return dir / "src"; }
    std::string out() const { return dir / "out"; }
    std::string archive() const { return dir / "test.lzh"; }
    std::string add(const std::string& name, const Bytes& bytes) {
        testutil::WriteFile(src() + "/" + name, bytes);
        return src() + "/" + name;
    }
};

TEST(LhaMasks, MatchingRules) {
    struct Case {
        const char* name;
        const char* mask;
        bool match;
    };
    const Case cases[] = {
        {"tbl102.nx1", "*.nx1", true},
        {"TBL102.NX1", "*.nx1", true},
        {"tbl102.nx2", "*.nx1", false},
        {"tbl102.nx1", "*.*", true},
        {"tbl102.nx1", "*", true},
        {"readme", "*.*", true},
        {"readme", "*.", true},
        {"readme.txt", "*.", false},
        {"tbl102.nx1", "tbl10?.nx1", true},
        {"tbl1023.nx1", "tbl10?.nx1", false},
        {"tbl102.nx1", "tbl*.nx1", true},
        {"tb.nx1", "tbl*.nx1", false},
        {"tbl102.nx1", "tbl102", true},
        {"a.b.c", "a.b.*", true},
        {"a.b.c", "a.*", false},
        {"x.nx1", "*x.nx1", false},
        {"*x.nx1", "*x.nx1", true},
        {"", "", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LhaMatchesMask(c.name, c.mask), c.match) << c.name << " ~ " << c.mask;

    const std::vector<std::string> list = {"/data/*.nx1", "other/TBL.X"};
    EXPECT_TRUE(LhaIsInList("/DATA/tbl101.nx1", list));
    EXPECT_FALSE(LhaIsInList("/data/sub/tbl101.nx1", list));
    EXPECT_TRUE(LhaIsInList("Other\\tbl.x", list));
    EXPECT_FALSE(LhaIsInList("tbl.x", list));
}

// Every method and header level: names with folders, an empty file, many files.
TEST(LhaArchiveRoundTrip, MethodsAndLevels) {
    for (TLhaMethod method : {colh0, colh1, colh5}) {
        for (TLhaArchiveType type : {caLHARC, caLHA}) {
            SCOPED_TRACE(testing::Message() << "method " << int(method) << " level " << int(type));
            Fixture f;
            std::vector<std::string> files;
            std::vector<Bytes> contents;
            for (int i = 0; i < 12; ++i) {
                contents.push_back(i == 0  ? Bytes{}
                                   : i % 3 ? testutil::TextData(1000 * i, i)
                                           : testutil::RandomData(700 * i, i));
                files.push_back(
                    f.add("sub" + std::to_string(i % 2) + "/file" + std::to_string(i) + ".dat",
                          contents.back()));
            }
            TLhaArchive lha;
            lha.ArchiveName = f.archive();
            lha.CompressionMethod = method;
            lha.ArchiveType = type;
            lha.StorePath = type == caLHA;
            lha.SetTargetPath(f.src());
            lha.FilesToProcess = files;
            lha.Compress();
            ASSERT_EQ(lha.FilesProcessed.size(), files.size());

            ASSERT_TRUE(lha.Scan());
            ASSERT_EQ(lha.FileList.size(), files.size());
            EXPECT_EQ(lha.FileList[1], type == caLHA ? "sub1/file1.dat" : "FILE1.DAT");
            for (std::size_t i = 0; i < files.size(); ++i) {
                EXPECT_EQ(static_cast<std::size_t>(lha.FileInformation[i].UncompressedSize),
                          contents[i].size());
                EXPECT_EQ(lha.FileInformation[i].HeaderLevel, type == caLHA ? 1 : 0);
                EXPECT_EQ(lha.FileInformation[i].CRC,
                          Crc16(0, contents[i].data(), contents[i].size()));
            }
            EXPECT_EQ(lha.FileInformation[0].PackedSize, 0) << "an empty file has no data";

            lha.FilesToProcess.clear();
            lha.SetTargetPath(f.out());
            lha.MakeDirectories = true;
            lha.Expand();
            ASSERT_EQ(lha.FilesProcessed.size(), files.size());
            for (std::size_t i = 0; i < files.size(); ++i) {
                const std::string name = type == caLHA ? "sub" + std::to_string(i % 2) + "/file" +
                                                             std::to_string(i) + ".dat"
                                                       : "FILE" + std::to_string(i) + ".DAT";
                EXPECT_EQ(testutil::ReadFile(f.out() + "/" + name), contents[i]) << name;
                EXPECT_EQ(fu::FileDosStamp(f.out() + "/" + name), fu::FileDosStamp(files[i]));
            }
        }
    }
}

TEST(LhaArchiveCompress, RebuildReplacesEntriesAndPutsNewOnesFirst) {
    Fixture f;
    const std::string a = f.add("a.txt", testutil::TextData(500, 1));
    const std::string b = f.add("b.txt", testutil::TextData(500, 2));
    const std::string c = f.add("c.txt", testutil::TextData(500, 3));
    TLhaArchive lha;
    lha.ArchiveName = f.archive();
    lha.FilesToProcess = {a, b, c};
    lha.Compress();

    const Bytes newB = testutil::TextData(900, 9);
    testutil::WriteFile(b, newB);
    const std::string d = f.add("d.txt", testutil::TextData(100, 4));
    lha.FilesToProcess = {b, d};
    lha.Compress();
    EXPECT_FALSE(fu::PathExists(f.dir / "test.$$$"));
    ASSERT_TRUE(lha.Scan());
    EXPECT_EQ(lha.FileList, (std::vector<std::string>{"B.TXT", "D.TXT", "A.TXT", "C.TXT"}));
    EXPECT_EQ(lha.FileInformation[0].UncompressedSize, 900);
    EXPECT_EQ(lha.FileInformationIndex(), 2) << "counts the old entries";

    lha.FilesToProcess.clear();
    lha.SetTargetPath(f.out());
    lha.MakeDirectories = true;
    lha.Expand();
    EXPECT_EQ(testutil::ReadFile(f.out() + "/B.TXT"), newB);
    EXPECT_EQ(testutil::ReadFile(f.out() + "/C.TXT"), testutil::TextData(500, 3));
}

TEST(LhaArchiveCompress, RebuildInTempArchivePath) {
    Fixture f;
    const std::string a = f.add("a.txt", testutil::TextData(500, 1));
    fu::MakeDirectories(f.dir / "tmp");
    TLhaArchive lha;
    lha.ArchiveName = f.archive();
    lha.FilesToProcess = {a};
    lha.Compress();
    lha.SetTempArchivePath(f.dir / "tmp");
    std::string seen;
    lha.OnAfterProcessed = [&](TLhaArchive*, const std::string&, const std::string&, int32_t,
                               TLhaProcessMode) {
        seen = fu::ListDirectory(f.dir / "tmp").empty() ? ""
                                                        : fu::ListDirectory(f.dir / "tmp")[0].name;
    };
    lha.FilesToProcess = {a};
    lha.Compress();
    EXPECT_EQ(seen, "test.$$$");
    EXPECT_TRUE(fu::ListDirectory(f.dir / "tmp").empty());
    ASSERT_TRUE(lha.Scan());
    EXPECT_EQ(lha.FileList.size(), 1u);
}

TEST(LhaArchiveCompress, AllowDuplicatesAppendsOverTheEndByte) {
    Fixture f;
    const std::string a = f.add("a.txt", testutil::TextData(300, 1));
    TLhaArchive lha;
    lha.ArchiveName = f.archive();
    lha.FilesToProcess = {a};
    lha.Compress();
    const auto firstSize = fu::FileSize(f.archive()).value();

    lha.AllowDuplicates = true;
    lha.FilesToProcess = {a};
    lha.Compress();
    const Bytes bytes = testutil::ReadFile(f.archive());
    EXPECT_EQ(static_cast<int64_t>(bytes.size()), 2 * firstSize - 1);
    EXPECT_EQ(bytes[firstSize - 1], bytes[0]) << "the second header starts where the end byte was";
    ASSERT_TRUE(lha.Scan());
    EXPECT_EQ(lha.FileList, (std::vector<std::string>{"A.TXT", "A.TXT"}));
}

TEST(LhaArchiveCompress, ListHandling) {
    Fixture f;
    const std::string a = f.add("a.txt", {'a'});
    const std::string b = f.add("b.txt", {'b'});
    const std::string c = f.add("c.txt", {'c'});
    fu::MakeDirectories(f.src() + "/folder");

    // A missing file and a folder are dropped from the list; nothing is stored for them.
    TLhaArchive lha;
    lha.ArchiveName = f.archive();
    lha.FilesToProcess = {a, f.src() + "/missing.txt", f.src() + "/folder", b};
    lha.Compress();
    EXPECT_EQ(lha.FilesToProcess, (std::vector<std::string>{"A.TXT", "B.TXT"}));
    EXPECT_EQ(lha.FilesProcessed, (std::vector<std::string>{"A.TXT", "B.TXT"}));

    // "*" from the handler on the second of three files stores only the first; the rest of
    // the list stays as it was.
    fu::RemoveFile(f.archive());
    lha.FilesToProcess = {a, b, c};
    lha.OnCheckFile = [](TLhaArchive*, const std::string& from, std::string& to, int32_t,
                         TLhaProcessMode mode) {
        EXPECT_EQ(mode, cmLHACompress);
        if (fu::ExtractFileName(from) == "b.txt") to = "*";
        if (fu::ExtractFileName(from) == "a.txt") to = "some/where/renamed.txt";
    };
    lha.Compress();
    EXPECT_EQ(lha.FilesToProcess, (std::vector<std::string>{"RENAMED.TXT", c}));
    ASSERT_TRUE(lha.Scan());
    EXPECT_EQ(lha.FileList, std::vector<std::string>{"RENAMED.TXT"});

    // '' from the handler skips the file.
    fu::RemoveFile(f.archive());
    lha.FilesToProcess = {a, b};
    lha.OnCheckFile = [](TLhaArchive*, const std::string& from, std::string& to, int32_t,
                         TLhaProcessMode) {
        if (fu::ExtractFileName(from) == "a.txt") to.clear();
    };
    lha.Compress();
    EXPECT_EQ(lha.FilesToProcess, std::vector<std::string>{"B.TXT"});

    // A file whose size does not fit in a header is passed over like an unreadable one.
    lha.OnCheckFile = nullptr;
    {
        const std::string huge = f.src() + "/huge.bin";
        testutil::WriteFile(huge, {});
        ASSERT_EQ(truncate(huge.c_str(), 0x100000001LL), 0); // sparse: takes no room
        lha.FilesToProcess = {huge, a};
        lha.Compress();
        EXPECT_EQ(lha.FilesToProcess, std::vector<std::string>{"A.TXT"});
        lha.ExceptionOnFileError = true;
        lha.FilesToProcess = {huge};
        EXPECT_THROW(lha.Compress(), EFOpenError);
        lha.ExceptionOnFileError = false;
        fu::RemoveFile(huge);
    }

    // An unreadable file raises only with ExceptionOnFileError.
    if (geteuid() != 0) {
        chmod(b.c_str(), 0);
        lha.FilesToProcess = {a, b};
        lha.Compress();
        EXPECT_EQ(lha.FilesToProcess, std::vector<std::string>{"A.TXT"});
        lha.ExceptionOnFileError = true;
        lha.FilesToProcess = {a, b};
        EXPECT_THROW(lha.Compress(), EFOpenError);
        chmod(b.c_str(), 0644);
    }
}

TEST(LhaArchiveCompress, MasksSearchSubfoldersInListingOrder) {
    Fixture f;
    f.add("x/b.nx1", {'1'});
    f.add("x/a/z.nx1", {'2'});
    f.add("x/c/d/y.nx1", {'3'});
    f.add("x/c/e.txt", {'4'});
    f.add("x/.hidden.nx1", {'5'});
    f.add("x/.dot/h.nx1", {'6'});
    f.add("x/A.NX1", {'7'});
    TLhaArchive lha;
    lha.ArchiveName = f.archive();
    lha.ArchiveType = caLHA;
    lha.StorePath = true;
    lha.SetTargetPath(f.src());
    lha.FilesToProcess = {f.src() + "/x/*.nx1/S"};
    lha.Compress();
    EXPECT_EQ(lha.FilesProcessed,
              (std::vector<std::string>{"x/A.NX1", "x/a/z.nx1", "x/b.nx1", "x/c/d/y.nx1"}));

    fu::RemoveFile(f.archive());
    lha.FilesToProcess = {f.src() + "/x/*.nx1"};
    lha.Compress();
    EXPECT_EQ(lha.FilesProcessed, (std::vector<std::string>{"x/A.NX1", "x/b.nx1"}));
}

TEST(LhaArchiveCompress, ArchiveCannotHoldItself) {
    Fixture f;
    f.add("a.txt", {'a'});
    TLhaArchive lha;
    lha.ArchiveName = f.src() + "/new.lzh";
    lha.FilesToProcess = {f.src() + "/*.*"};
    try {
        lha.Compress();
        ADD_FAILURE();
    } catch (const EWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot add " + lha.ArchiveName + " to itself!");
    }
    EXPECT_FALSE(fu::PathExists(lha.ArchiveName));
}

TEST(LhaArchiveCompress, CancellationRemovesOrCutsBack) {
    Fixture f;
    const std::string a = f.add("a.txt", testutil::TextData(20000, 1));
    const std::string b = f.add("b.txt", testutil::TextData(20000, 2));
    for (int at : {0, 50}) {
        SCOPED_TRACE(at);
        // A new archive is removed.
        TLhaArchive lha;
        lha.ArchiveName = f.archive();
        lha.FilesToProcess = {a, b};
        int calls = 0;
        lha.OnShowProgress = [&](int32_t& p) {
            if (++calls > 1 && (p >= at)) p = -1;
        };
        if (at == 0) lha.OnShowProgress = [](int32_t& p) { p = -1; };
        EXPECT_THROW(lha.Compress(), ELhaOperationAborted);
        EXPECT_FALSE(fu::PathExists(f.archive()));

        // An archive being appended to is cut back to what it was.
        lha.OnShowProgress = nullptr;
        lha.FilesToProcess = {a};
        lha.Compress();
        const Bytes before = testutil::ReadFile(f.archive());
        lha.AllowDuplicates = true;
        lha.FilesToProcess = {b};
        lha.OnShowProgress = [](int32_t& p) { p = -1; };
        EXPECT_THROW(lha.Compress(), ELhaOperationAborted);
        EXPECT_EQ(testutil::ReadFile(f.archive()), before);
        // A rebuild leaves the old archive and no work file.
        lha.AllowDuplicates = false;
        lha.FilesToProcess = {b};
        EXPECT_THROW(lha.Compress(), ELhaOperationAborted);
        EXPECT_EQ(testutil::ReadFile(f.archive()), before);
        EXPECT_FALSE(fu::PathExists(f.dir / "test.$$$"));
        fu::RemoveFile(f.archive());
    }
}

TEST(LhaArchiveConfirm, YesNoCancel) {
    Fixture f;
    const std::string a = f.add("a.txt", {'a'});
    const std::string b = f.add("b.txt", {'b'});
    const std::string c = f.add("c.txt", {'c'});
    ScriptedPrompts prompts;
    prompts.answer(PromptAnswer::Yes, "Compress " + a + " as A.TXT?")
        .answer(PromptAnswer::No, "Compress " + b + " as B.TXT?")
        .answer(PromptAnswer::Cancel, "C.TXT");
    TLhaArchive lha;
    lha.SetPrompts(&prompts);
    lha.Confirm = true;
    lha.ArchiveName = f.archive();
    lha.FilesToProcess = {a, b, c};
    lha.Compress();
    EXPECT_TRUE(prompts.failures().empty());
    EXPECT_EQ(lha.FilesProcessed, std::vector<std::string>{"A.TXT"});
    ASSERT_EQ(prompts.asked().size(), 3u);
    EXPECT_EQ(prompts.asked()[0].kind, PromptKind::Confirmation);
    EXPECT_EQ(prompts.asked()[0].buttons, PromptButtons::YesNoCancel);

    // Verify uses its own question; an empty question is not asked.
    prompts.answer(PromptAnswer::Yes, "Verify archive integrity of A.TXT?");
    lha.FilesToProcess.clear();
    lha.SetTargetPath(f.out());
    lha.Verify();
    EXPECT_TRUE(prompts.done());
    lha.ConfirmMessages[2] = "";
    lha.Expand();
    EXPECT_TRUE(prompts.failures().empty());
}

TEST(LhaArchiveExpand, DamagedDataAndSafeMode) {
    Fixture f;
    const Bytes content = testutil::RandomData(3000);
    const std::string a = f.add("a.bin", content);
    TLhaArchive lha;
    lha.ArchiveName = f.archive();
    lha.CompressionMethod = colh0;
    lha.FilesToProcess = {a};
    lha.Compress();
    Bytes arc = testutil::ReadFile(f.archive());
    arc[24 + 5 + 1000] ^= 0x40; // a byte of the data
    testutil::WriteFile(f.archive(), arc);

    lha.FilesToProcess.clear();
    lha.SetTargetPath(f.out());
    lha.MakeDirectories = true;
    try {
        lha.Expand();
        ADD_FAILURE();
    } catch (const ELhaBadCRC& e) {
        EXPECT_STREQ(e.what(), "Bad CRC during expansion -- data may be invalid");
    }
    EXPECT_EQ(fu::FileSize(f.out() + "/A.BIN"), 3000)
        << "the partial target stays without SafeMode";

    // With SafeMode the target is untouched and no temporary file is left.
    const Bytes old = {'o', 'l', 'd'};
    testutil::WriteFile(f.out() + "/A.BIN", old);
    lha.SafeMode = true;
    EXPECT_THROW(lha.Expand(), ELhaBadCRC);
    EXPECT_EQ(testutil::ReadFile(f.out() + "/A.BIN"), old);
    EXPECT_EQ(testutil::ListTree(f.out()), std::vector<std::string>{"A.BIN"});
}

TEST(LhaArchiveExpand, SafeModeReplacesTargetAndFilterSelects) {
    Fixture f;
    const std::string a = f.add("a.txt", testutil::TextData(2000, 1));
    const std::string b = f.add("b.txt", testutil::TextData(2000, 2));
    TLhaArchive lha;
    lha.ArchiveName = f.archive();
    lha.CompressionMethod = colh5;
    lha.FilesToProcess = {a, b};
    lha.Compress();
    testutil::WriteText(f.out() + "/B.TXT", "old contents");

    lha.SafeMode = true;
    lha.SetTargetPath(f.out());
    lha.FilesToProcess = {"b.*"};
    std::vector<std::string> after;
    lha.OnAfterProcessed = [&](TLhaArchive* sender, const std::string& from, const std::string& to,
                               int32_t, TLhaProcessMode mode) {
        EXPECT_EQ(sender, &lha);
        EXPECT_EQ(mode, cmLHAExpand);
        after.push_back(from + ">" + to);
    };
    lha.Expand();
    EXPECT_EQ(testutil::ReadFile(f.out() + "/B.TXT"), testutil::TextData(2000, 2));
    EXPECT_EQ(testutil::ListTree(f.out()), std::vector<std::string>{"B.TXT"});
    EXPECT_EQ(lha.FilesToProcess, std::vector<std::string>{f.out() + "/B.TXT"});
    EXPECT_EQ(after, std::vector<std::string>{"B.TXT>" + f.out() + "/B.TXT"});
    struct stat st {};
    ASSERT_EQ(stat((f.out() + "/B.TXT").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0600, 0600u) << "a replaced file gets ordinary permissions";
}

// What a killed extraction left in the target folder goes at the next extraction into it:
// our temporary files whose process is gone or that are over a day old, nothing else.
TEST(LhaArchiveExpand, NextExtractionSweepsTemporaryFilesOfKilledRuns) {
    Fixture f;
    const std::string a = f.add("a.txt", testutil::TextData(2000, 1));
    TLhaArchive lha;
    lha.ArchiveName = f.archive();
    lha.FilesToProcess = {a};
    lha.Compress();
    const std::string live = "LHA" + std::to_string(::getpid());
    struct Case {
        std::string name;
        bool old, stays;
    } cases[] = {
        {"LHA999999999-AbC123", false, false}, // its process is gone
        {live + "-Old123", true, false},       // a running process, but a day old
        {live + "-Now123", false, true},       // an extraction at work
        {"LHAnotes.txt", true, true},          // the user's own files
        {"LHA999999999-longer-name", true, true},
        {"lha999999999-AbC123", true, true},
    };
    for (const auto& c : cases) {
        const std::string path = f.out() + "/" + c.name;
        testutil::WriteText(path, "left");
        if (c.old) {
            const std::time_t twoDaysAgo = std::time(nullptr) - 2 * 24 * 60 * 60;
            const struct timeval times[2] = {{twoDaysAgo, 0}, {twoDaysAgo, 0}};
            ASSERT_EQ(::utimes(path.c_str(), times), 0);
        }
    }
    // A link of that form is not ours to remove, nor what it points at.
    testutil::WriteText(f.dir / "elsewhere", "keep");
    ASSERT_EQ(::symlink((f.dir / "elsewhere").c_str(), (f.out() + "/LHA999999999-Lnk123").c_str()),
              0);

    lha.SafeMode = true;
    lha.FilesToProcess.clear();
    lha.SetTargetPath(f.out());
    lha.Expand();
    EXPECT_EQ(testutil::ReadFile(f.out() + "/A.TXT"), testutil::TextData(2000, 1));
    for (const auto& c : cases)
        EXPECT_EQ(std::filesystem::exists(f.out() + "/" + c.name), c.stays) << c.name;
    EXPECT_TRUE(std::filesystem::is_symlink(f.out() + "/LHA999999999-Lnk123"));
    EXPECT_EQ(testutil::ReadFile(f.dir / "elsewhere"), (Bytes{'k', 'e', 'e', 'p'}));
}

TEST(LhaArchiveVerify, LeavesNothingBehind) {
    Fixture f;
    const std::string a = f.add("d/a.txt", testutil::TextData(5000, 1));
    TLhaArchive lha;
    lha.ArchiveName = f.archive();
    lha.CompressionMethod = colh5;
    lha.ArchiveType = caLHA;
    lha.StorePath = true;
    lha.SetTargetPath(f.src());
    lha.FilesToProcess = {a};
    lha.Compress();

    fu::MakeDirectories(f.out());
    lha.FilesToProcess.clear();
    lha.SetTargetPath(f.out());
    lha.VerifyMode = false;
    int expandedEntries = 0;
    lha.OnAfterProcessed = [&](TLhaArchive*, const std::string&, const std::string&, int32_t,
                               TLhaProcessMode) { ++expandedEntries; };
    lha.Verify();
    EXPECT_FALSE(lha.VerifyMode) << "restored after the call";
    EXPECT_EQ(expandedEntries, 1) << "an entry whose folder does not exist is still checked";
    EXPECT_EQ(lha.FilesProcessed, std::vector<std::string>{f.out() + "/d/a.txt"});
    EXPECT_TRUE(testutil::ListTree(f.out()).empty());

    // A target that another holder has locked is still checked (it is never touched), while
    // a safe expansion cannot replace it and passes it over.
    testutil::WriteText(f.out() + "/d/a.txt", "in use");
    const int fd = open((f.out() + "/d/a.txt").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    {
        fu::FileLock held(fd);
        ASSERT_TRUE(held.locked());
        expandedEntries = 0;
        lha.Verify();
        EXPECT_EQ(expandedEntries, 1);
        lha.SafeMode = true;
        lha.Expand();
        EXPECT_EQ(expandedEntries, 1);
        EXPECT_EQ(testutil::ReadFile(f.out() + "/d/a.txt"), (Bytes{'i', 'n', ' ', 'u', 's', 'e'}));
        lha.ExceptionOnFileError = true;
        EXPECT_THROW(lha.Expand(), EFOpenError);
        lha.ExceptionOnFileError = false;
        lha.SafeMode = false;
    }
    close(fd);
    fu::RemoveTree(f.out() + "/d");

    // A damaged entry fails the check.
    Bytes arc = testutil::ReadFile(f.archive());
    arc[arc.size() - 10] ^= 0x11;
    testutil::WriteFile(f.archive(), arc);
    EXPECT_ANY_THROW(lha.Verify());
    EXPECT_TRUE(testutil::ListTree(f.out()).empty());
}

TEST(LhaArchiveExpand, CancellationLeavesNoPartialFile) {
    Fixture f;
    const std::string a = f.add("a.txt", testutil::TextData(1000, 1));
    const std::string b = f.add("b.txt", testutil::TextData(60000, 2));
    TLhaArchive lha;
    lha.ArchiveName = f.archive();
    lha.CompressionMethod = colh0;
    lha.FilesToProcess = {a, b};
    lha.Compress();

    for (bool atStart : {true, false}) {
        fu::RemoveTree(f.out());
        lha.FilesToProcess.clear();
        lha.SetTargetPath(f.out());
        lha.MakeDirectories = true;
        lha.OnShowProgress = [&, atStart](int32_t& p) {
            if (lha.FileInformationIndex() == 1 && (atStart || p > 20)) p = -1;
        };
        EXPECT_NO_THROW(lha.Expand());
        EXPECT_TRUE(lha.AbortRequested);
        EXPECT_EQ(testutil::ListTree(f.out()), std::vector<std::string>{"A.TXT"}) << atStart;
        EXPECT_EQ(lha.FilesProcessed, std::vector<std::string>{f.out() + "/A.TXT"});
    }
}

TEST(LhaArchiveExpand, EntryNamesStayInsideTheTarget) {
    Fixture f;
    struct Case {
        std::string name;
        std::string landsAt; // empty: refused
    };
    const Case cases[] = {
        {"\\ABS\\X.TXT", "ABS/X.TXT"}, {"/etc/y.txt", "etc/y.txt"},          {"..\\EVIL.TXT", ""},
        {"a/../../EVIL.TXT", ""},      {"ok..name/Z.TXT", "ok..name/Z.TXT"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TLhaHeader h;
        std::memcpy(h.MethodId.data(), "-lh0-", 5);
        h.PackedSize = h.UncompressedSize = 2;
        h.CRC = Crc16(0, "hi", 2);
        h.Name = c.name;
        Bytes arc = EncodeEntryHeader(h);
        arc.push_back('h');
        arc.push_back('i');
        arc.push_back(0);
        testutil::WriteFile(f.archive(), arc);
        fu::RemoveTree(f.dir / "t");
        TLhaArchive lha;
        lha.ArchiveName = f.archive();
        lha.SetTargetPath(f.dir / "t/in");
        lha.MakeDirectories = true;
        if (c.landsAt.empty()) {
            try {
                lha.Expand();
                ADD_FAILURE();
            } catch (const ELhaInvalidHeader& e) {
                EXPECT_NE(std::string(e.what()).find(fu::ToForwardSlashes(c.name)),
                          std::string::npos)
                    << e.what();
            }
            EXPECT_TRUE(testutil::ListTree(f.dir / "t").empty());
        } else {
            lha.Expand();
            EXPECT_EQ(testutil::ListTree(f.dir / "t/in"), std::vector<std::string>{c.landsAt});
        }
        EXPECT_FALSE(fu::PathExists(f.dir / "EVIL.TXT"));
    }
}

// An entry never lands through a symbolic link below the target folder, nor replaces
// anything but a regular file there.
TEST(LhaArchiveExpand, SymbolicLinksInTheTargetAreNotFollowed) {
    Fixture f;
    f.add("sub/a.txt", {'n', 'e', 'w'});
    TLhaArchive lha;
    lha.ArchiveName = f.archive();
    lha.ArchiveType = caLHA;
    lha.StorePath = true;
    lha.SetTargetPath(f.src());
    lha.FilesToProcess = {f.src() + "/sub/a.txt"};
    lha.Compress();
    const std::string outside = f.dir / "outside", t = f.dir / "t";
    struct Case {
        const char* link;  // made in the target folder
        const char* to;    // where it points; "" for a named pipe
        std::string cause; // the end of the message
    } cases[] = {
        {"sub", "../outside", "the folder " + t + "/sub is a symbolic link"},
        {"sub/a.txt", "../../outside/a.txt", "it is a symbolic link"},
        {"sub/a.txt", "../../outside/none.txt", "it is a symbolic link"},
        {"sub/a.txt", "", "it is a named pipe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        fu::RemoveTree(t);
        fu::RemoveTree(outside);
        fu::MakeDirectories(t + "/sub");
        fu::MakeDirectories(outside);
        testutil::WriteText(outside + "/a.txt", "old");
        const std::string link = t + "/" + c.link;
        if (std::string(c.link) == "sub") fu::RemoveTree(link);
        if (*c.to)
            ASSERT_EQ(::symlink(c.to, link.c_str()), 0);
        else
            ASSERT_EQ(::mkfifo(link.c_str(), 0644), 0);
        for (bool raise : {true, false}) {
            TLhaArchive x;
            x.ArchiveName = f.archive();
            x.SetTargetPath(t);
            x.MakeDirectories = true;
            x.SafeMode = !raise;
            x.ExceptionOnFileError = raise;
            try {
                x.Expand();
                EXPECT_FALSE(raise);
                EXPECT_TRUE(x.FilesProcessed.empty()) << "the entry is skipped";
            } catch (const EFCreateError& e) {
                EXPECT_TRUE(raise);
                EXPECT_EQ(e.what(), "Cannot create file " + t + "/sub/a.txt: " + c.cause);
            }
        }
        EXPECT_EQ(testutil::ListTree(outside), std::vector<std::string>{"a.txt"});
        EXPECT_EQ(testutil::ReadFile(outside + "/a.txt"), (Bytes{'o', 'l', 'd'}));
    }
}

// A link swapped into the target folder while an entry is being expanded (a folder on its way
// or the file's own name) is not followed either: the entry goes into the folder that was
// opened, or is refused, and nothing lands where the link points.
TEST(LhaArchiveExpand, ALinkSwappedInWhileItRunsIsNotFollowed) {
    Fixture f;
    f.add("sub/a.txt", {'n', 'e', 'w'});
    f.add("sub/b.txt", {'b'});
    TLhaArchive lha;
    lha.ArchiveName = f.archive();
    lha.ArchiveType = caLHA;
    lha.StorePath = true;
    lha.SetTargetPath(f.src());
    lha.FilesToProcess = {f.src() + "/sub/a.txt", f.src() + "/sub/b.txt"};
    lha.Compress();
    const std::string outside = f.dir / "outside", t = f.dir / "t";
    struct Case {
        bool folder;                   // the folder sub is swapped, else the file sub/a.txt
        bool safe;                     // SafeMode
        std::string error;             // the start of what Expand raises ("" none)
        std::vector<std::string> kept; // the folder that was opened, afterwards
    } cases[] = {
        {true,
         true,
         "Cannot create file " + t + "/sub/b.txt: the folder " + t + "/sub is a symbolic link",
         {"a.txt"}},
        {true,
         false,
         "Cannot create file " + t + "/sub/b.txt: the folder " + t + "/sub is a symbolic link",
         {"a.txt"}},
        {false,
         true,
         "Could not replace " + t + "/sub/a.txt with " + t + "/sub/LHA",
         {"a.txt", "aside.txt"}},
        {false, false, "", {"a.txt", "aside.txt", "b.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.folder ? "folder" : "file") + (c.safe ? ", safe" : ""));
        fu::RemoveTree(t);
        fu::RemoveTree(outside);
        fu::MakeDirectories(t + "/sub");
        fu::MakeDirectories(outside);
        testutil::WriteText(outside + "/a.txt", "old");
        testutil::WriteText(t + "/sub/a.txt", "mine");
        TLhaArchive x;
        x.ArchiveName = f.archive();
        x.SetTargetPath(t);
        x.MakeDirectories = true;
        x.SafeMode = c.safe;
        x.ExceptionOnFileError = true;
        bool swapped = false;
        x.OnShowProgress = [&](int32_t&) {
            if (swapped) return;
            swapped = true;
            if (c.folder) {
                ASSERT_EQ(::rename((t + "/sub").c_str(), (t + "/moved").c_str()), 0);
                ASSERT_EQ(::symlink("../outside", (t + "/sub").c_str()), 0);
            } else {
                ASSERT_EQ(::rename((t + "/sub/a.txt").c_str(), (t + "/sub/aside.txt").c_str()), 0);
                ASSERT_EQ(::symlink("../../outside/a.txt", (t + "/sub/a.txt").c_str()), 0);
            }
        };
        std::string error;
        try {
            x.Expand();
        } catch (const std::exception& e) {
            error = e.what();
        }
        EXPECT_TRUE(swapped);
        EXPECT_EQ(error.substr(0, c.error.size()), c.error) << error;
        EXPECT_EQ(error.empty(), c.error.empty()) << error;
        // The entry went into the folder it opened; the link is still a link.
        const std::string opened = t + (c.folder ? "/moved" : "/sub");
        EXPECT_EQ(testutil::ListTree(opened), c.kept);
        EXPECT_TRUE(std::filesystem::is_symlink(t + (c.folder ? "/sub" : "/sub/a.txt")));
        const std::string text = c.folder || !c.safe ? "new" : "mine";
        EXPECT_EQ(testutil::ReadFile(opened + (c.folder ? "/a.txt" : "/aside.txt")),
                  Bytes(text.begin(), text.end()));
        EXPECT_EQ(testutil::ListTree(outside), std::vector<std::string>{"a.txt"});
        EXPECT_EQ(testutil::ReadFile(outside + "/a.txt"), (Bytes{'o', 'l', 'd'}));
    }
}

TEST(LhaArchiveExpand, ScrambledEntries) {
    Fixture f;
    const std::string a = f.add("a.txt", testutil::TextData(4000, 3));
    TLhaArchive lha;
    lha.ArchiveName = f.archive();
    lha.CompressionMethod = colh0;
    lha.Password = "secret";
    lha.FilesToProcess = {a};
    lha.Compress();
    ASSERT_TRUE(lha.Scan());
    EXPECT_TRUE(lha.FileInformation[0].Encrypted);

    lha.FilesToProcess.clear();
    lha.SetTargetPath(f.out());
    lha.MakeDirectories = true;
    lha.Expand();
    EXPECT_EQ(testutil::ReadFile(f.out() + "/A.TXT"), testutil::TextData(4000, 3));

    struct Case {
        std::string password, message;
    };
    for (const Case& c : {Case{"", "File is encrypted -- password required"},
                          Case{"wrong", "Invalid password -- cannot decrypt file"}}) {
        lha.Password = c.password;
        try {
            lha.Expand();
            ADD_FAILURE() << c.password;
        } catch (const ELhaEncrypted& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
}

TEST(LhaArchiveExpand, FileErrorsSkipOrRaise) {
    Fixture f;
    const std::string a = f.add("a.txt", {'a'});
    TLhaArchive lha;
    lha.ArchiveName = f.archive();
    lha.FilesToProcess = {a};
    lha.Compress();
    // The target is a folder: it cannot be created.
    fu::MakeDirectories(f.out() + "/A.TXT");
    lha.FilesToProcess.clear();
    lha.SetTargetPath(f.out());
    lha.Expand();
    EXPECT_TRUE(lha.FilesProcessed.empty());
    lha.ExceptionOnFileError = true;
    EXPECT_THROW(lha.Expand(), EFCreateError);
    lha.SafeMode = true;
    EXPECT_THROW(lha.Expand(), EFCreateError);
    EXPECT_EQ(testutil::ListTree(f.out()), std::vector<std::string>{});
}

TEST(LhaArchiveScan, MissingShortAndUnknownMethod) {
    Fixture f;
    TLhaArchive lha;
    lha.ArchiveName = f.archive();
    lha.FileList = {"stale"};
    EXPECT_FALSE(lha.Scan());
    EXPECT_TRUE(lha.FileList.empty());
    testutil::WriteFile(f.archive(), Bytes(21, 0x20));
    EXPECT_TRUE(lha.Scan());
    EXPECT_TRUE(lha.FileList.empty());

    TLhaHeader h;
    std::memcpy(h.MethodId.data(), "-lzs-", 5);
    h.Name = "X";
    Bytes arc = EncodeEntryHeader(h);
    arc.push_back(0);
    testutil::WriteFile(f.archive(), arc);
    EXPECT_THROW(lha.Scan(), ELhaUnrecognizedCompressionMethod);
    // Expand only resolves the entries it expands.
    lha.FilesToProcess = {"other"};
    lha.SetTargetPath(f.out());
    EXPECT_NO_THROW(lha.Expand());
    lha.FilesToProcess.clear();
    EXPECT_THROW(lha.Expand(), ELhaUnrecognizedCompressionMethod);
}

} // namespace
} // namespace larderly
