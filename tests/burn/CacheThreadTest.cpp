// The read-ahead cache: block order and contents, padding to the minimum track, stopping,
// files that shrank or vanished.
#include "burn/CacheThread.h"
#include "burn/Image.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace larderly;
using namespace std::chrono_literals;

namespace {

class CacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/larderly-cache-XXXXXX";
        Dir = mkdtemp(tmpl);
    }
    void TearDown() override { fs::remove_all(Dir); }

    // A file whose bytes tell their position and file (seed).
    std::string MakeFile(const std::string& name, size_t size, int seed) {
        std::string data(size, '\0');
        for (size_t i = 0; i < size; ++i)
            data[i] = char((i * 7 + size_t(seed) * 31 + i / 251) & 0xFF);
        fs::path p = fs::path(Dir) / name;
        std::ofstream(p, std::ios::binary) << data;
        return p.string();
    }
    static std::string ReadAll(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static void PadToSector(std::string& s) { s.resize((s.size() + 2047) / 2048 * 2048, '\0'); }

    // A header stream of `sectors` sectors of recognisable bytes.
    void MakeHeader(int sectors) {
        Header.SetSize(0);
        std::string h(size_t(sectors) * 2048, '\0');
        for (size_t i = 0; i < h.size(); ++i)
            h[i] = char(0x80 | (i % 97));
        Header.Write(h.data(), int64_t(h.size()));
        Expected = h;
    }
    void AddToTable(const std::string& path) {
        TFEntry e;
        e.SourcePath = path;
        e.IsoSize = int64_t(fs::file_size(path));
        Table.push_back(e);
        std::string d = ReadAll(path);
        PadToSector(d);
        Expected += d;
    }
    int64_t TrackLength() const { return int64_t(Expected.size()); }

    struct Drained {
        std::string Data;
        std::vector<int> Sizes;
    };
    Drained Drain(TCacheThread& c) {
        Drained out;
        std::vector<uint8_t> buf(kCacheBlockCapacity);
        for (;;) {
            int n;
            {
                std::lock_guard<std::recursive_mutex> g(Lock);
                n = c.GetBlock(buf.data());
            }
            if (n == 0) break;
            if (n < 0) {
                std::this_thread::sleep_for(1ms);
                continue;
            }
            out.Data.append(reinterpret_cast<const char*>(buf.data()), size_t(n));
            out.Sizes.push_back(n);
        }
        return out;
    }
    static void WaitFor(const std::function<bool()>& cond) {
        for (int i = 0; i < 5000 && !cond(); ++i)
            std::this_thread::sleep_for(1ms);
        ASSERT_TRUE(cond());
    }

    std::string Dir;
    std::recursive_mutex Lock;
    TMemoryStreamEx Header;
    std::vector<TFEntry> Table;
    std::string Expected;
};

TEST_F(CacheTest, ShortTrackIsPaddedToTheMinimumAndReadyOnlyWhenAllIsQueued) {
    MakeHeader(150);
    AddToTable(MakeFile("a.bin", 5000, 1));
    AddToTable(MakeFile("b.bin", 3, 2)); // starts on the sector after a.bin, same block
    TCacheThread c(4194304, Lock, kCdBlockSize, true, "", 0, TrackLength(), Header, Table);
    WaitFor([&] { return c.Ready(); });
    EXPECT_EQ(c.CachedBytes(), kMinTrackBytes);
    EXPECT_EQ(c.BytesToDeliver(), kMinTrackBytes);
    EXPECT_EQ(Header.Size(), 0); // the header is released once read
    Drained d = Drain(c);
    ASSERT_EQ(d.Data.size(), size_t(kMinTrackBytes));
    EXPECT_EQ(d.Data.substr(0, Expected.size()), Expected);
    EXPECT_EQ(d.Data.find_first_not_of('\0', Expected.size()), std::string::npos);
    // 150 sectors of header + 3 + 1 of files = 154 sectors: five full blocks, then 19 sectors;
    // the padding of 146 sectors comes as blocks of 27 sectors, the last one shorter.
    std::vector<int> sizes(5, kCdBlockSize);
    sizes.push_back(19 * 2048);
    for (int i = 0; i < 5; ++i)
        sizes.push_back(kCdBlockSize);
    sizes.push_back(11 * 2048);
    EXPECT_EQ(d.Sizes, sizes);
    WaitFor([&] { return c.Done(); });
    EXPECT_EQ(c.ErrorText(), "");
    EXPECT_EQ(c.CachedBytes(), 0);
}

