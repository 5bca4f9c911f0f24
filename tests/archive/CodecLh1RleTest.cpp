// -lh1- in both directions and the "-rle-" decoder.
#include "CodecTestUtil.h"
#include "archive/Crc16.h"
#include "archive/LhaCodec.h"

#include <gtest/gtest.h>

#include <string>

namespace larderly {
namespace {

using namespace testutil;

TEST(CodecLh1, RoundTrips) {
    Bytes spaced(200, ' ');
    const Bytes text = EnglishText(5000, 4);
    spaced.insert(spaced.end(), text.begin(), text.end());
    Bytes periodic;
    for (int i = 0; i < 30000; ++i)
        periodic.push_back(static_cast<uint8_t>((i % 4095) * 31));
    struct Case {
        const char* what;
        Bytes data;
    } cases[] = {
        {"all equal", Bytes(100000, 0)},
        {"starts with spaces", spaced},
        // Far more than 32455 symbols: encoder and decoder rebuild their trees in step.
        {"long text", EnglishText(400000, 8)},
        {"period 4095", periodic},
        {"two bytes alternating",
         [] {
             Bytes b;
             for (int i = 0; i < 5000; ++i)
                 b.push_back(i & 1 ? 'a' : 'b');
             return b;
         }()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Coded packed;
        ASSERT_NO_THROW(packed = Compress(colh1, c.data));
        EXPECT_EQ(packed.result.Method, colh1);
        EXPECT_LT(packed.data.size(), c.data.size());
        EXPECT_EQ(packed.result.CheckValue, Crc16(0, c.data.data(), c.data.size()));
        const Coded plain = Expand(colh1, packed.data, static_cast<int64_t>(c.data.size()));
        EXPECT_TRUE(plain.data == c.data);
        EXPECT_EQ(plain.result.CheckValue, packed.result.CheckValue);
    }
}

// The ring starts with spaces, and the 60 positions before the first byte are in the match
// finder before it. Their strings are all spaces here, so each insertion takes the place of
// the one before and 3976 is left: the file begins with a match of 60 at distance 60.
// With the starting tree, symbol 313 (length 60) codes as 11000101, and position 59 as 000
// (upper bits 0) followed by 111011.
TEST(CodecLh1, FileStartingWithSpacesBeginsWithAMatchIntoTheRing) {
    const std::string text = std::string(60, ' ') + "abc\n";
    const Bytes data(text.begin(), text.end());
    const Coded packed = Compress(colh1, data);
    ASSERT_GE(packed.data.size(), 3u);
    EXPECT_EQ(packed.data[0], 0xC5);
    EXPECT_EQ(packed.data[1], 0x1D);
    EXPECT_EQ(packed.data[2] & 0x80, 0x80);
    EXPECT_TRUE(Expand(colh1, packed.data, static_cast<int64_t>(data.size())).data == data);
}

TEST(CodecLh1, EmptyAndTiny) {
    const Coded empty = Compress(colh1, {});
    EXPECT_TRUE(empty.data.empty());
    EXPECT_TRUE(Expand(colh1, {}, 0).data.empty());
    // A single literal codes in 9 bits, two bytes: longer than the input.
    EXPECT_THROW(Compress(colh1, {'q'}), EUnableToCompress);
    TLhaCodecState state;
    TMemoryStream in(Bytes{'q'});
    TMemoryStream out;
    const auto r = state.CodeStream(TLhaCodeDirection::Compress, colh1, in, out, 4);
    EXPECT_EQ(r.Count, out.Size());
    EXPECT_EQ(Expand(colh1, out.Bytes(), 1).data, Bytes{'q'});
}

TEST(CodecRle, Expansion) {
    struct Case {
        Bytes packed, want;
    } cases[] = {
        {{0x41, 0x94, 0x05, 0x42}, {0x41, 0x41, 0x41, 0x41, 0x41, 0x42}},
        {{0x94, 0x00}, {0x94}},
        {{0x41, 0x94}, {0x41, 0x94}},
        {{0x41, 0x94, 0x01}, {0x41}},
        // After a run the marker is the previous byte.
        {{0x41, 0x94, 0x02, 0x94, 0x03}, {0x41, 0x41, 0x94, 0x94}},
        {{}, {}},
    };
    for (const auto& c : cases) {
        const Coded plain = Expand(coRLE, c.packed, 12345, false, {}, true);
        EXPECT_EQ(plain.data, c.want);
        uint16_t sum = 0;
        for (uint8_t b : c.want)
            sum = static_cast<uint16_t>(sum + b);
        EXPECT_EQ(plain.result.CheckValue, sum);
    }
}

} // namespace
} // namespace larderly
