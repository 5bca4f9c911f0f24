// The -lh1- method: LZ77 over a 4096-byte ring with matches of 3 to 60 bytes, one adaptive
// Huffman code for literals and match lengths, and a fixed code for the upper 6 bits of
// match positions. Both directions.
#include "archive/BitIo.h"
#include "archive/LhaCoders.h"

#include <array>
#include <cstring>
#include <memory>

namespace larderly::lha {
namespace {

constexpr int kN = 4096;                      // ring size
constexpr int kF = 60;                        // longest match
constexpr int kThreshold = 2;                 // matches this long or shorter are sent as literals
constexpr int kNChar = 256 - kThreshold + kF; // 314 symbols
constexpr int kT = 2 * kNChar - 1;            // 627 tree nodes
constexpr int kR = kT - 1;                    // root
constexpr uint16_t kMaxFreq = 0x8000;
constexpr int kStart = kN - kF; // first position coded: 4036

// Fixed code of the upper 6 bits of a match position: lengths by value, canonical codes.
struct PositionCode {
    uint8_t len[64];
    uint8_t code[64];
    uint8_t decodeValue[256]; // by the next 8 bits: the upper 6 bits ...
    uint8_t decodeLen[256];   // ... and the code's length
    PositionCode() {
        for (int u = 0; u < 64; ++u)
            len[u] = u < 1 ? 3 : u < 4 ? 4 : u < 12 ? 5 : u < 24 ? 6 : u < 48 ? 7 : 8;
        unsigned next = 0;
        int prevLen = len[0];
        for (int u = 0; u < 64; ++u) {
            next <<= (len[u] - prevLen);
            prevLen = len[u];
            code[u] = static_cast<uint8_t>(next);
            const int free = 8 - len[u];
            for (unsigned k = 0; k < (1u << free); ++k) {
                decodeValue[(next << free) | k] = static_cast<uint8_t>(u);
                decodeLen[(next << free) | k] = len[u];
            }
            ++next;
        }
    }
};
const PositionCode kPositionCode;

// The adaptive Huffman tree shared by both directions; encoder and decoder update it
// identically after every symbol.
struct AdaptiveTree {
    uint16_t freq[kT + 1];
    int16_t prnt[kT + kNChar]; // parents of nodes, and at kT + c the parent of leaf symbol c
    int16_t son[kT];           // first child of a node (a leaf holds kT + symbol)

    AdaptiveTree() {
        for (int i = 0; i < kNChar; ++i) {
            freq[i] = 1;
            son[i] = static_cast<int16_t>(i + kT);
            prnt[i + kT] = static_cast<int16_t>(i);
        }
        for (int i = 0, j = kNChar; j <= kR; i += 2, ++j) {
            freq[j] = static_cast<uint16_t>(freq[i] + freq[i + 1]);
            son[j] = static_cast<int16_t>(i);
            prnt[i] = prnt[i + 1] = static_cast<int16_t>(j);
        }
        freq[kT] = 0xFFFF; // sentinel for the search in Update
        prnt[kR] = 0;
    }

    // Halves the frequencies and rebuilds the tree.
    void Reconstruct() {
        int j = 0;
        for (int i = 0; i < kT; ++i) {
            if (son[i] >= kT) {
                freq[j] = static_cast<uint16_t>((freq[i] + 1) / 2);
                son[j] = son[i];
                j++;
            }
        }
        for (int i = 0, jj = kNChar; jj < kT; i += 2, ++jj) {
            const uint16_t f = static_cast<uint16_t>(freq[i] + freq[i + 1]);
            freq[jj] = f;
            int k = jj - 1;
            while (f < freq[k])
                --k;
            ++k;
            const size_t l = static_cast<size_t>(jj - k);
            std::memmove(&freq[k + 1], &freq[k], l * sizeof(freq[0]));
            freq[k] = f;
            std::memmove(&son[k + 1], &son[k], l * sizeof(son[0]));
            son[k] = static_cast<int16_t>(i);
        }
        for (int i = 0; i < kT; ++i) {
            const int k = son[i];
            if (k >= kT)
                prnt[k] = static_cast<int16_t>(i);
            else
                prnt[k] = prnt[k + 1] = static_cast<int16_t>(i);
        }
    }

