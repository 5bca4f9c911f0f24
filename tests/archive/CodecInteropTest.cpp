// Our -lh5- and -lh1- streams, wrapped in a minimal level-0 archive, must be read by the
// external LHA tools; streams those tools write must expand with our decoders.
#include "CodecTestUtil.h"
#include "archive/Crc16.h"
#include "archive/LhaCodec.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace larderly {
namespace {

using namespace testutil;
namespace fs = std::filesystem;

bool HaveTool(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

int Shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str());
}

class CodecInterop : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "larderly-codec-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        FDir = tmpl;
    }
    void TearDown() override { fs::remove_all(FDir); }

    // Codes `data` with `method`, writes a one-entry archive and returns its path.
    std::string MakeArchive(const std::string& name, TLhaMethod method, const Bytes& data) {
        const Coded packed = Compress(method, data);
        EXPECT_EQ(packed.result.Method, method);
        const std::string path = (FDir / (name + ".lzh")).string();
        WriteFile(path, Level0Archive(name, method, packed.data, static_cast<uint32_t>(data.size()),
                                      packed.result.CheckValue));
        return path;
    }

    static std::vector<std::pair<std::string, Bytes>> Samples() {
        Bytes binary;
        // Sparse bytes: long zero runs in the code lengths of every kind.
        for (int i = 0; i < 40000; ++i)
            binary.push_back(static_cast<uint8_t>((i * 7) % 13 == 0 ? i % 251 : 0));
        Bytes mixed = EnglishText(120000, 11);
        const Bytes noise = RandomBytes(5000, 3);
        mixed.insert(mixed.begin() + 50000, noise.begin(), noise.end());
        return {{"text.txt", EnglishText(300000)},
                {"equal.bin", Bytes(100000, 'x')},
                {"sparse.bin", binary},
                {"mixed.txt", mixed}};
    }

    fs::path FDir;
};

TEST_F(CodecInterop, LhasaExtractsOurStreams) {
    if (!HaveTool("lhasa")) GTEST_SKIP() << "lhasa not installed";
    auto samples = Samples();
    // A file that starts with spaces: its first match reaches into the spaces the ring
    // starts with, which lhasa's ring holds as well.
    Bytes spaced(100, ' ');
    for (int i = 0; i < 50; ++i)
        spaced.insert(spaced.end(), {'a', 'b', 'c'});
    samples.emplace_back("spaces.txt", spaced);
    for (TLhaMethod method : {colh5, colh1}) {
        for (const auto& [name, data] : samples) {
            SCOPED_TRACE(name + " " + std::string(LhaMethodId(method)));
            const std::string arc = MakeArchive(name, method, data);
            EXPECT_EQ(Shell("lhasa t '" + arc + "'"), 0);
            const fs::path out = FDir / ("lha-" + std::to_string(method));
            fs::create_directories(out);
            EXPECT_EQ(Shell("cd '" + out.string() + "' && lhasa xq '" + arc + "'"), 0);
            ASSERT_TRUE(fs::exists(out / name));
            EXPECT_TRUE(ReadFile((out / name).string()) == data);
        }
    }
}

// 7z reads -lh5- (it has no -lh1- decoder).
TEST_F(CodecInterop, SevenZipExtractsOurStreams) {
    if (!HaveTool("7z")) GTEST_SKIP() << "7z not installed";
    for (TLhaMethod method : {colh5}) {
        for (const auto& [name, data] : Samples()) {
            SCOPED_TRACE(name + " " + std::string(LhaMethodId(method)));
            const std::string arc = MakeArchive(name, method, data);
            const fs::path out = FDir / ("7z-" + std::to_string(method));
            EXPECT_EQ(Shell("7z x -y '-o" + out.string() + "' '" + arc + "'"), 0);
            ASSERT_TRUE(fs::exists(out / name));
            EXPECT_TRUE(ReadFile((out / name).string()) == data);
        }
    }
}

// jlha writes level-0 -lh5- archives on request; its streams expand with our decoder.
TEST_F(CodecInterop, OurDecoderExpandsJlhaStreams) {
    if (!HaveTool("jlha")) GTEST_SKIP() << "jlha not installed";
    for (const auto& [option, method] : {std::pair{"o5", colh5}}) {
        for (const auto& [name, data] : Samples()) {
            SCOPED_TRACE(name + " " + option);
            WriteFile((FDir / name).string(), data);
            const std::string arc = (FDir / (name + option + ".lzh")).string();
            ASSERT_EQ(Shell("cd '" + FDir.string() + "' && jlha a0" + option + "q '" + arc + "' '" +
                            name + "'"),
                      0);
            const Bytes a = ReadFile(arc);
            ASSERT_GT(a.size(), 24u);
            const size_t dataStart = 2 + a[0];
            auto get32 = [&a](size_t at) {
                return static_cast<uint32_t>(a[at] | a[at + 1] << 8 | a[at + 2] << 16 |
                                             static_cast<uint32_t>(a[at + 3]) << 24);
            };
            const uint32_t packedSize = get32(7);
            const uint32_t size = get32(11);
            const std::string id(a.begin() + 2, a.begin() + 7);
            ASSERT_EQ(size, data.size());
            if (id == "-lh0-") continue; // jlha stored it
            ASSERT_EQ(id, LhaMethodId(method));
            const uint16_t crc = static_cast<uint16_t>(a[dataStart - 2] | a[dataStart - 1] << 8);
            const Bytes packed(a.begin() + dataStart, a.begin() + dataStart + packedSize);
            const Coded plain = Expand(method, packed, size);
            EXPECT_EQ(plain.result.CheckValue, crc);
            EXPECT_TRUE(plain.data == data);
        }
    }
}

} // namespace
} // namespace larderly
