// The byte layer shared by every method: the copy method, check values, progress reports,
// cancellation, the output budget, scrambling and failing streams.
#include "CodecTestUtil.h"
#include "archive/Crc16.h"
#include "archive/LhaCodec.h"
#include "archive/LhaExceptions.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace larderly {
namespace {

using namespace testutil;

TEST(CodecByteLayer, Percentage) {
    struct Case {
        int64_t done, total;
        int32_t want;
    } cases[] = {
        {0, 0, 100},
        {5, 0, 100},
        {0, 10, 0},
        {5, 10, 50},
        {100000, 100000, 100},
        {99999, 100000, 99},
        {50000, 100001, 50},
        {2000000000, 2000000000, 100},
        {1999999999, 2000000000, 99},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LhaPercentage(c.done, c.total), c.want) << c.done << "/" << c.total;
}

TEST(CodecByteLayer, MethodIds) {
    EXPECT_EQ(LhaMethodId(colh0), "-lh0-");
    EXPECT_EQ(LhaMethodId(colh1), "-lh1-");
    EXPECT_EQ(LhaMethodId(colh5), "-lh5-");
    EXPECT_EQ(LhaMethodId(coRLE), "-rle-");
    EXPECT_EQ(LhaMethodFromId("-lh5-"), colh5);
    EXPECT_EQ(LhaMethodFromId("-rle-"), coRLE);
    EXPECT_FALSE(LhaMethodFromId("-lh6-").has_value());
}

TEST(CodecByteLayer, StoredCopyBothWays) {
    for (size_t n : {0u, 1u, 8191u, 8192u, 8193u, 30000u}) {
        SCOPED_TRACE(n);
        const Bytes input = RandomBytes(n, static_cast<uint32_t>(n + 1));
        const Coded packed = Compress(colh0, input);
        EXPECT_EQ(packed.data, input);
        EXPECT_EQ(packed.result.Count, n);
        EXPECT_EQ(packed.result.CheckValue, Crc16(0, input.data(), input.size()));
        const Coded plain = Expand(colh0, packed.data, static_cast<int64_t>(n));
        EXPECT_EQ(plain.data, input);
        EXPECT_EQ(plain.result.CheckValue, packed.result.CheckValue);
    }
}

// There is no run-length encoder: asking for one stores the entry and says so.
TEST(CodecByteLayer, RleCompressionStoresInstead) {
    const Bytes input = ToBytes("aaaaaaaaaabbbbbbbbbb");
    const Coded packed = Compress(coRLE, input);
    EXPECT_EQ(packed.result.Method, colh0);
    EXPECT_EQ(packed.data, input);
    EXPECT_EQ(packed.result.CheckValue, Crc16(0, input.data(), input.size()));
}

TEST(CodecByteLayer, LegacyCheckValueIsByteSum) {
    const Bytes input = {0xFF, 0xFF, 0xFF, 0x01, 0x10};
    const Coded plain = Expand(colh0, input, 5, false, {}, true);
    EXPECT_EQ(plain.result.CheckValue, (0xFF * 3 + 0x01 + 0x10) & 0xFFFF);
    // Only the low 16 bits of the sum count.
    const Bytes big(300, 0xFF);
    EXPECT_EQ(Expand(colh0, big, 300, false, {}, true).result.CheckValue,
              static_cast<uint16_t>(300 * 0xFF));
    // A large expansion, with long runs of high bytes, sums every byte written.
    Bytes mixed = EnglishText(150000, 3);
    mixed.insert(mixed.begin() + 70000, 40000, 0xFF);
    mixed.insert(mixed.end(), 1003, 0xFE);
    uint32_t sum = 0;
    for (uint8_t b : mixed)
        sum += b;
    for (TLhaMethod method : {colh0, colh5}) {
        const Coded packed = Compress(method, mixed);
        const Coded back =
            Expand(method, packed.data, static_cast<int64_t>(mixed.size()), false, {}, true);
        EXPECT_EQ(back.data, mixed);
        EXPECT_EQ(back.result.CheckValue, static_cast<uint16_t>(sum)) << LhaMethodId(method);
    }
}

TEST(CodecByteLayer, ProgressReports) {
    const Bytes input = EnglishText(20000);
    for (TLhaMethod method : {colh0, colh5, colh1}) {
        SCOPED_TRACE(LhaMethodId(method));
        TLhaCodecState state;
        std::vector<int32_t> seen;
        state.OnShowProgress = [&seen](int32_t& p) { seen.push_back(p); };
        const Coded packed = Compress(state, method, input);
        EXPECT_EQ(seen, (std::vector<int32_t>{0, 40, 81, 100, 100}));
        seen.clear();
        Expand(state, method, packed.data, 20000);
        ASSERT_GE(seen.size(), 3u);
        EXPECT_EQ(seen.front(), 0);
        EXPECT_EQ(seen.back(), 100);
        EXPECT_EQ(seen.size(), 2 + (packed.data.size() + 8191) / 8192);
    }
}

TEST(CodecByteLayer, HandlerCancellingAtStartCancels) {
    TLhaCodecState state;
    int calls = 0;
    state.OnShowProgress = [&calls](int32_t& p) {
        ++calls;
        p = -1;
    };
    TMemoryStream in(EnglishText(1000));
    TMemoryStream out;
    EXPECT_THROW(state.CodeStream(TLhaCodeDirection::Compress, colh5, in, out, 1000),
                 ELhaOperationAborted);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(out.Size(), 0);
    EXPECT_EQ(in.Position(), 0);
}

TEST(CodecByteLayer, CancellationStopsWithinOneBuffer) {
    const Bytes input = EnglishText(200000);
    struct Case {
        const char* what;
        bool byFlag;
    } cases[] = {{"abort flag", true}, {"handler -1", false}};
    for (const auto& c : cases) {
        for (TLhaMethod method : {colh0, colh5, colh1}) {
            SCOPED_TRACE(std::string(c.what) + " " + std::string(LhaMethodId(method)));
            std::atomic<bool> abort{false};
            TLhaCodecState state(abort);
            int reports = 0;
            state.OnShowProgress = [&](int32_t& p) {
                if (p > 0 && ++reports == 3) {
                    if (c.byFlag)
                        abort = true;
                    else
                        p = -1;
                }
            };
            TMemoryStream in(input);
            TMemoryStream out;
            try {
                state.CodeStream(TLhaCodeDirection::Compress, method, in, out, 200000);
                ADD_FAILURE() << "not cancelled";
            } catch (const ELhaOperationAborted& e) {
                EXPECT_STREQ(e.what(), "Operation cancelled");
            }
            // The third refill cancels: nothing past it was read.
            EXPECT_EQ(in.Position(), 3 * 8192);
        }
    }
}

TEST(CodecByteLayer, OutputBudgetAndReuseAfterFailure) {
    TLhaCodecState state;
    const Bytes noise = RandomBytes(50000);
    for (TLhaMethod method : {colh5, colh1}) {
        TMemoryStream in(noise);
        TMemoryStream out;
        try {
            state.CodeStream(TLhaCodeDirection::Compress, method, in, out, 50000);
            ADD_FAILURE() << "random data compressed";
        } catch (const EUnableToCompress& e) {
            EXPECT_STREQ(e.what(), "Could not compress data, will store instead");
        }
        // Whole buffers already flushed stay in the stream; never more than the input.
        EXPECT_LE(out.Size(), 50000);
        EXPECT_EQ(out.Size() % 8192, 0);
    }
    // The same state codes the next entry normally.
    const Bytes text = EnglishText(30000);
    const Coded packed = Compress(state, colh5, text);
    EXPECT_EQ(Expand(state, colh5, packed.data, 30000).data, text);
}

TEST(CodecByteLayer, Scrambling) {
    const Bytes input = EnglishText(30000);
    const std::string password = "Rhubarb";
    const uint32_t key = TLhaCodecState::KeyFromPassword(password);
    for (TLhaMethod method : {colh0, colh5, colh1}) {
        SCOPED_TRACE(LhaMethodId(method));
        const Coded plain = Compress(method, input);
        const Coded scrambled = Compress(method, input, password);
        ASSERT_EQ(plain.data.size(), scrambled.data.size());
        EXPECT_EQ(plain.result.CheckValue, scrambled.result.CheckValue);
        for (size_t i = 0; i < plain.data.size(); ++i) {
            const uint8_t k = static_cast<uint8_t>(key >> (8 * (i % 4)));
            ASSERT_EQ(scrambled.data[i], plain.data[i] ^ k) << i;
        }
        // Encrypted entries are unscrambled while read; the check value is the plain data's.
        const Coded back = Expand(method, scrambled.data, 30000, true, password);
        EXPECT_EQ(back.data, input);
        EXPECT_EQ(back.result.CheckValue, plain.result.CheckValue);
        // A password does nothing to entries not marked encrypted.
        EXPECT_EQ(Expand(method, plain.data, 30000, false, password).data, input);
    }
    // A wrong password on -lh5- gives a bad table or wrong data, never a crash.
    const Coded scrambled = Compress(colh5, input, password);
    try {
        const Coded wrong = Expand(colh5, scrambled.data, 30000, true, "Parsnip");
        EXPECT_NE(wrong.data, input);
    } catch (const ELZHBadDecodeTable&) {
    }
}

// An output stream that takes only the first `limit` bytes.
class ShortStream : public TMemoryStream {
public:
    explicit ShortStream(int64_t limit) : FLimit(limit) {}
    int64_t Write(const void* buffer, int64_t count) override {
        const int64_t room = std::max<int64_t>(0, FLimit - Size());
        return TMemoryStream::Write(buffer, std::min(count, room));
    }

private:
    int64_t FLimit;
};

TEST(CodecByteLayer, StreamErrorsPassThrough) {
    const Bytes input = EnglishText(40000);
    TLhaCodecState state;
    for (int64_t limit : {0, 10000}) {
        TMemoryStream in(input);
        ShortStream out(limit);
        EXPECT_THROW(state.CodeStream(TLhaCodeDirection::Compress, colh0, in, out, 40000),
                     EWriteError);
    }
}

// Data that ends before the declared size is reached is damaged: the decoders never take
// bits past its end, so a cut stream, or a few bytes that declare a huge size, end with the
// damaged-data error at once instead of expanding into garbage up to the declared size.
TEST(CodecByteLayer, DataEndingEarlyIsDamaged) {
    const Bytes text = EnglishText(50000);
    struct Case {
        const char* what;
        TLhaMethod method;
        Bytes packed;
        int64_t declared;
    };
    std::vector<Case> cases;
    for (TLhaMethod m : {colh5, colh1}) {
        const Bytes packed = Compress(m, text).data;
        EXPECT_EQ(Expand(m, packed, 50000).data, text) << "whole data expands";
        const Bytes half(packed.begin(), packed.begin() + packed.size() / 2);
        cases.push_back({"cut in half", m, half, 50000});
    }
    // Zero bits make -lh5- blocks of 65535 literals coded in no bits at all.
    cases.push_back({"eight zero bytes declaring 1 GiB", colh5, Bytes(8, 0), int64_t(1) << 30});
    cases.push_back({"eight zero bytes declaring 1 GiB", colh1, Bytes(8, 0), int64_t(1) << 30});
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + (c.method == colh5 ? " lh5" : " lh1"));
        TLhaCodecState state;
        TMemoryStream in(c.packed);
        TMemoryStream out;
        try {
            state.CodeStream(TLhaCodeDirection::Expand, c.method, in, out,
                             static_cast<int64_t>(c.packed.size()), c.declared);
            ADD_FAILURE() << "accepted";
        } catch (const ELhaBadCRC& e) {
            EXPECT_STREQ(e.what(), "Bad CRC during expansion -- data may be invalid");
        }
        EXPECT_LE(out.Size(), 1 << 17);
    }
}

// Codec states share nothing: two entries coded at once on two threads come out as when
// coded one after the other.
TEST(CodecByteLayer, StatesCodeInParallel) {
    const Bytes a = EnglishText(300000, 31);
    const Bytes b = EnglishText(300000, 32);
    const Bytes wantA = Compress(colh5, a).data;
    const Bytes wantB = Compress(colh1, b).data;
    Bytes gotA, gotB, backA, backB;
    std::thread ta([&] {
        gotA = Compress(colh5, a).data;
        backA = Expand(colh5, gotA, static_cast<int64_t>(a.size())).data;
    });
    std::thread tb([&] {
        gotB = Compress(colh1, b).data;
        backB = Expand(colh1, gotB, static_cast<int64_t>(b.size())).data;
    });
    ta.join();
    tb.join();
    EXPECT_TRUE(gotA == wantA);
    EXPECT_TRUE(gotB == wantB);
    EXPECT_TRUE(backA == a);
    EXPECT_TRUE(backB == b);
}

} // namespace
} // namespace larderly