    void Update(int c) {
        if (freq[kR] == kMaxFreq) Reconstruct();
        c = prnt[c + kT];
        do {
            const uint16_t k = ++freq[c];
            int l = c + 1;
            if (k > freq[l]) {
                while (k > freq[++l]) {
                }
                l--;
                freq[c] = freq[l];
                freq[l] = k;
                const int i = son[c];
                prnt[i] = static_cast<int16_t>(l);
                if (i < kT) prnt[i + 1] = static_cast<int16_t>(l);
                const int j = son[l];
                son[l] = static_cast<int16_t>(i);
                prnt[j] = static_cast<int16_t>(c);
                if (j < kT) prnt[j + 1] = static_cast<int16_t>(c);
                son[c] = static_cast<int16_t>(j);
                c = l;
            }
        } while ((c = prnt[c]) != 0);
    }
};

struct Lh1EncoderState {
    explicit Lh1EncoderState(TLhaCodecState& io) : io(io), bits(io) {
        for (auto& d : dad)
            d = kNil;
        for (int i = kN + 1; i <= kN + kRoots; ++i)
            rson[i] = kNil;
    }

    static constexpr int kNil = kN;     // no node
    static constexpr int kRoots = 4096; // trees chosen by the first three bytes

    TLhaCodecState& io;
    BitWriter bits;
    AdaptiveTree tree;
    // Ring with its first kF - 1 bytes mirrored after the end.
    uint8_t text[kN + kF - 1] = {};
    // Binary search trees of ring positions ordered by their kF-byte strings; the root of
    // tree h is the right child of the pseudo-node kN + 1 + h.
    uint16_t lson[kN + 1] = {};
    uint16_t rson[kN + 1 + kRoots] = {};
    uint16_t dad[kN + 1] = {};
    int matchLength = 0;
    int matchPosition = 0; // distance - 1

    int RootOf(int r) const {
        const unsigned x = text[r + 1] ^ text[r + 2];
        return kN + 1 + text[r] + 256 * static_cast<int>((x ^ (x >> 4)) & 15);
    }

    // Enters the string at ring position r and finds the longest match for it among the
    // strings on its search path (on equal lengths the nearer one). A string equal to r's
    // over all kF bytes gives its place in the tree to r.
    void InsertNode(int r) {
        const uint8_t* key = &text[r];
        int p = RootOf(r);
        int cmp = 1;
        rson[r] = lson[r] = kNil;
        matchLength = 0;
        for (;;) {
            if (cmp >= 0) {
                if (rson[p] != kNil) {
                    p = rson[p];
                } else {
                    rson[p] = static_cast<uint16_t>(r);
                    dad[r] = static_cast<uint16_t>(p);
                    return;
                }
            } else {
                if (lson[p] != kNil) {
                    p = lson[p];
                } else {
                    lson[p] = static_cast<uint16_t>(r);
                    dad[r] = static_cast<uint16_t>(p);
                    return;
                }
            }
            int i = 0;
            for (; i < kF; ++i)
                if ((cmp = key[i] - text[p + i]) != 0) break;
            if (i > kThreshold) {
                const int position = ((r - p) & (kN - 1)) - 1;
                if (i > matchLength) {
                    matchPosition = position;
                    if ((matchLength = i) >= kF) break;
                } else if (i == matchLength && position < matchPosition) {
                    matchPosition = position;
                }
            }
        }
        // r takes p's place.
        dad[r] = dad[p];
        lson[r] = lson[p];
        rson[r] = rson[p];
        dad[lson[p]] = static_cast<uint16_t>(r);
        dad[rson[p]] = static_cast<uint16_t>(r);
        if (rson[dad[p]] == p)
            rson[dad[p]] = static_cast<uint16_t>(r);
        else
            lson[dad[p]] = static_cast<uint16_t>(r);
        dad[p] = kNil;
    }

    // Removes ring position p from its tree (nothing when it is not in one).
    void DeleteNode(int p) {
        if (dad[p] == kNil) return;
        int q;
        if (rson[p] == kNil) {
            q = lson[p];
        } else if (lson[p] == kNil) {
            q = rson[p];
        } else {
            // Two children: the in-order predecessor takes p's place.
            q = lson[p];
            if (rson[q] != kNil) {
                do {
                    q = rson[q];
                } while (rson[q] != kNil);
                rson[dad[q]] = lson[q];
                dad[lson[q]] = dad[q];
                lson[q] = lson[p];
                dad[lson[p]] = static_cast<uint16_t>(q);
            }
            rson[q] = rson[p];
            dad[rson[p]] = static_cast<uint16_t>(q);
        }
        dad[q] = dad[p];
        if (rson[dad[p]] == p)
            rson[dad[p]] = static_cast<uint16_t>(q);
        else
            lson[dad[p]] = static_cast<uint16_t>(q);
        dad[p] = kNil;
    }

