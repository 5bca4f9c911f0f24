// The -lh5- decoder: reads the block headers (pre-tree, character/length code, position
// code), builds the lookup tables and copies literals and matches through an 8192-byte ring.
#include "archive/BitIo.h"
#include "archive/LhaCoders.h"

#include <array>
#include <cstring>
#include <memory>

namespace larderly::lha {
namespace {

constexpr int kDicSize = 8192; // window
constexpr int kNC = 510;       // character/length symbols
constexpr int kNP = 14;        // position symbols
constexpr int kNT = 19;        // pre-tree symbols
constexpr int kCTableBits = 12;
constexpr int kPTableBits = 8;
constexpr int kMaxCodeLength = 16;
constexpr int kTreeSize = 2 * kNC - 1; // left/right child arrays

struct Lh5DecoderState {
    explicit Lh5DecoderState(TLhaCodecState& io) : bits(io), io(io) {}

    BitReader bits;
    TLhaCodecState& io;
    std::array<uint8_t, kDicSize> ring{};
    std::array<uint8_t, kNC + 1> cLen{};
    std::array<uint16_t, 1 << kCTableBits> cTable{};
    std::array<uint8_t, kNT + 1> ptLen{};
    std::array<uint16_t, 1 << kPTableBits> ptTable{};
    std::array<uint16_t, kTreeSize + 1> left{};
    std::array<uint16_t, kTreeSize + 1> right{};
    uint16_t blockRemaining = 0;

    // Builds the lookup table of a canonical code. Lengths must form a complete code
    // (every 16-bit pattern decodes) or be all zero; anything else, and any table that
    // would need more tree nodes than exist, is a bad decode table.
    void MakeTable(int nchar, const uint8_t* bitLen, int tableBits, uint16_t* table) {
        uint32_t count[kMaxCodeLength + 1] = {};
        for (int i = 0; i < nchar; ++i) {
            if (bitLen[i] > kMaxCodeLength) throw ELZHBadDecodeTable();
            count[bitLen[i]]++;
        }
        uint32_t start[kMaxCodeLength + 2];
        start[1] = 0;
        for (int i = 1; i <= kMaxCodeLength; ++i)
            start[i + 1] = start[i] + (count[i] << (16 - i));
        // The sum is taken in full: an over-full code whose sum wraps to a multiple of
        // 65536 would otherwise place codes past the table.
        if (start[kMaxCodeLength + 1] != (1u << 16) && start[kMaxCodeLength + 1] != 0)
            throw ELZHBadDecodeTable();

        const int jutBits = 16 - tableBits;
        uint32_t weight[kMaxCodeLength + 1];
        for (int i = 1; i <= tableBits; ++i) {
            start[i] >>= jutBits;
            weight[i] = 1u << (tableBits - i);
        }
        for (int i = tableBits + 1; i <= kMaxCodeLength; ++i)
            weight[i] = 1u << (16 - i);

        const uint32_t tableSize = 1u << tableBits;
        // Entries after the last short code are the roots of the longer codes.
        for (uint32_t i = start[tableBits + 1] >> jutBits; i < tableSize; ++i)
            table[i] = 0;

        uint32_t avail = static_cast<uint32_t>(nchar);
        const uint32_t mask = 1u << (15 - tableBits);
        for (int ch = 0; ch < nchar; ++ch) {
            const int len = bitLen[ch];
            if (len == 0) continue;
            const uint32_t nextCode = start[len] + weight[len];
            if (len <= tableBits) {
                if (nextCode > tableSize) throw ELZHBadDecodeTable();
                for (uint32_t i = start[len]; i < nextCode; ++i)
                    table[i] = static_cast<uint16_t>(ch);
            } else {
                uint32_t k = start[len];
                uint16_t* p = &table[(k >> jutBits) & (tableSize - 1)];
                for (int i = len - tableBits; i != 0; --i) {
                    if (*p == 0) {
                        if (avail > kTreeSize) throw ELZHBadDecodeTable();
                        right[avail] = left[avail] = 0;
                        *p = static_cast<uint16_t>(avail++);
                    } else if (*p < nchar) {
                        // A shorter code already ends here: not a prefix code.
                        throw ELZHBadDecodeTable();
                    }
                    p = (k & mask) ? &right[*p] : &left[*p];
                    k <<= 1;
                }
                *p = static_cast<uint16_t>(ch);
            }
            start[len] = nextCode;
        }
    }

