// CRC-16 check values and the scrambling key.
#include "archive/Crc16.h"
#include "archive/LhaCodec.h"

#include <gtest/gtest.h>

#include <string>

namespace larderly {
namespace {

TEST(CodecCrc, KnownCheckValues) {
    struct Case {
        std::string data;
        uint16_t crc;
    };
    const Case cases[] = {
        {"", 0x0000},
        {"123456789", 0xBB3D},
        {"A", 0x30C0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Crc16(0, c.data.data(), c.data.size()), c.crc) << c.data;
}

TEST(CodecCrc, RunningValueEqualsWholeBlock) {
    const std::string s = "The quick brown fox jumps over the lazy dog";
    uint16_t crc = 0;
    for (char ch : s)
        crc = Crc16Update(crc, static_cast<uint8_t>(ch));
    EXPECT_EQ(crc, Crc16(0, s.data(), s.size()));
    EXPECT_EQ(crc, Crc16(Crc16(0, s.data(), 10), s.data() + 10, s.size() - 10));

    // Blocks are added eight bytes a step: every length and alignment around that step
    // gives the byte-at-a-time value.
    std::string bytes;
    for (int i = 0; i < 300; ++i)
        bytes.push_back(static_cast<char>(i * 37 + (i >> 3)));
    for (size_t start : {0, 1, 3, 7}) {
        for (size_t n = 0; n + start <= bytes.size(); n += (n < 40 ? 1 : 53)) {
            uint16_t one = 0x1234;
            for (size_t i = 0; i < n; ++i)
                one = Crc16Update(one, static_cast<uint8_t>(bytes[start + i]));
            EXPECT_EQ(Crc16(0x1234, bytes.data() + start, n), one) << start << " " << n;
        }
    }
}

TEST(CodecCrc, KeyFromPassword) {
    EXPECT_EQ(TLhaCodecState::KeyFromPassword(""), 0u);
    EXPECT_EQ(TLhaCodecState::KeyFromPassword("A"), 65u);
    EXPECT_EQ(TLhaCodecState::KeyFromPassword("AB"), 65u * 66u);
    // The product wraps at 32 bits.
    uint32_t h = 'z';
    for (int i = 0; i < 9; ++i)
        h *= static_cast<uint32_t>('z');
    EXPECT_EQ(TLhaCodecState::KeyFromPassword(std::string(10, 'z')), h);
    // A product of 0 would mean no scrambling; such passwords get a fixed key instead.
    EXPECT_EQ(TLhaCodecState::KeyFromPassword(std::string(1, '\0')), 0x5B2D7C19u);
    EXPECT_EQ(TLhaCodecState::KeyFromPassword(std::string(32, '\x80')), 0x5B2D7C19u);
}

} // namespace
} // namespace larderly
