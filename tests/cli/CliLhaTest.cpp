// larderly-cli lha on files that are not archives, and a failed extraction: a message and
// status 1, and no partial file left behind.
#include "RunCommand.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>

namespace {

using larderly::testing::BuiltProgram;
using larderly::testing::RunCommand;

class CliLha : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/larderly-lha-XXXXXX";
        dir_ = mkdtemp(tmpl);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(Path(name), std::ios::binary) << bytes;
    }
    larderly::testing::CommandResult Lha(const std::string& args) const {
        return RunCommand("cd " + dir_ + " && " + BuiltProgram("larderly-cli") + " lha " + args);
    }
    std::string dir_;
};

TEST_F(CliLha, FilesWithoutOneReadableEntryAreRefused) {
    struct Case {
        const char* name;
        std::string bytes;
        bool archive; // an empty archive: nothing to list, and no error
    } cases[] = {
        {"short.txt", "hello, a short text\n", false},
        {"one.txt", "x", false},
        {"empty.lzh", std::string(1, '\0'), true},
        {"nothing.lzh", "", true},
    };
    for (const Case& c : cases) {
        Write(c.name, c.bytes);
        for (const char* action : {"l", "t", "x"}) {
            SCOPED_TRACE(std::string(action) + " " + c.name);
            const auto r = Lha(std::string(action) + " " + c.name + " -C out");
            EXPECT_EQ(r.status, c.archive ? 0 : 1) << r.out;
            if (!c.archive)
                EXPECT_EQ(r.out, std::string(c.name) +
                                     " is not an LHA archive: no entry can be read from it. Check "
                                     "that it is the right file.\n");
        }
    }
    EXPECT_FALSE(std::filesystem::exists(Path("out")));
}

TEST_F(CliLha, AFailedExtractionLeavesNoPartialFile) {
    std::string big;
    for (int i = 0; i < 4000; ++i)
        big += std::to_string(i * 7919 % 10007) + (i % 13 ? " " : "\n");
    Write("a.txt", big);
    ASSERT_EQ(Lha("a arc.lzh a.txt --method lh0").status, 0);
    std::string arc;
    {
        std::ifstream in(Path("arc.lzh"), std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        arc = s.str();
    }
    arc[arc.size() / 2] ^= 0x20; // a byte of the entry's data
    Write("arc.lzh", arc);
    std::filesystem::create_directory(Path("out"));
    const auto r = Lha("x arc.lzh -C out");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Bad CRC"), std::string::npos) << r.out;
    EXPECT_TRUE(std::filesystem::is_empty(Path("out")));
}

TEST_F(CliLha, AddingWritesNoArchiveThroughALinkOrIntoAPipe) {
    Write("a.txt", "text");
    Write("pointee", "keep");
    std::filesystem::create_symlink("pointee", Path("link.lzh"));
    ASSERT_EQ(::mkfifo(Path("fifo.lzh").c_str(), 0644), 0);
    for (const char* name : {"link.lzh", "fifo.lzh"}) {
        const auto r = Lha(std::string("a ") + name + " a.txt");
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find(std::string("Cannot write ") + name + ": it is a"), std::string::npos)
            << r.out;
    }
    std::ifstream in(Path("pointee"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep");
}

} // namespace
