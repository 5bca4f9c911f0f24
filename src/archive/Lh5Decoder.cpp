// The -lh5- decoder: reads the block headers (pre-tree, character/length code, position
// code), builds a lookup table for each code and copies literals and matches within an
// output window that holds the last 8192 bytes before the bytes being produced.
//
// Bits are taken from a 64-bit buffer refilled eight bytes at a time from a staging copy
// of the input whenever fewer bits are left than the longest item takes (a character/length
// code, a position code and its extra bits: at most 16 + 16 + 12 bits). Output goes to the byte
// layer a large piece at a time.
#include "archive/LhaCoders.h"
#include "archive/LhaExceptions.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>

namespace larderly::lha {
namespace {

constexpr int kDicSize = 8192; // window
constexpr int kMaxMatch = 256;
constexpr int kNC = 510; // character/length symbols
constexpr int kNP = 14;  // position symbols
constexpr int kNT = 19;  // pre-tree symbols
constexpr int kMaxCodeLength = 16;

// A lookup table of a canonical code. The first `MainBits` of the next 16 bits index the
// main part. An entry holds a symbol (bits 0..8) and its code length (bits 9..13); for the
// prefixes of codes longer than MainBits it holds bit 15 and the start of a sub-table that
// the following 16 - MainBits bits index.
template <int MainBits, int Symbols> struct LookupTable {
    static constexpr int kSubBits = kMaxCodeLength - MainBits;
    static constexpr uint16_t kSubFlag = 0x8000;
    // A complete code has at most Symbols / 2 prefixes of long codes: each is shared by
    // at least two codes.
    std::array<uint16_t, (1 << MainBits) + (Symbols / 2) * (1 << kSubBits)> entries{};

    static uint16_t Entry(int symbol, int length) {
        return static_cast<uint16_t>(symbol | length << 9);
    }

    // Every bit pattern decodes to `symbol`, taking no bits.
    void Single(int symbol) { std::fill_n(entries.begin(), 1 << MainBits, Entry(symbol, 0)); }

    // Builds the table from code lengths (0 = unused). The lengths must form a complete
    // code or be all zero (every pattern then decodes to symbol 0 taking no bits);
    // anything else is a bad decode table.
    void Build(const uint8_t* lengths) {
        uint32_t count[kMaxCodeLength + 1] = {};
        for (int i = 0; i < Symbols; ++i) {
            if (lengths[i] > kMaxCodeLength) throw ELZHBadDecodeTable();
            count[lengths[i]]++;
        }
        // Codes left-aligned to 16 bits: the first code of each length.
        uint32_t start[kMaxCodeLength + 2];
        start[1] = 0;
        for (int i = 1; i <= kMaxCodeLength; ++i)
            start[i + 1] = start[i] + (count[i] << (16 - i));
        const uint32_t total = start[kMaxCodeLength + 1];
        if (total == 0) {
            Single(0);
            return;
        }
        if (total != (1u << 16)) throw ELZHBadDecodeTable();

        // The main entries after the last short code lead to sub-tables, one per prefix.
        const uint32_t firstLong = start[MainBits + 1] >> kSubBits;
        uint32_t sub = 1u << MainBits;
        for (uint32_t i = firstLong; i < (1u << MainBits); ++i, sub += 1u << kSubBits)
            entries[i] = static_cast<uint16_t>(kSubFlag | sub);

        for (int ch = 0; ch < Symbols; ++ch) {
            const int len = lengths[ch];
            if (len == 0) continue;
            const uint32_t code = start[len];
            start[len] = code + (1u << (16 - len));
            const uint16_t e = Entry(ch, len);
            if (len <= MainBits) {
                std::fill_n(entries.begin() + (code >> kSubBits), 1u << (MainBits - len), e);
            } else {
                const uint32_t at =
                    (entries[code >> kSubBits] & ~kSubFlag) + (code & ((1u << kSubBits) - 1));
                std::fill_n(entries.begin() + at, 1u << (16 - len), e);
            }
        }
    }

    // The entry for the 64-bit buffer whose top bits are the next bits of the stream.
    uint32_t Look(uint64_t bits) const {
        uint32_t e = entries[bits >> (64 - MainBits)];
        if (e & kSubFlag) [[unlikely]]
            e = entries[(e & ~kSubFlag) + ((bits >> 48) & ((1u << kSubBits) - 1))];
        return e;
    }
};

uint64_t LoadBigEndian64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
    return v;
}

struct Lh5DecoderState {
    explicit Lh5DecoderState(TLhaCodecState& io) : io(io) {}