TEST_F(CacheTest, BlockOrderFollowsTheFileTable) {
    struct Case {
        const char* name;
        int headerSectors;
        std::vector<size_t> files; // sizes; 0 = an empty file
        bool postGap;
        int blockSize;
    } cases[] = {
        {"no padding when the track is long", 300, {4096, 1}, true, kCdBlockSize},
        {"no padding without post-gap", 25, {100}, false, kCdBlockSize},
        {"empty file changes nothing", 27, {2049, 0, 2047}, false, kCdBlockSize},
        {"header ends on a block boundary", 54, {70000, 1, 55296}, false, kCdBlockSize},
        {"DVD blocks", 33, {65536 * 2 + 5, 2048}, false, kDvdBlockSize},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        Table.clear();
        MakeHeader(k.headerSectors);
        int i = 0;
        for (size_t sz : k.files)
            AddToTable(MakeFile("f" + std::to_string(i), sz, i)), ++i;
        TFEntry dir; // directories carry no data
        dir.Directory = 1;
        dir.IsoSize = 2048;
        Table.insert(Table.begin() + 1, dir);
        TCacheThread c(4194304, Lock, k.blockSize, k.postGap, "", 0, TrackLength(), Header, Table);
        Drained d = Drain(c);
        EXPECT_EQ(d.Data.size(), Expected.size());
        EXPECT_TRUE(d.Data == Expected);
        for (size_t b = 0; b + 1 < d.Sizes.size(); ++b)
            EXPECT_EQ(d.Sizes[b], k.blockSize);
        EXPECT_EQ(d.Sizes.back() % 2048, 0);
    }
}

TEST_F(CacheTest, RefillsWhileTheWriterTakes) {
    // 6 MB through a 2 MiB cache: the producer waits while full and goes on as blocks go.
    MakeHeader(150);
    AddToTable(MakeFile("big.bin", 6000000, 3));
    AddToTable(MakeFile("small.bin", 10, 4));
    TCacheThread c(2097152, Lock, kCdBlockSize, true, "", 0, TrackLength(), Header, Table);
    WaitFor([&] { return c.Ready(); });
    EXPECT_EQ(c.QueuedBlocks(), c.Capacity() - 1);
    EXPECT_EQ(c.PriorityLevel(), 0); // idle while the queue is full
    Drained d = Drain(c);
    EXPECT_TRUE(d.Data == Expected);
    EXPECT_EQ(c.CurrentFile(), Table.back().SourcePath);
}

TEST_F(CacheTest, BlocksHandedOverAndRecycledKeepTheirContents) {
    // The writer's way: the block itself is taken and given back for reuse, and the writer
    // waits for the cache's announcements only (a missed one would stall this drain). Reused
    // blocks must never carry bytes of an earlier block, also for the short last ones.
    MakeHeader(150);
    AddToTable(MakeFile("big.bin", 5000000, 5));
    AddToTable(MakeFile("odd.bin", 70001, 6));
    AddToTable(MakeFile("tiny.bin", 3, 7));
    TCacheThread c(2097152, Lock, kCdBlockSize, true, "", 0, TrackLength(), Header, Table);
    std::string data;
    for (;;) {
        const uint64_t seen = c.ChangeCount();
        std::unique_ptr<TCacheBlock> block;
        int n;
        {
            std::lock_guard<std::recursive_mutex> g(Lock);
            n = c.TakeBlock(block);
        }
        if (n == 0) break;
        if (n < 0) {
            c.WaitForChange(seen, 60000);
            continue;
        }
        data.append(reinterpret_cast<const char*>(block->Data), size_t(n));
        std::memset(block->Data, 0xEE, kCacheBlockCapacity); // what a stale reuse would show
        c.RecycleBlock(std::move(block));
    }
    EXPECT_TRUE(data == Expected);
}