    // Reads the lengths of the pre-tree (nn = 19, special = 3) or of the position code
    // (nn = 14, special = -1).
    void ReadPtLen(int nn, int nbit, int iSpecial) {
        const int n = static_cast<int>(bits.GetBits(nbit));
        if (n == 0) {
            const uint32_t c = bits.GetBits(nbit);
            if (c >= static_cast<uint32_t>(nn)) throw ELZHBadDecodeTable();
            for (int i = 0; i < nn; ++i)
                ptLen[i] = 0;
            for (auto& e : ptTable)
                e = static_cast<uint16_t>(c);
            return;
        }
        if (n > nn) throw ELZHBadDecodeTable();
        int i = 0;
        while (i < n) {
            uint32_t c = bits.GetBits(3);
            if (c == 7) {
                while (bits.GetBits(1) == 1) {
                    if (++c > kMaxCodeLength) throw ELZHBadDecodeTable();
                }
            }
            ptLen[i++] = static_cast<uint8_t>(c);
            if (i == iSpecial) {
                int zeros = static_cast<int>(bits.GetBits(2));
                while (zeros-- > 0 && i < nn)
                    ptLen[i++] = 0;
            }
        }
        while (i < nn)
            ptLen[i++] = 0;
        MakeTable(nn, ptLen.data(), kPTableBits, ptTable.data());
    }

    // Decodes one symbol of the pre-tree or position code.
    int DecodePt(int nchar) {
        const uint32_t window = bits.Peek16();
        uint32_t j = ptTable[window >> 8];
        if (j >= static_cast<uint32_t>(nchar)) {
            uint32_t mask = 1u << 7;
            do {
                if (mask == 0) throw ELZHBadDecodeTable();
                j = (window & mask) ? right[j] : left[j];
                mask >>= 1;
            } while (j >= static_cast<uint32_t>(nchar));
        }
        bits.Drop(ptLen[j]);
        return static_cast<int>(j);
    }

    void ReadCLen() {
        const int n = static_cast<int>(bits.GetBits(9));
        if (n == 0) {
            const uint32_t c = bits.GetBits(9);
            if (c >= static_cast<uint32_t>(kNC)) throw ELZHBadDecodeTable();
            cLen.fill(0);
            for (auto& e : cTable)
                e = static_cast<uint16_t>(c);
            return;
        }
        if (n > kNC) throw ELZHBadDecodeTable();
        int i = 0;
        while (i < n) {
            const int c = DecodePt(kNT);
            if (c <= 2) {
                int run = 1;
                if (c == 1)
                    run = static_cast<int>(bits.GetBits(4)) + 3;
                else if (c == 2)
                    run = static_cast<int>(bits.GetBits(9)) + 20;
                if (i + run > kNC) throw ELZHBadDecodeTable();
                while (run-- > 0)
                    cLen[i++] = 0;
            } else {
                cLen[i++] = static_cast<uint8_t>(c - 2);
            }
        }
        while (i < kNC)
            cLen[i++] = 0;
        MakeTable(kNC, cLen.data(), kCTableBits, cTable.data());
    }

    int DecodeC() {
        if (blockRemaining == 0) {
            blockRemaining = static_cast<uint16_t>(bits.GetBits(16));
            ReadPtLen(kNT, 5, 3);
            ReadCLen();
            ReadPtLen(kNP, 4, -1);
        }
        --blockRemaining;
        const uint32_t window = bits.Peek16();
        uint32_t j = cTable[window >> 4];
        if (j >= static_cast<uint32_t>(kNC)) {
            uint32_t mask = 1u << 3;
            do {
                if (mask == 0) throw ELZHBadDecodeTable();
                j = (window & mask) ? right[j] : left[j];
                mask >>= 1;
            } while (j >= static_cast<uint32_t>(kNC));
        }
        bits.Drop(cLen[j]);
        return static_cast<int>(j);
    }

    uint32_t DecodeP() {
        uint32_t j = static_cast<uint32_t>(DecodePt(kNP));
        if (j != 0) j = (1u << (j - 1)) + bits.GetBits(static_cast<int>(j) - 1);
        return j;
    }

    void Run(int64_t size) {
        ring.fill(0x20);
        uint32_t r = 0;
        int64_t produced = 0;
        while (produced < size) {
            const int c = DecodeC();
            if (c < 256) {
                bits.CheckNotPastEnd();
                ring[r] = static_cast<uint8_t>(c);
                r = (r + 1) & (kDicSize - 1);
                io.WriteByte(static_cast<uint8_t>(c));
                ++produced;
            } else {
                // Exactly the declared size is written: a last match that runs past it is
                // cut there.
                int64_t length = c - 253;
                if (length > size - produced) length = size - produced;
                uint32_t source = (r - DecodeP() - 1) & (kDicSize - 1);
                bits.CheckNotPastEnd();
                produced += length;
                while (length-- > 0) {
                    const uint8_t b = ring[source];
                    source = (source + 1) & (kDicSize - 1);
                    ring[r] = b;
                    r = (r + 1) & (kDicSize - 1);
                    io.WriteByte(b);
                }
            }
        }
    }
};

} // namespace

void Lh5Decode(TLhaCodecState& io, int64_t uncompressedSize) {
    if (uncompressedSize <= 0) return;
    auto state = std::make_unique<Lh5DecoderState>(io);
    state->Run(uncompressedSize);
}

} // namespace larderly::lha