    TLhaCodecState& io;

    // --- Input: a staging copy of the packed bytes and the bit buffer over it ---

    static constexpr int kStageSize = TLhaCodecState::kBufferSize + 16;
    std::array<uint8_t, kStageSize + 8> stage{};
    int stageEnd = 0;   // bytes held in stage (zeros past the end of the input count too)
    bool ended = false; // the input is exhausted; zeros follow it
    // Where the input ended, relative to the start of stage (moves down as stage slides).
    int64_t dataEnd = INT64_MAX;
    // The bit buffer: `count` bits (at least 56 after a refill) at the top of `buf` are
    // the next bits of the stream; they end at the byte `ptr`.
    uint64_t buf = 0;
    int count = 0;
    const uint8_t* ptr = nullptr;

    // Slides the unread bytes to the front of stage and reads more behind them; past the
    // end of the input the stage is filled with zero bits.
    [[gnu::noinline]] void FillStage() {
        const int keep = stageEnd - static_cast<int>(ptr - stage.data());
        const int shift = stageEnd - keep;
        std::memmove(stage.data(), ptr, static_cast<size_t>(keep));
        ptr = stage.data();
        dataEnd -= ended ? shift : 0;
        int n = 0;
        if (!ended) {
            n = static_cast<int>(io.ReadBytes(stage.data() + keep, kStageSize - keep));
            if (n < kStageSize - keep) {
                ended = true;
                dataEnd = keep + n;
            }
        }
        std::memset(stage.data() + keep + n, 0, static_cast<size_t>(kStageSize - keep - n));
        stageEnd = ended ? kStageSize : keep + n;
    }

    // Brings the bit buffer to at least 56 bits.
    [[gnu::always_inline]] void Refill() {
        if (ptr > stage.data() + stageEnd - 8) [[unlikely]]
            FillStage();
        buf |= LoadBigEndian64(ptr) >> count;
        ptr += (63 - count) >> 3;
        count |= 56;
    }

    void Drop(int n) {
        buf <<= n;
        count -= n;
    }

    // Takes n bits (n <= 16), refilling first when needed.
    uint32_t GetBits(int n) {
        if (n == 0) return 0;
        if (count < n) Refill();
        const uint32_t v = static_cast<uint32_t>(buf >> (64 - n));
        Drop(n);
        return v;
    }

    // Data that ends before the decoder is done with it is damaged: without this, a few
    // damaged bytes that declare a large size would expand into that much garbage.
    void CheckNotPastEnd() const {
        const int64_t taken = (ptr - stage.data()) * 8 - count;
        if (taken > dataEnd * 8) throw ELhaBadCRC();
    }

    // --- Block headers ---

    LookupTable<12, kNC> cTable;
    LookupTable<8, kNT> tTable;
    LookupTable<8, kNP> pTable;
    std::array<uint8_t, kNC> cLen{};
    std::array<uint8_t, kNT> ptLen{};
    uint16_t blockRemaining = 0; // a count of 0 stands for 65536 items

    // Reads the lengths of the pre-tree (nn = 19, special = 3) or of the position code
    // (nn = 14, special = -1) and builds its table.
    template <class Table> void ReadPtLen(Table& table, int nn, int nbit, int iSpecial) {
        const int n = static_cast<int>(GetBits(nbit));
        if (n == 0) {
            const uint32_t c = GetBits(nbit);
            if (c >= static_cast<uint32_t>(nn)) throw ELZHBadDecodeTable();
            table.Single(static_cast<int>(c));
            return;
        }
        if (n > nn) throw ELZHBadDecodeTable();
        int i = 0;
        while (i < n) {
            uint32_t c = GetBits(3);
            if (c == 7) {
                while (GetBits(1) == 1) {
                    if (++c > kMaxCodeLength) throw ELZHBadDecodeTable();
                }
            }
            ptLen[i++] = static_cast<uint8_t>(c);
            if (i == iSpecial) {
                int zeros = static_cast<int>(GetBits(2));
                while (zeros-- > 0 && i < nn)
                    ptLen[i++] = 0;
            }
        }
        while (i < nn)
            ptLen[i++] = 0;
        table.Build(ptLen.data());
    }

