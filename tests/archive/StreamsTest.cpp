// The write-behind stream: bytes arrive whole and in order, and a target that stops taking
// them is reported as a write error, never as success.
#include "archive/Streams.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace larderly {
namespace {

std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i * 131 + i / 251);
    return v;
}

// A memory target that stores at most `room` bytes; the write that would pass it stores
// nothing.
class FullTarget : public TMemoryStream {
public:
    explicit FullTarget(int64_t room) : room_(room) {}
    int64_t Write(const void* buffer, int64_t count) override {
        if (Size() + count > room_) return 0;
        return TMemoryStream::Write(buffer, count);
    }

private:
    int64_t room_;
};

TEST(WriteBehindStream, StoresEveryByteInOrder) {
    struct Case {
        int64_t block;
        std::vector<int64_t> writes;
    } cases[] = {
        {1 << 20, {8192, 8192, 8192, 100}},   // less than one block: all at the flush
        {4096, {8192, 1, 4095, 4096, 12345}}, // writes larger than, across and on blocks
        {1, {3, 0, 5}},                       // a block per byte
        {65536, {}},                          // nothing at all
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.block);
        int64_t total = 0;
        for (int64_t w : c.writes)
            total += w;
        const std::vector<uint8_t> data = Pattern(static_cast<size_t>(total));
        TMemoryStream target;
        {
            TWriteBehindStream behind(target, c.block);
            int64_t at = 0;
            for (int64_t w : c.writes) {
                behind.WriteBuffer(data.data() + at, w);
                at += w;
                EXPECT_EQ(behind.Position(), at);
            }
            behind.Flush();
            EXPECT_EQ(target.Bytes(), data);
            // After a flush the stream reads and moves like its target.
            EXPECT_EQ(behind.Size(), total);
            behind.WriteBuffer(data.data(), std::min<int64_t>(total, 7));
        }
        EXPECT_EQ(target.Size(), total + std::min<int64_t>(total, 7)) << "lost at the end";
    }
}

TEST(WriteBehindStream, FullTargetIsAWriteError) {
    const std::vector<uint8_t> data = Pattern(1 << 20);
    for (int64_t room : {int64_t{0}, int64_t{5000}, int64_t{(1 << 20) - 1}}) {
        SCOPED_TRACE(room);
        FullTarget target(room);
        TWriteBehindStream behind(target, 4096);
        // The failure shows at a later write or at the flush at the latest.
        EXPECT_THROW(
            {
                for (size_t at = 0; at < data.size(); at += 8192)
                    behind.WriteBuffer(data.data() + at, 8192);
                behind.Flush();
            },
            EWriteError);
        EXPECT_LE(target.Size(), room);
        EXPECT_EQ(behind.Write(data.data(), 1), 0);
    }
}

} // namespace
} // namespace larderly
