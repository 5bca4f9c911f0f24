// The 64-bit streams the cache reads files and the header through.
#include "burn/StreamEx.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace larderly;

namespace {

class StreamExTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/larderly-stream-XXXXXX";
        Dir = mkdtemp(tmpl);
    }
    void TearDown() override { fs::remove_all(Dir); }
    std::string Dir;
};

TEST_F(StreamExTest, FileStreamBeyond4GiB) {
    std::string path = Dir + "/s.bin";
    {
        TFileStreamEx s(path, fmCreate);
        EXPECT_EQ(s.Write("abc", 3), 3);
        const int64_t far = 5000000000LL; // past 32-bit positions, the file stays sparse
        EXPECT_EQ(s.Seek(far, 0), far);
        EXPECT_EQ(s.Write("z", 1), 1);
        EXPECT_EQ(s.Size(), far + 1);
        EXPECT_EQ(s.Position(), far + 1); // Size() goes back to where it was
        EXPECT_EQ(s.Seek(-1, 2), far);
        char c = 0;
        EXPECT_EQ(s.Read(&c, 1), 1);
        EXPECT_EQ(c, 'z');
        EXPECT_EQ(s.Read(&c, 1), 0); // at the end
        s.SetSize(2);
        EXPECT_EQ(s.Size(), 2);
    }
    EXPECT_EQ(fs::file_size(path), 2u);
    // Creating again truncates; opening read-only keeps the contents.
    {
        TFileStreamEx r(path, fmOpenRead | fmShareDenyNone);
        char buf[8] = {};
        EXPECT_EQ(r.Read(buf, 8), 2);
        EXPECT_EQ(std::string(buf, 2), "ab");
        EXPECT_EQ(r.Write("x", 1), 0); // read-only: no bytes written, no exception
        EXPECT_NE(r.LastError(), 0);
    }
    { TFileStreamEx c(path, fmCreate); }
    EXPECT_EQ(fs::file_size(path), 0u);
}

TEST_F(StreamExTest, OpeningFailuresNameTheFile) {
    try {
        TFileStreamEx s(Dir + "/missing.bin", fmOpenRead);
        FAIL() << "opened a missing file";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("missing.bin"), std::string::npos);
    }
    std::string path = Dir + "/locked.bin";
    std::ofstream(path) << "x";
    TFileStreamEx first(path, fmOpenRead | fmShareExclusive);
    EXPECT_THROW(TFileStreamEx(path, fmOpenRead | fmShareExclusive), std::runtime_error);
    TFileStreamEx shared(path, fmOpenRead | fmShareDenyNone); // not blocked by the lock
    EXPECT_EQ(shared.Size(), 1);
}

TEST_F(StreamExTest, MemoryStream) {
    TMemoryStreamEx m;
    EXPECT_EQ(m.Size(), 0);
    EXPECT_EQ(m.Seek(10, 0), 10);
    EXPECT_EQ(m.Write("ab", 2), 2); // the gap reads as zeros
    EXPECT_EQ(m.Size(), 12);
    m.SetPosition(8);
    char buf[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    EXPECT_EQ(m.Read(buf, 8), 4);
    EXPECT_EQ(std::string(buf, 4), std::string("\0\0ab", 4));
    EXPECT_EQ(m.Seek(-1, 0), -1);
    m.SetSize(0);
    EXPECT_EQ(m.Size(), 0);
    EXPECT_EQ(m.Position(), 0);
    EXPECT_EQ(m.Data().capacity(), 0u); // memory released
}

} // namespace
