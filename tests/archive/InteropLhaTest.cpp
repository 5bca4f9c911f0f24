// Interoperability with other LHA tools run as black boxes: lhasa and 7-Zip test and
// extract our archives; archives made by jlha expand with our engine (level 0) or are
// refused (level 1 with OS id 0). Also the lha and seg commands of larderly-cli.
#include "archive/LhaArchive.h"

#include "archive/LhaTestUtil.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <map>
#include <sys/wait.h>

namespace larderly {
namespace {

using testutil::Bytes;
using testutil::ScratchDir;
namespace fu = fileutil;

bool HaveTool(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

struct RunResult {
    int status = -1;
    std::string output;
};

// Runs a shell command, its output (stdout and stderr) collected.
RunResult run(const std::string& command) {
    RunResult r;
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf{};
    while (std::size_t n = std::fread(buf.data(), 1, buf.size(), p))
        r.output.append(buf.data(), n);
    const int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string LowerCase(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Files below `folder` by lower-case relative name (some tools fold MS-DOS names).
std::map<std::string, std::string> TreeByLowerName(const std::string& folder) {
    std::map<std::string, std::string> out;
    for (const auto& n : testutil::ListTree(folder))
        out[LowerCase(n)] = folder + "/" + n;
    return out;
}

// A source tree: an empty file, text, incompressible data, names in folders, many small
// files and, when asked, one file over 8 MiB.
struct Sources {
    ScratchDir dir;
    std::map<std::string, Bytes> files; // relative name -> contents

    explicit Sources(bool big) {
        put("empty.txt", {});
        put("recipes.txt", testutil::TextData(50000, 1));
        put("noise.bin", testutil::RandomData(30000, 2));
        put("sub/dir/deep.txt", testutil::TextData(7000, 3));
        for (int i = 0; i < 40; ++i)
            put("many/f" + std::to_string(i) + ".txt", testutil::TextData(100 + 37 * i, 10 + i));
        if (big) {
            Bytes b = testutil::TextData(8 * 1024 * 1024 + 4321, 99);
            for (std::size_t i = 0; i < b.size(); i += 4099)
                b[i] = static_cast<uint8_t>(i >> 7);
            put("big.dat", std::move(b));
        }
    }
    void put(const std::string& name, Bytes b) {
        testutil::WriteFile(dir / ("src/" + name), b);
        files[name] = std::move(b);
    }
    std::vector<std::string> paths() const {
        std::vector<std::string> out;
        for (const auto& [name, _] : files)
            out.push_back(dir / ("src/" + name));
        return out;
    }
};

// The name an entry is stored under: level 1 keeps folders, level 0 keeps the file name.
std::string ExpectedName(const std::string& rel, TLhaArchiveType type) {
    return LowerCase(type == caLHA ? rel : fu::ExtractFileName(rel));
}

void CompressInto(const Sources& s, const std::string& archive, TLhaMethod method,
                  TLhaArchiveType type) {
    TLhaArchive lha;
    lha.ArchiveName = archive;
    lha.CompressionMethod = method;
    lha.ArchiveType = type;
    lha.StorePath = type == caLHA;
    lha.SetTargetPath(s.dir / "src");
    lha.FilesToProcess = s.paths();
    lha.Compress();
    ASSERT_EQ(lha.FilesProcessed.size(), s.files.size());
}

void ExpectExtracted(const Sources& s, const std::string& folder, TLhaArchiveType type) {
    const auto got = TreeByLowerName(folder);
    EXPECT_EQ(got.size(), s.files.size());
    for (const auto& [rel, bytes] : s.files) {
        auto it = got.find(ExpectedName(rel, type));
        if (it == got.end()) {
            ADD_FAILURE() << "not extracted: " << rel;
            continue;
        }
        EXPECT_TRUE(testutil::ReadFile(it->second) == bytes) << rel;
    }
}

TEST(InteropLhasa, TestsAndExtractsOurArchives) {
    if (!HaveTool("lhasa")) GTEST_SKIP() << "lhasa is not installed";
    struct Case {
        TLhaMethod method;
        TLhaArchiveType type;
        bool big;
    };
    // The file over 8 MiB goes through two combinations only, to keep the run short.
    const Case cases[] = {{colh0, caLHARC, false}, {colh0, caLHA, true},   {colh1, caLHARC, false},
                          {colh1, caLHA, false},   {colh5, caLHARC, true}, {colh5, caLHA, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "method " << int(c.method) << " level " << int(c.type));
        Sources s(c.big);
        const std::string archive = s.dir / "ours.lzh";
        CompressInto(s, archive, c.method, c.type);

        const RunResult t = run("lhasa tq " + quote(archive));
        EXPECT_EQ(t.status, 0) << t.output;
        EXPECT_EQ(t.output.find("rror"), std::string::npos) << t.output;
        const RunResult x =
            run("cd " + quote(s.dir.path()) + " && lhasa xqw=out " + quote(archive));
        ASSERT_EQ(x.status, 0) << x.output;
        ExpectExtracted(s, s.dir / "out", c.type);
    }
}

TEST(Interop7Zip, TestsAndExtractsOurArchives) {
    if (!HaveTool("7z")) GTEST_SKIP() << "7z is not installed";
    for (TLhaMethod method : {colh0, colh5}) {
        for (TLhaArchiveType type : {caLHARC, caLHA}) {
            SCOPED_TRACE(testing::Message() << "method " << int(method) << " level " << int(type));
            Sources s(false);
            const std::string archive = s.dir / "ours.lzh";
            CompressInto(s, archive, method, type);
            const RunResult t = run("7z t " + quote(archive));
            EXPECT_EQ(t.status, 0) << t.output;
            EXPECT_NE(t.output.find("Everything is Ok"), std::string::npos) << t.output;
            const RunResult x = run("7z x -y -o" + quote(s.dir / "out") + " " + quote(archive));
            ASSERT_EQ(x.status, 0) << x.output;
            ExpectExtracted(s, s.dir / "out", type);
        }
    }
}

TEST(InteropJlha, Level0ArchivesExpandWithOurEngine) {
    if (!HaveTool("jlha")) GTEST_SKIP() << "jlha is not installed";
    struct Case {
        const char* options;
        TLhaMethod method;
    };
    for (const Case& c : {Case{"a0z", colh0}, Case{"a0o5", colh5}}) {
        SCOPED_TRACE(c.options);
        ScratchDir dir;
        std::map<std::string, Bytes> files = {{"a.txt", testutil::TextData(40000, 5)},
                                              {"b.txt", testutil::TextData(70000, 6)},
                                              {"c.bin", testutil::TextData(3000, 7)}};
        for (const auto& [name, bytes] : files)
            testutil::WriteFile(dir / ("src/" + name), bytes);
        const RunResult made = run("cd " + quote(dir / "src") + " && jlha " + c.options +
                                   " ../j.lzh a.txt b.txt c.bin");
        ASSERT_EQ(made.status, 0) << made.output;

        TLhaArchive lha;
        lha.ArchiveName = dir / "j.lzh";
        ASSERT_TRUE(lha.Scan());
        ASSERT_EQ(lha.FileList.size(), 3u);
        for (const auto& info : lha.FileInformation) {
            EXPECT_EQ(info.Method, c.method);
            EXPECT_EQ(info.HeaderLevel, 0);
        }
        lha.SetTargetPath(dir / "out");
        lha.MakeDirectories = true;
        lha.Expand();
        ASSERT_EQ(lha.FilesProcessed.size(), 3u);
        const auto got = TreeByLowerName(dir / "out");
        for (const auto& [name, bytes] : files) {
            ASSERT_TRUE(got.count(name)) << name;
            EXPECT_TRUE(testutil::ReadFile(got.at(name)) == bytes) << name;
        }
        lha.Verify();
    }
}

TEST(InteropJlha, Level1WithForeignOsIdIsRefused) {
    if (!HaveTool("jlha")) GTEST_SKIP() << "jlha is not installed";
    ScratchDir dir;
    testutil::WriteFile(dir / "src/a.txt", testutil::TextData(5000));
    const RunResult made = run("cd " + quote(dir / "src") + " && jlha a1o5 ../j1.lzh a.txt");
    ASSERT_EQ(made.status, 0) << made.output;
    TLhaArchive lha;
    lha.ArchiveName = dir / "j1.lzh";
    try {
        lha.Scan();
        ADD_FAILURE() << "accepted";
    } catch (const ELhaInvalidHeader& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Unsupported OS mode in archive: ", 0), 0u)
            << e.what();
    }
}

// --- larderly-cli ---

std::string CliPath() {
    return std::string(LARDERLY_BIN_DIR) + "/larderly-cli";
}

TEST(InteropCli, LhaCommands) {
    if (!fu::FileExists(CliPath())) GTEST_SKIP() << "larderly-cli is not built";
    ScratchDir dir;
    testutil::WriteFile(dir / "data/one.txt", testutil::TextData(9000, 1));
    testutil::WriteFile(dir / "data/two.txt", testutil::TextData(100, 2));
    const std::string cli = quote(CliPath());
    const std::string archive = quote(dir / "x.lzh");

    RunResult r = run("cd " + quote(dir.path()) + " && " + cli +
                      " lha a x.lzh --level 1 --store-path data/one.txt data/two.txt");
    ASSERT_EQ(r.status, 0) << r.output;
    r = run(cli + " lha l " + archive);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("data/one.txt\t"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("\t9000\t-lh5-\t"), std::string::npos) << r.output;
    r = run(cli + " lha t " + archive);
    EXPECT_EQ(r.status, 0) << r.output;
    r = run(cli + " lha x " + archive + " -C " + quote(dir / "out"));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(testutil::ReadFile(dir / "out/data/one.txt"), testutil::TextData(9000, 1));

    // A damaged archive fails with the engine's message.
    Bytes bytes = testutil::ReadFile(dir / "x.lzh");
    bytes[1] ^= 0x5A;
    testutil::WriteFile(dir / "bad.lzh", bytes);
    r = run(cli + " lha t " + quote(dir / "bad.lzh"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("Bad checksum in LHA archive header: "), std::string::npos) << r.output;
    r = run(cli + " lha a " + archive + " " + quote(dir / "missing.txt"));
    EXPECT_EQ(r.status, 1) << r.output;
}

TEST(InteropCli, SegCommands) {
    if (!fu::FileExists(CliPath())) GTEST_SKIP() << "larderly-cli is not built";
    ScratchDir dir;
    testutil::WriteFile(dir / "data/tbl101.nx1", testutil::RandomData(20000, 1));
    testutil::WriteFile(dir / "data/tbl102.nx1", testutil::TextData(30000, 2));
    const std::string cli = quote(CliPath());
    const std::string set = " --dir " + quote(dir / "set") + " --base recipebackup --size 8192";
    RunResult r = run(cli + " seg a" + set + " " + quote(dir / "data/tbl101.nx1") + " " +
                      quote(dir / "data/tbl102.nx1"));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(fu::FileExists(dir / "set/recipebackup.003"));
    r = run(cli + " seg l" + set);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("TBL102.NX1\t"), std::string::npos) << r.output;
    r = run(cli + " seg x" + set + " -C " + quote(dir / "out") + " tbl102.nx1");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(testutil::ListTree(dir / "out"), std::vector<std::string>{"TBL102.NX1"});
    EXPECT_EQ(testutil::ReadFile(dir / "out/TBL102.NX1"), testutil::TextData(30000, 2));

    // A missing segment is reported and cancels.
    fu::RemoveFile(dir / "set/recipebackup.002");
    r = run(cli + " seg x" + set + " -C " + quote(dir / "out2"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("Unable to locate selected segment file."), std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("Operation cancelled"), std::string::npos) << r.output;
}

} // namespace
} // namespace larderly