TEST_F(CacheTest, StopWhileFullFreesTheQueue) {
    for (std::string preset : {"", "WRITER ERROR [03 0C 00]"}) {
        Table.clear();
        MakeHeader(16);
        AddToTable(MakeFile("big.bin", 5000000, 5));
        TCacheThread c(2097152, Lock, kCdBlockSize, true, "", 0, TrackLength(), Header, Table);
        WaitFor([&] { return c.Ready(); });
        if (!preset.empty()) c.SetErrorText(preset);
        c.Stop();
        WaitFor([&] { return c.Done(); });
        c.WaitFor();
        EXPECT_EQ(c.QueuedBlocks(), 0);
        EXPECT_EQ(c.ErrorText(), preset.empty() ? "OPERATION ABORTED BY USER" : preset);
        std::vector<uint8_t> buf(kCacheBlockCapacity);
        std::lock_guard<std::recursive_mutex> g(Lock);
        EXPECT_EQ(c.GetBlock(buf.data()), 0);
    }
}

TEST_F(CacheTest, FileThatShrankKeepsItsRecordedSize) {
    MakeHeader(20);
    std::string a = MakeFile("a.bin", 10000, 6);
    AddToTable(a);
    AddToTable(MakeFile("b.bin", 3000, 7));
    // a.bin loses its tail after it was laid out; b.bin must stay where the layout put it.
    fs::resize_file(a, 3000);
    std::string shrunk = Expected;
    std::fill(shrunk.begin() + 20 * 2048 + 3000, shrunk.begin() + 20 * 2048 + 10240, '\0');
    TCacheThread c(4194304, Lock, kCdBlockSize, true, "", 0, TrackLength(), Header, Table);
    Drained d = Drain(c);
    ASSERT_EQ(d.Data.size(), size_t(kMinTrackBytes));
    EXPECT_TRUE(d.Data.substr(0, shrunk.size()) == shrunk);
    EXPECT_EQ(c.ErrorText(), "");
}

TEST_F(CacheTest, MissingFileEndsTheCacheWithItsName) {
    MakeHeader(20);
    AddToTable(MakeFile("a.bin", 100, 8));
    std::string gone = MakeFile("gone.bin", 100, 9);
    AddToTable(gone);
    fs::remove(gone);
    TCacheThread c(4194304, Lock, kCdBlockSize, true, "", 0, TrackLength(), Header, Table);
    WaitFor([&] { return c.Done(); });
    EXPECT_EQ(c.ErrorText(),
              "CAN'T OPEN FILE \"" + gone + "\" OR FILE IS IN USES BY OTHER SOFTWARE");
    EXPECT_FALSE(c.Ready());
    EXPECT_EQ(c.CurrentFile(), gone);
}

TEST_F(CacheTest, ImageAndCacheAgreeOnEveryExtent) {
    TDiscImage img;
    std::vector<std::string> files = {MakeFile("recipebackup.001", 123457, 10),
                                      MakeFile("empty", 0, 11), MakeFile("tail.txt", 2048, 12)};
    img.ForceImageDir("/sub");
    for (const auto& f : files)
        ASSERT_EQ(img.AddFile("/", f, false), 1);
    const uint32_t nwa = 3000;
    img.LayoutImage(nwa);
    img.BuildImageHeader();
    std::string header(img.HeaderStream().Data().begin(), img.HeaderStream().Data().end());
    int64_t track = int64_t(img.Layout().VolumeSize - nwa) * 2048;
    TCacheThread c(4194304, Lock, kCdBlockSize, img.WritePostGap, "", 0, track, img.HeaderStream(),
                   img.FileTable());
    Drained d = Drain(c);
    ASSERT_EQ(d.Data.size(), size_t(img.TrackSectors()) * 2048);
    EXPECT_TRUE(d.Data.substr(0, header.size()) == header);
    for (const TFEntry& e : img.FileTable()) {
        if (e.IsDirectory() || e.IsoSize == 0) continue;
        size_t at = size_t(img.Layout().FirstFileLocation + e.IsoExtent - nwa) * 2048;
        EXPECT_TRUE(d.Data.substr(at, size_t(e.IsoSize)) == ReadAll(e.SourcePath)) << e.SourcePath;
    }
}

} // namespace