    void ReadCLen() {
        const int n = static_cast<int>(GetBits(9));
        if (n == 0) {
            const uint32_t c = GetBits(9);
            if (c >= static_cast<uint32_t>(kNC)) throw ELZHBadDecodeTable();
            cTable.Single(static_cast<int>(c));
            return;
        }
        if (n > kNC) throw ELZHBadDecodeTable();
        int i = 0;
        while (i < n) {
            Refill();
            const uint32_t e = tTable.Look(buf);
            Drop(static_cast<int>(e >> 9));
            const int c = static_cast<int>(e & 0x1FF);
            if (c <= 2) {
                int run = 1;
                if (c == 1)
                    run = static_cast<int>(GetBits(4)) + 3;
                else if (c == 2)
                    run = static_cast<int>(GetBits(9)) + 20;
                if (i + run > kNC) throw ELZHBadDecodeTable();
                while (run-- > 0)
                    cLen[i++] = 0;
            } else {
                cLen[i++] = static_cast<uint8_t>(c - 2);
            }
        }
        while (i < kNC)
            cLen[i++] = 0;
        cTable.Build(cLen.data());
    }

    [[gnu::noinline]] void ReadBlockHeader() {
        blockRemaining = static_cast<uint16_t>(GetBits(16));
        ReadPtLen(tTable, kNT, 5, 3);
        ReadCLen();
        ReadPtLen(pTable, kNP, 4, -1);
    }

    // --- Output window ---

    // The 8192 bytes before the piece being produced, the piece, room for a last match
    // that runs past the piece's end and for the 8-byte steps of the copy.
    static constexpr int kPiece = 1 << 16;
    std::array<uint8_t, kDicSize + kPiece + kMaxMatch + 8> window{};

    void Run(int64_t size) {
        uint8_t* const win = window.data();
        std::memset(win, 0x20, kDicSize);
        ptr = stage.data();
        int64_t left = size; // bytes still to produce
        while (left > 0) {
            int64_t w = kDicSize;
            // The piece ends at its room or at the declared size; a match is only cut at
            // the declared size (exactly that many bytes are written).
            const int64_t end = w + left;
            const int64_t stop = std::min<int64_t>(end, kDicSize + kPiece);
            while (w < stop) {
                if (blockRemaining == 0) ReadBlockHeader();
                --blockRemaining;
                // An item takes at most 16 + 16 + 12 bits.
                if (count < 44) Refill();
                const uint32_t e = cTable.Look(buf);
                Drop(static_cast<int>(e >> 9));
                const uint32_t c = e & 0x1FF;
                if (c < 256) {
                    if (ptr - stage.data() > dataEnd) [[unlikely]]
                        CheckNotPastEnd();
                    win[w++] = static_cast<uint8_t>(c);
                    continue;
                }
                const uint32_t pe = pTable.Look(buf);
                Drop(static_cast<int>(pe >> 9));
                uint32_t d = pe & 0x1FF; // distance - 1
                if (d > 1) {
                    const int extra = static_cast<int>(d) - 1;
                    d = (1u << extra) + static_cast<uint32_t>(buf >> (64 - extra));
                    Drop(extra);
                }
                if (ptr - stage.data() > dataEnd) [[unlikely]]
                    CheckNotPastEnd();
                int64_t length = c - 253;
                if (length > end - w) length = end - w;
                uint8_t* to = win + w;
                const uint8_t* from = to - d - 1;
                if (d >= 7) {
                    for (int64_t i = 0; i < length; i += 8)
                        std::memcpy(to + i, from + i, 8);
                } else if (d == 0) {
                    std::memset(to, *from, static_cast<size_t>(length));
                } else {
                    for (int64_t i = 0; i < length; ++i)
                        to[i] = from[i];
                }
                w += length;
            }
            io.WriteBytes(win + kDicSize, w - kDicSize);
            left -= w - kDicSize;
            std::memmove(win, win + w - kDicSize, kDicSize);
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
