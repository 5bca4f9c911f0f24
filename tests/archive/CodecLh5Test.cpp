// -lh5- compression and expansion: round trips, exact stream bytes, block cut-off, window
// edges, and streams the decoder must refuse.
#include "CodecTestUtil.h"
#include "archive/Crc16.h"
#include "archive/LhaCodec.h"

#include <gtest/gtest.h>

namespace larderly {
namespace {

using namespace testutil;

void ExpectRoundTrip(const Bytes& input, const char* what) {
    SCOPED_TRACE(what);
    Coded packed;
    ASSERT_NO_THROW(packed = Compress(colh5, input)) << what;
    EXPECT_EQ(packed.result.Method, colh5) << what;
    EXPECT_EQ(packed.result.Count, packed.data.size()) << what;
    EXPECT_EQ(packed.result.CheckValue, Crc16(0, input.data(), input.size())) << what;
    EXPECT_LE(packed.data.size(), input.size()) << what;
    const Coded plain = Expand(colh5, packed.data, static_cast<int64_t>(input.size()));
    EXPECT_EQ(plain.result.CheckValue, packed.result.CheckValue) << what;
    EXPECT_EQ(plain.result.Count, input.size()) << what;
    EXPECT_TRUE(plain.data == input) << what;
}

TEST(CodecLh5, RoundTrips) {
    Bytes mixed = EnglishText(50000, 3);
    const Bytes noise = RandomBytes(3000, 9);
    mixed.insert(mixed.begin() + 20000, noise.begin(), noise.end());
    struct Case {
        const char* what;
        Bytes data;
    } cases[] = {
        {"all equal", Bytes(100000, 'x')},
        {"spaces", Bytes(20000, ' ')},
        {"text", EnglishText(200000)},
        {"text with noise", mixed},
        {"short repeats",
         [] {
             Bytes b;
             for (int i = 0; i < 200; ++i)
                 b.insert(b.end(), {'a', 'b', 'c'});
             return b;
         }()},
        {"period 255",
         [] {
             Bytes b;
             for (int i = 0; i < 60000; ++i)
                 b.push_back(static_cast<uint8_t>(i % 255));
             return b;
         }()},
        {"period 8191",
         [] {
             const Bytes r = RandomBytes(8191, 5);
             Bytes b;
             for (int k = 0; k < 4; ++k)
                 b.insert(b.end(), r.begin(), r.end());
             return b;
         }()},
        {"long equal runs of two bytes",
         [] {
             Bytes b;
             for (int k = 0; k < 50; ++k)
                 b.insert(b.end(), 300 + k * 37, static_cast<uint8_t>(k & 1));
             return b;
         }()},
        // 150 bytes that come about once in 14000 among four common ones get codes longer
        // than the decoder's first lookup step, in every block.
        {"rare bytes among common ones",
         [] {
             Bytes b;
             uint32_t x = 99;
             for (int i = 0; i < 400000; ++i) {
                 x ^= x << 13;
                 x ^= x >> 17;
                 x ^= x << 5;
                 const uint32_t r = x % 100000;
                 b.push_back(r < 99000 ? static_cast<uint8_t>("acgt"[r % 4])
                                       : static_cast<uint8_t>(100 + r % 150));
             }
             return b;
         }()},
    };
    for (const auto& c : cases)
        ExpectRoundTrip(c.data, c.what);
}

TEST(CodecLh5, EmptyInputProducesNoData) {
    const Coded packed = Compress(colh5, {});
    EXPECT_TRUE(packed.data.empty());
    EXPECT_EQ(packed.result.Count, 0u);
    EXPECT_EQ(packed.result.CheckValue, 0);
    const Coded plain = Expand(colh5, {}, 0);
    EXPECT_TRUE(plain.data.empty());
    EXPECT_EQ(plain.result.CheckValue, 0);
}

TEST(CodecLh5, OneByteCannotBeCompressed) {
    EXPECT_THROW(Compress(colh5, {0x41}), EUnableToCompress);
}

// The single-byte block: count 1, one-symbol pre-tree and character code, one-symbol
// position code, the literal in zero bits, 7 closing bits: 59 bits, so 7 bytes. With a
// budget of 8 bytes (the declared input size) it is written out.
TEST(CodecLh5, SingleSymbolBlockLayout) {
    TLhaCodecState state;
    TMemoryStream in(Bytes{'A'});
    TMemoryStream out;
    const auto r = state.CodeStream(TLhaCodeDirection::Compress, colh5, in, out, 8);
    EXPECT_EQ(r.Count, 7u);
    uint64_t bits = 0;
    int n = 0;
    for (auto [width, value] :
         {std::pair{16, 1u}, {5, 0u}, {5, 0u}, {9, 0u}, {9, 0x41u}, {4, 0u}, {4, 0u}, {7, 0u}}) {
        bits = (bits << width) | value;
        n += width;
    }
    bits <<= (64 - n);
    Bytes expect(7);
    for (int i = 0; i < 7; ++i)
        expect[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    EXPECT_EQ(out.Bytes(), expect);
    EXPECT_EQ(Expand(colh5, out.Bytes(), 1).data, Bytes{'A'});
}

TEST(CodecLh5, EqualLengthIsAcceptedOneMoreByteIsNot) {
    // Random bytes code a little longer than themselves. With the budget raised to exactly
    // the packed length they are coded; one byte less and the output step refuses.
    const Bytes input = RandomBytes(40, 77);
    TLhaCodecState state;
    TMemoryStream in(input);
    TMemoryStream out;
    const auto r = state.CodeStream(TLhaCodeDirection::Compress, colh5, in, out, 1000);
    const int64_t packedSize = r.Count;
    ASSERT_GT(packedSize, 40);
    {
        TMemoryStream in2(input), out2;
        EXPECT_NO_THROW(
            state.CodeStream(TLhaCodeDirection::Compress, colh5, in2, out2, packedSize));
    }
    {
        TMemoryStream in2(input), out2;
        EXPECT_THROW(
            state.CodeStream(TLhaCodeDirection::Compress, colh5, in2, out2, packedSize - 1),
            EUnableToCompress);
    }
}

// Random blocks repeated with a period just inside the window compress to little more
// than one block; at 8192 and beyond the earlier copy has left the window.
TEST(CodecLh5, WindowEdge) {
    for (size_t period : {8190u, 8191u, 8192u, 8193u}) {
        SCOPED_TRACE(period);
        const Bytes r = RandomBytes(period, static_cast<uint32_t>(period));
        Bytes b;
        for (int k = 0; k < 4; ++k)
            b.insert(b.end(), r.begin(), r.end());
        if (period <= 8191) {
            const Coded packed = Compress(colh5, b);
            EXPECT_LT(packed.data.size(), period + period / 4);
            EXPECT_EQ(Expand(colh5, packed.data, static_cast<int64_t>(b.size())).data, b);
        } else {
            EXPECT_THROW(Compress(colh5, b), EUnableToCompress);
        }
    }
}

// Equal bytes code as one literal and then matches of 256 bytes, each item 3 bytes in the
// item buffer and a flag byte per 8 items: 655 groups (16375 bytes) fill it past the
// cut-off of 16360, so the first block holds 5240 items, 1 + 5239 * 256 bytes of input.
// One more byte needs item 5241 and so a second block.
TEST(CodecLh5, BlockCutOff) {
    constexpr size_t kOneBlock = 1 + 5239 * 256;
    const Coded one = Compress(colh5, Bytes(kOneBlock, 'x'));
    const Coded two = Compress(colh5, Bytes(kOneBlock + 1, 'x'));
    for (const Coded* c : {&one, &two}) {
        ASSERT_GE(c->data.size(), 2u);
        EXPECT_EQ(c->data[0] << 8 | c->data[1], 5240);
    }
    // The second block's own header: 16-bit count, three one-symbol codes, the literal.
    EXPECT_GE(two.data.size(), one.data.size() + 6);
    EXPECT_EQ(Expand(colh5, one.data, kOneBlock).data, Bytes(kOneBlock, 'x'));
    EXPECT_EQ(Expand(colh5, two.data, kOneBlock + 1).data, Bytes(kOneBlock + 1, 'x'));
}

TEST(CodecLh5, RandomDataIsRefused) {
    EXPECT_THROW(Compress(colh5, RandomBytes(100000)), EUnableToCompress);
}

} // namespace
} // namespace larderly

namespace larderly {
namespace {

using namespace testutil;

uint64_t Fnv1a(const Bytes& b) {
    uint64_t h = 1469598103934665603ull;
    for (uint8_t c : b) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

// The packed bytes of every backup follow from the encoder's choices; a change to the match
// finder, the block cut-off or the code building shows up here. (Fingerprints of streams
// that lhasa, 7z and our decoder read back.)
TEST(CodecLh5, PackedBytesAreStable) {
    Bytes mixed = EnglishText(400000, 21);
    const Bytes noise = RandomBytes(20000, 22);
    mixed.insert(mixed.begin() + 100000, noise.begin(), noise.end());
    Bytes sparse;
    for (int i = 0; i < 200000; ++i)
        sparse.push_back(static_cast<uint8_t>((i * 7) % 13 == 0 ? i % 251 : 0));
    Bytes periodic;
    const Bytes r = RandomBytes(5000, 23);
    for (int k = 0; k < 40; ++k)
        periodic.insert(periodic.end(), r.begin(), r.begin() + 3000 + k * 50);
    struct Case {
        const char* what;
        const Bytes& data;
        TLhaMethod method;
        size_t size;
        uint64_t fingerprint;
    } cases[] = {
        {"mixed lh5", mixed, colh5, 169761, 0xf228e9ffb4b86a65ull},
        {"mixed lh1", mixed, colh1, 188987, 0xa67589af28df8238ull},
        {"sparse lh5", sparse, colh5, 1838, 0xd870e685f7d996abull},
        {"sparse lh1", sparse, colh1, 6944, 0xe7c3d9b71c4fb568ull},
        {"periodic lh5", periodic, colh5, 6435, 0xd8e76e4174fed945ull},
        {"periodic lh1", periodic, colh1, 88812, 0x62afc9160c9d7857ull},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Coded packed = Compress(c.method, c.data);
        EXPECT_EQ(packed.data.size(), c.size);
        EXPECT_EQ(Fnv1a(packed.data), c.fingerprint);
        EXPECT_TRUE(Expand(c.method, packed.data, static_cast<int64_t>(c.data.size())).data ==
                    c.data);
    }
}

} // namespace
} // namespace larderly