    void EncodeChar(int c) {
        uint64_t code = 0;
        int length = 0;
        for (int k = tree.prnt[c + kT]; k != kR; k = tree.prnt[k]) {
            code |= static_cast<uint64_t>(k & 1) << length;
            ++length;
        }
        while (length > 32) {
            length -= 32;
            bits.PutBits(32, static_cast<uint32_t>(code >> length));
        }
        bits.PutBits(length, static_cast<uint32_t>(code));
        tree.Update(c);
    }

    void EncodePosition(int c) {
        const int u = c >> 6;
        bits.PutBits(kPositionCode.len[u], kPositionCode.code[u]);
        bits.PutBits(6, static_cast<uint32_t>(c & 0x3F));
    }

    void Store(int s, uint8_t b) {
        text[s] = b;
        if (s < kF - 1) text[s + kN] = b;
    }

    void Run() {
        for (int i = 0; i < kStart; ++i)
            text[i] = 0x20;
        for (int i = 0; i < kF - 1; ++i)
            text[kN + i] = text[i];
        int len = 0;
        while (len < kF) {
            const uint8_t b = io.ReadByte();
            if (io.EndOfInput()) break;
            Store(kStart + len, b);
            ++len;
        }
        if (len == 0) return;

        // The 60 spaces just before the first byte enter the match finder too (nearest
        // last), so a file that starts with spaces begins with a match into them; every
        // reader's ring starts with spaces there. The match comes from the last insertion.
        int s = 0;
        int r = kStart;
        for (int i = 1; i <= kF; ++i)
            InsertNode(r - i);
        InsertNode(r);
        do {
            if (matchLength > len) matchLength = len;
            if (matchLength <= kThreshold) {
                matchLength = 1;
                EncodeChar(text[r]);
            } else {
                EncodeChar(255 - kThreshold + matchLength);
                EncodePosition(matchPosition);
            }
            const int lastMatchLength = matchLength;
            int i = 0;
            for (; i < lastMatchLength; ++i) {
                const uint8_t b = io.ReadByte();
                if (io.EndOfInput()) break;
                DeleteNode(s);
                Store(s, b);
                s = (s + 1) & (kN - 1);
                r = (r + 1) & (kN - 1);
                InsertNode(r);
            }
            for (; i < lastMatchLength; ++i) {
                DeleteNode(s);
                s = (s + 1) & (kN - 1);
                r = (r + 1) & (kN - 1);
                if (--len) InsertNode(r);
            }
        } while (len > 0);
        bits.FlushPartial();
        bits.Finish();
    }
};

struct Lh1DecoderState {
    explicit Lh1DecoderState(TLhaCodecState& io) : io(io), bits(io) {}

    TLhaCodecState& io;
    BitReader bits;
    AdaptiveTree tree;
    uint8_t text[kN] = {};

    int DecodeChar() {
        int c = tree.son[kR];
        while (c < kT) {
            c += static_cast<int>(bits.GetBits(1));
            c = tree.son[c];
        }
        c -= kT;
        tree.Update(c);
        return c;
    }

    int DecodePosition() {
        unsigned i = bits.GetBits(8);
        const unsigned c = static_cast<unsigned>(kPositionCode.decodeValue[i]) << 6;
        int j = kPositionCode.decodeLen[i] - 2;
        while (j-- > 0)
            i = (i << 1) + bits.GetBits(1);
        return static_cast<int>(c | (i & 0x3F));
    }

    void Run(int64_t size) {
        for (int i = 0; i < kStart; ++i)
            text[i] = 0x20;
        int r = kStart;
        int64_t produced = 0;
        while (produced < size) {
            const int c = DecodeChar();
            if (c < 256) {
                bits.CheckNotPastEnd();
                io.WriteByte(static_cast<uint8_t>(c));
                text[r] = static_cast<uint8_t>(c);
                r = (r + 1) & (kN - 1);
                ++produced;
            } else {
                int i = (r - DecodePosition() - 1) & (kN - 1);
                bits.CheckNotPastEnd();
                // Exactly the declared size is written: a last match that runs past it
                // is cut there.
                int64_t length = c - 255 + kThreshold;
                if (length > size - produced) length = size - produced;
                produced += length;
                while (length-- > 0) {
                    const uint8_t b = text[i];
                    i = (i + 1) & (kN - 1);
                    io.WriteByte(b);
                    text[r] = b;
                    r = (r + 1) & (kN - 1);
                }
            }
        }
    }
};

} // namespace

void Lh1Encode(TLhaCodecState& io) {
    auto state = std::make_unique<Lh1EncoderState>(io);
    state->Run();
}

void Lh1Decode(TLhaCodecState& io, int64_t uncompressedSize) {
    if (uncompressedSize <= 0) return;
    auto state = std::make_unique<Lh1DecoderState>(io);
    state->Run(uncompressedSize);
}

} // namespace larderly::lha
