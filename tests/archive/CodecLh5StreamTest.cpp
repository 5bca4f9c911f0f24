// Hand-made -lh5- streams: tables the decoder must refuse without writing past them, and
// garbage that must end in data, a bad-table error or the damaged-data error, never in a
// fault.
#include "CodecTestUtil.h"
#include "archive/LhaCodec.h"
#include "archive/LhaExceptions.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace larderly {
namespace {

using namespace testutil;

// Builds a bit stream, most significant bit first.
class Bits {
public:
    Bits& Put(int n, uint32_t v) {
        for (int i = n - 1; i >= 0; --i) {
            if (FCount % 8 == 0) FBytes.push_back(0);
            if ((v >> i) & 1) FBytes.back() |= static_cast<uint8_t>(0x80 >> (FCount % 8));
            ++FCount;
        }
        return *this;
    }
    Bytes Done() const {
        Bytes b = FBytes;
        b.resize(b.size() + 4, 0);
        return b;
    }

private:
    Bytes FBytes;
    int FCount = 0;
};

// A pre-tree with two 1-bit codes: symbol 0 (one zero length) and symbol 3 (length 1).
Bits& SimplePreTree(Bits& b) {
    b.Put(5, 4);                     // four pre-tree lengths
    b.Put(3, 1).Put(3, 0).Put(3, 0); // lengths 1, 0, 0
    b.Put(2, 0);                     // no extra zeros
    return b.Put(3, 1);              // length 1 for symbol 3
}

TEST(CodecLh5Stream, RefusesBadTables) {
    struct Case {
        const char* what;
        Bytes stream;
    } cases[] = {
        {"pre-tree declares 20 lengths", Bits().Put(16, 1).Put(5, 20).Done()},
        {"pre-tree single symbol 19", Bits().Put(16, 1).Put(5, 0).Put(5, 19).Done()},
        {"pre-tree length over 16",
         [] {
             Bits b;
             b.Put(16, 1).Put(5, 2).Put(3, 7);
             for (int i = 0; i < 12; ++i)
                 b.Put(1, 1);
             return b.Put(1, 0).Done();
         }()},
        {"pre-tree over-full, sum wraps to 0",
         [] {
             Bits b;
             b.Put(16, 1).Put(5, 4).Put(3, 1).Put(3, 1).Put(3, 1).Put(2, 0).Put(3, 1);
             return b.Done();
         }()},
        {"pre-tree incomplete", Bits().Put(16, 1).Put(5, 2).Put(3, 1).Put(3, 2).Done()},
        {"character code declares 511 lengths",
         [] {
             Bits b;
             b.Put(16, 1);
             return SimplePreTree(b).Put(9, 511).Done();
         }()},
        {"character code single symbol 510",
         [] {
             Bits b;
             return b.Put(16, 1).Put(5, 0).Put(5, 0).Put(9, 0).Put(9, 510).Done();
         }()},
        {"zero run past the character code",
         [] {
             Bits b;
             b.Put(16, 1).Put(5, 3).Put(3, 1).Put(3, 0).Put(3, 1).Put(2, 0); // symbols 0, 2
             b.Put(9, 510);
             b.Put(1, 1).Put(9, 511 - 20 + 1); // symbol 2: a run of 512 zero lengths
             return b.Done();
         }()},
        {"character code over-full",
         [] {
             Bits b;
             b.Put(16, 1);
             SimplePreTree(b).Put(9, 4);
             for (int i = 0; i < 4; ++i)
                 b.Put(1, 1); // four lengths of 1
             return b.Done();
         }()},
        {"position code declares 15 lengths",
         [] {
             Bits b;
             b.Put(16, 1).Put(5, 0).Put(5, 0).Put(9, 0).Put(9, 'A');
             return b.Put(4, 15).Done();
         }()},
        {"position code single symbol 14",
         [] {
             Bits b;
             b.Put(16, 1).Put(5, 0).Put(5, 0).Put(9, 0).Put(9, 'A');
             return b.Put(4, 0).Put(4, 14).Done();
         }()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            Expand(colh5, c.stream, 100);
            ADD_FAILURE() << "accepted";
        } catch (const ELZHBadDecodeTable& e) {
            EXPECT_STREQ(e.what(), "Bad decode table in archive!");
        }
    }
}

// Blocks whose codes have a single symbol, coded in zero bits.
TEST(CodecLh5Stream, DecodesHandMadeBlock) {
    Bits b;
    b.Put(16, 3);                                // three items
    b.Put(5, 0).Put(5, 0).Put(9, 0).Put(9, 'A'); // character code: only 'A'
    b.Put(4, 0).Put(4, 0);                       // position code: only symbol 0
    EXPECT_EQ(Expand(colh5, b.Done(), 3).data, ToBytes("AAA"));

    // One symbol: match of length 5 (symbol 258); distance 1 (position symbol 0). The ring
    // starts as spaces, so this copies spaces.
    Bits m;
    m.Put(16, 1).Put(5, 0).Put(5, 0).Put(9, 0).Put(9, 258).Put(4, 0).Put(4, 0);
    EXPECT_EQ(Expand(colh5, m.Done(), 5).data, ToBytes("     "));
    // The declared size cuts a last match short.
    EXPECT_EQ(Expand(colh5, m.Done(), 3).data, ToBytes("   "));
}

TEST(CodecLh5Stream, GarbageNeverFaults) {
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        Bytes junk = RandomBytes(64 + seed % 200, seed);
        // Plausible headers now and then: small counts and table sizes.
        if (seed % 3 == 0) junk[2] &= 0x27;
        try {
            const Coded plain = Expand(colh5, junk, 3000);
            EXPECT_EQ(plain.data.size(), 3000u);
        } catch (const ELZHBadDecodeTable&) {
        } catch (const ELhaBadCRC&) { // the junk ran out first
        }
        try {
            Expand(colh1, junk, 3000);
        } catch (const ELhaException&) {
        }
        Expand(coRLE, junk, 0);
    }
}

} // namespace
} // namespace larderly
