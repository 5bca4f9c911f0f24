// The -lh5- encoder: a path-compressed trie finds repeated strings in the 8192-byte
// window, literals and matches are buffered as items, and each block of items is sent with
// three Huffman codes built from that block's own frequencies.
#include "archive/BitIo.h"
#include "archive/LhaCoders.h"

#include <array>
#include <bit>
#include <cstring>
#include <memory>

namespace larderly::lha {
namespace {

constexpr int kDicBit = 13;
constexpr int kDicSize = 1 << kDicBit; // 8192
constexpr int kMaxMatch = 256;
constexpr int kThreshold = 3;
constexpr int kTextSize = 2 * kDicSize + kMaxMatch; // 16640
constexpr int kNil = 0;
// Children are found through hash buckets whose heads follow the nodes in `next`: as many
// buckets as 16-bit links can name (a multiple of 256, see Hash), about three per node.
constexpr int kBuckets = 3 << 14;
static_assert(kBuckets % 256 == 0);
constexpr int kBucketBase = 2 * kDicSize;
constexpr int kMaxHashVal = kBucketBase + kBuckets - 1;
static_assert(kMaxHashVal <= 0xFFFF, "chain links are 16-bit");
constexpr uint16_t kPercFlag = 0x8000;

constexpr int kNC = 510;
constexpr int kNP = 14;
constexpr int kNT = 19;
constexpr int kCBit = 9;
constexpr int kPBit = 4;
constexpr int kTBit = 5;
constexpr int kBufSize = 16384;

// Builds a canonical code with lengths of at most 16 bits from symbol frequencies.
// `freq` must have room for 2 * n - 1 nodes.
class CodeBuilder {
public:
    // Returns the root: a symbol (< n) when fewer than two symbols occur, that symbol's
    // length then being 0.
    int MakeTree(int n, uint16_t* freq, uint8_t* len, uint16_t* code) {
        FN = n;
        FFreq = freq;
        int avail = n;
        FHeapSize = 0;
        FHeap[1] = 0;
        for (int i = 0; i < n; ++i) {
            len[i] = 0;
            if (freq[i]) FHeap[++FHeapSize] = static_cast<int16_t>(i);
        }
        if (FHeapSize < 2) {
            code[FHeap[1]] = 0;
            return FHeap[1];
        }
        for (int i = FHeapSize / 2; i >= 1; --i)
            DownHeap(i);

        // Leaves in the order they leave the heap, least frequent first.
        int sorted[kNC];
        int sortCount = 0;
        int k = 0;
        do {
            const int i = FHeap[1];
            if (i < n) sorted[sortCount++] = i;
            FHeap[1] = FHeap[FHeapSize--];
            DownHeap(1);
            const int j = FHeap[1];
            if (j < n) sorted[sortCount++] = j;
            k = avail++;
            freq[k] = static_cast<uint16_t>(freq[i] + freq[j]);
            FHeap[1] = static_cast<int16_t>(k);
            DownHeap(1);
            FLeft[k] = static_cast<uint16_t>(i);
            FRight[k] = static_cast<uint16_t>(j);
        } while (FHeapSize > 1);

        MakeLen(k, sorted, len);
        MakeCode(n, len, code);
        return k;
    }

private:
    void DownHeap(int i) {
        const int k = FHeap[i];
        int j;
        while ((j = 2 * i) <= FHeapSize) {
            if (j < FHeapSize && FFreq[FHeap[j]] > FFreq[FHeap[j + 1]]) ++j;
            if (FFreq[k] <= FFreq[FHeap[j]]) break;
            FHeap[i] = FHeap[j];
            i = j;
        }
        FHeap[i] = static_cast<int16_t>(k);
    }

    void CountLen(int root) {
        // Depth of every leaf, deeper than 16 counted as 16 (iterative walk).
        struct Item {
            int node, depth;
        };
        Item stack[2 * kNC];
        int top = 0;
        stack[top++] = {root, 0};
        while (top > 0) {
            const Item it = stack[--top];
            if (it.node < FN) {
                FLenCnt[it.depth < 16 ? it.depth : 16]++;
            } else {
                // Right first so the left subtree is counted first.
                stack[top++] = {FRight[it.node], it.depth + 1};
                stack[top++] = {FLeft[it.node], it.depth + 1};
            }
        }
    }

    void MakeLen(int root, const int* sorted, uint8_t* len) {
        for (auto& c : FLenCnt)
            c = 0;
        CountLen(root);
        uint32_t cum = 0;
        for (int i = 16; i > 0; --i)
            cum += FLenCnt[i] << (16 - i);
        // Leaves deeper than 16 make the sum too large: move codes down until it fits.
        while (cum != (1u << 16)) {
            FLenCnt[16]--;
            for (int i = 15; i > 0; --i) {
                if (FLenCnt[i] != 0) {
                    FLenCnt[i]--;
                    FLenCnt[i + 1] += 2;
                    break;
                }
            }
            cum--;
        }
        int s = 0;
        for (int i = 16; i > 0; --i)
            for (uint32_t k = FLenCnt[i]; k > 0; --k)
                len[sorted[s++]] = static_cast<uint8_t>(i);
    }

    void MakeCode(int n, const uint8_t* len, uint16_t* code) {
        uint16_t start[18];
        start[1] = 0;
        for (int i = 1; i <= 16; ++i)
            start[i + 1] = static_cast<uint16_t>((start[i] + FLenCnt[i]) << 1);
        for (int i = 0; i < n; ++i)
            code[i] = start[len[i]]++;
    }

    int FN = 0;
    uint16_t* FFreq = nullptr;
    int FHeapSize = 0;
    int16_t FHeap[kNC + 1] = {};
    uint16_t FLeft[2 * kNC - 1] = {};
    uint16_t FRight[2 * kNC - 1] = {};
    uint32_t FLenCnt[17] = {};
};

struct Lh5EncoderState {
    explicit Lh5EncoderState(TLhaCodecState& io) : io(io), bits(io) {}

    TLhaCodecState& io;
    BitWriter bits;

    // Text buffer: the window T[pos - 8192 .. pos - 1] and the look-ahead from pos.
    uint8_t text[kTextSize + 8] = {};
    int pos = 0;
    int16_t remaining = 0;
    int matchLen = 0;
    int matchPos = 0;

    // Trie. Nodes 1..8191 internal, 8192..16383 leaves (leaf p = string at p),
    // 8192 + b the root of strings starting with byte b.
    // Internal nodes and roots: recorded position (bit 15: still to be passed up), parent
    // (internal nodes only; a copy of link[].parent, so that walks up the trie read one
    // record per node), level and child count (an internal node may have 256 children, so
    // it is 16-bit). Kept together because the match finder reads them together.
    struct Inner {
        uint16_t position;
        uint16_t parent;
        uint16_t childCount;
        uint8_t level;
    };
    // The record after the roots is a scratch record: writes meant only for internal nodes
    // go there for other nodes, so they need no branch (whether a node is internal is not
    // predictable).
    static constexpr int kScratch = kDicSize + 256;
    Inner inner[kScratch + 1] = {};
    static int InnerOrScratch(int node) { return node < kDicSize ? node : kScratch; }
    // Parent and chain successor of every node, and at kBucketBase + h the head of bucket h
    // (in next) with that head's parent (in parent), so that a lookup whose child heads its
    // chain reads the bucket only. When a bucket is empty its parent is left as it was:
    // a lookup matching it then finds the empty head, which is the right answer. next of a
    // replaced leaf names the leaf that replaced it; next also holds the free list of
    // internal nodes. A lookup reads both fields of a node at once.
    struct Link {
        uint16_t parent;
        uint16_t next;
    };
    Link link[kMaxHashVal + 1 + 1] = {};
    // Chain predecessor; for the first node of a chain, its bucket (kBucketBase + h).
    uint16_t prev[2 * kDicSize + 1] = {};
    int avail = 1;

    // Items and codes.
    uint8_t buf[kBufSize + 1] = {};
    unsigned outputPos = 0;
    unsigned outputMask = 0;
    unsigned cpos = 0;
    uint16_t cFreq[2 * kNC - 1] = {};
    uint16_t pFreq[2 * kNP - 1] = {};
    uint16_t tFreq[2 * kNT - 1] = {};
    uint8_t cLen[kNC] = {};
    uint16_t cCode[kNC] = {};
    uint8_t ptLen[kNT] = {};
    uint16_t ptCode[kNT] = {};
    CodeBuilder builder;

    // The bucket of q's child under byte c. q picks a group of 256 buckets and c one bucket
    // in it, so different bytes under the same parent always land in different buckets and
    // a lookup needs to compare parents only.
    static int Hash(int q, int c) {
        const uint32_t mixed = static_cast<uint32_t>(q) * 0x9E3779B1u;
        const uint32_t spread =
            static_cast<uint32_t>((static_cast<uint64_t>(mixed) * kBuckets) >> 32);
        return kBucketBase + static_cast<int>(spread ^ static_cast<uint32_t>(c));
    }

    void InitSlide() {
        for (int i = kDicSize; i <= kDicSize + 255; ++i) {
            inner[i].level = 1;
            inner[i].position = kNil;
        }
        for (int i = kDicSize; i < 2 * kDicSize; ++i)
            link[i].parent = kNil;
        avail = 1;
        for (int i = 1; i < kDicSize - 1; ++i)
            link[i].next = static_cast<uint16_t>(i + 1);
        link[kDicSize - 1].next = kNil;
        for (int i = kBucketBase; i <= kMaxHashVal; ++i)
            link[i] = {kNil, kNil};
    }

    int Child(int q, int c) {
        const Link head = link[Hash(q, c)];
        if (head.parent == q) return head.next;       // the head, or nil for an empty bucket
        link[kNil].parent = static_cast<uint16_t>(q); // sentinel: a miss ends on nil
        int r = link[head.next].next;
        while (link[r].parent != q)
            r = link[r].next;
        return r;
    }

    void MakeChild(int q, int c, int r) {
        const int h = Hash(q, c);
        const int t = link[h].next;
        link[h] = {static_cast<uint16_t>(q), static_cast<uint16_t>(r)};
        link[r].next = static_cast<uint16_t>(t);
        prev[t] = static_cast<uint16_t>(r);
        prev[r] = static_cast<uint16_t>(h);
        link[r].parent = static_cast<uint16_t>(q);
        inner[q].childCount++;
    }

    // Puts a new internal node above `old` where the string at p (sharing `len` bytes with
    // the one at mpos, which runs on through old) branches off, with old and leaf p below.
    void Split(int old, int p, int len, int mpos) {
        const int n = avail;
        avail = link[n].next;
        inner[n].childCount = 0;
        int t = prev[old];
        prev[n] = static_cast<uint16_t>(t);
        link[t].next = static_cast<uint16_t>(n);
        t = link[old].next;
        link[n].next = static_cast<uint16_t>(t);
        prev[t] = static_cast<uint16_t>(n);
        link[n].parent = link[old].parent;
        inner[n].parent = link[old].parent;
        inner[n].level = static_cast<uint8_t>(len);
        inner[n].position = static_cast<uint16_t>(p);
        MakeChild(n, text[mpos + len], old);
        inner[InnerOrScratch(old)].parent = static_cast<uint16_t>(n);
        MakeChild(n, text[p + len], p);
    }

    // How many of the first `n` bytes at a and b agree (n >= 0), eight at a time; reads
    // whole words, up to 7 bytes past the first n (the text buffer has room for that).
    static int CommonLength(const uint8_t* a, const uint8_t* b, int n) {
        if constexpr (std::endian::native == std::endian::little) {
            int i = 0;
            for (;;) {
                uint64_t x, y;
                std::memcpy(&x, a + i, 8);
                std::memcpy(&y, b + i, 8);
                if (x != y) {
                    const int k = i + std::countr_zero(x ^ y) / 8;
                    return k < n ? k : n;
                }
                i += 8;
                if (i >= n) return n;
            }
        } else {
            int i = 0;
            while (i < n && a[i] == b[i])
                ++i;
            return i;
        }
    }

    // Inserts the string at pos and leaves its longest match in matchLen / matchPos. Works
    // on local copies of the three, written back on the way out.
    [[gnu::always_inline]] void InsertNode() {
        const int p = pos;
        int len = matchLen;
        int mpos = matchPos;
        int q, r;
        if (len >= 4) {
            // The string at p shares len - 1 bytes with the one after the last match.
            len--;
            r = (mpos + 1) | kDicSize;
            while ((q = link[r].parent) == kNil)
                r = link[r].next;
            while (inner[q].level >= len) {
                r = q;
                q = inner[q].parent;
            }
            int t = q;
            while (inner[t].position & kPercFlag) {
                inner[t].position = static_cast<uint16_t>(p);
                t = inner[t].parent;
            }
            inner[InnerOrScratch(t)].position = static_cast<uint16_t>(p | kPercFlag);
        } else {
            q = text[p] + kDicSize;
            const int c = text[p + 1];
            if ((r = Child(q, c)) == kNil) {
                MakeChild(q, c, p);
                matchLen = 1;
                return;
            }
            len = 2;
        }
        for (;;) {
            // A leaf matches up to the longest match and names its own position.
            const bool leaf = r >= kDicSize;
            const Inner& node = inner[InnerOrScratch(r)];
            const int limit = leaf ? kMaxMatch : node.level;
            mpos = leaf ? r : node.position & ~kPercFlag;
            // Should the edge match to its end, the next lookup reads this bucket.
            if (!leaf) __builtin_prefetch(&link[Hash(r, text[p + limit])]);
            if (mpos >= p) mpos -= kDicSize;
            len += CommonLength(&text[p + len], &text[mpos + len], limit - len);
            if (len < limit) {
                Split(r, p, len, mpos);
                matchLen = len;
                matchPos = mpos;
                return;
            }
            if (len >= kMaxMatch) break;
            inner[r].position = static_cast<uint16_t>(p);
            q = r;
            const uint8_t c = text[p + len];
            if ((r = Child(q, c)) == kNil) {
                MakeChild(q, c, p);
                matchLen = len;
                matchPos = mpos;
                return;
            }
            len++;
        }
        matchLen = len;
        matchPos = mpos;
        // A full-length match: p replaces leaf r.
        int t = prev[r];
        prev[p] = static_cast<uint16_t>(t);
        link[t].next = static_cast<uint16_t>(p);
        t = link[r].next;
        link[p].next = static_cast<uint16_t>(t);
        prev[t] = static_cast<uint16_t>(p);
        link[p].parent = static_cast<uint16_t>(q);
        link[r].parent = kNil;
        link[r].next = static_cast<uint16_t>(p);
    }

    [[gnu::always_inline]] void DeleteNode() {
        if (link[pos].parent == kNil) return;
        int r = prev[pos];
        int s = link[pos].next;
        link[r].next = static_cast<uint16_t>(s);
        // A new chain head brings its parent to the bucket (a node's own parent is left
        // alone: the write then lands on the lookup sentinel).
        link[r >= kBucketBase ? r : kNil].parent = link[s].parent;
        prev[s] = static_cast<uint16_t>(r);
        r = link[pos].parent;
        link[pos].parent = kNil;
        if (r >= kDicSize || --inner[r].childCount > 1) return;
        int t = inner[r].position & ~kPercFlag;
        if (t >= pos) t -= kDicSize;
        s = t;
        int q = inner[r].parent;
        int u;
        while ((u = inner[q].position) & kPercFlag) {
            u &= ~kPercFlag;
            if (u >= pos) u -= kDicSize;
            if (u > s) s = u;
            inner[q].position = static_cast<uint16_t>(s | kDicSize);
            q = inner[q].parent;
        }
        if (u >= pos) u -= kDicSize;
        if (u > s) s = u;
        inner[InnerOrScratch(q)].position = static_cast<uint16_t>(s | kDicSize | kPercFlag);
        s = Child(r, text[t + inner[r].level]);
        t = prev[s];
        u = link[s].next;
        link[t].next = static_cast<uint16_t>(u);
        link[t >= kBucketBase ? t : kNil].parent = link[u].parent;
        prev[u] = static_cast<uint16_t>(t);
        t = prev[r];
        link[t].next = static_cast<uint16_t>(s);
        prev[s] = static_cast<uint16_t>(t);
        t = link[r].next;
        prev[t] = static_cast<uint16_t>(s);
        link[s].next = static_cast<uint16_t>(t);
        link[s].parent = inner[r].parent;
        inner[InnerOrScratch(s)].parent = inner[r].parent;
        link[r].parent = kNil;
        link[r].next = static_cast<uint16_t>(avail);
        avail = r;
    }

    // Reads up to `count` input bytes to T[at ..]; returns how many came.
    int ReadText(int at, int count) { return static_cast<int>(io.ReadBytes(&text[at], count)); }

    [[gnu::always_inline]] void GetNextMatch() {
        remaining--;
        if (++pos == 2 * kDicSize) {
            std::memmove(&text[0], &text[kDicSize], kDicSize + kMaxMatch);
            const int n = ReadText(kDicSize + kMaxMatch, kDicSize);
            remaining = static_cast<int16_t>(remaining + n);
            pos = kDicSize;
        }
        // The next deletion reads the child count of the next leaf's parent.
        __builtin_prefetch(&inner[InnerOrScratch(link[pos + 1].parent)]);
        // The insertion after a long match starts from the leaf after the match's position.
        if (matchLen >= 4) __builtin_prefetch(&inner[link[(matchPos + 1) | kDicSize].parent]);
        DeleteNode();
        InsertNode();
    }

    // --- Items and blocks ---

    void Output(unsigned c, unsigned p) {
        if ((outputMask >>= 1) == 0) {
            outputMask = 1u << 7;
            if (outputPos >= kBufSize - 24) {
                SendBlock();
                outputPos = 0;
            }
            cpos = outputPos++;
            buf[cpos] = 0;
        }
        buf[outputPos++] = static_cast<uint8_t>(c);
        cFreq[c]++;
        if (c >= 256) {
            buf[cpos] |= static_cast<uint8_t>(outputMask);
            buf[outputPos++] = static_cast<uint8_t>(p >> 8);
            buf[outputPos++] = static_cast<uint8_t>(p);
            pFreq[std::bit_width(p)]++;
        }
    }

    void CountTFreq() {
        for (int i = 0; i < kNT; ++i)
            tFreq[i] = 0;
        int n = kNC;
        while (n > 0 && cLen[n - 1] == 0)
            n--;
        int i = 0;
        while (i < n) {
            const int k = cLen[i++];
            if (k == 0) {
                int count = 1;
                while (i < n && cLen[i] == 0) {
                    i++;
                    count++;
                }
                if (count <= 2)
                    tFreq[0] = static_cast<uint16_t>(tFreq[0] + count);
                else if (count <= 18)
                    tFreq[1]++;
                else if (count == 19) {
                    tFreq[0]++;
                    tFreq[1]++;
                } else
                    tFreq[2]++;
            } else {
                tFreq[k + 2]++;
            }
        }
    }

    void WritePtLen(int n, int nbit, int iSpecial) {
        while (n > 0 && ptLen[n - 1] == 0)
            n--;
        bits.PutBits(nbit, static_cast<uint16_t>(n));
        int i = 0;
        while (i < n) {
            const int k = ptLen[i++];
            if (k <= 6)
                bits.PutBits(3, static_cast<uint16_t>(k));
            else
                bits.PutBits(k - 3, (1u << (k - 3)) - 2);
            if (i == iSpecial) {
                while (i < 6 && ptLen[i] == 0)
                    i++;
                bits.PutBits(2, static_cast<uint16_t>(i - 3) & 3);
            }
        }
    }

    void WriteCLen() {
        int n = kNC;
        while (n > 0 && cLen[n - 1] == 0)
            n--;
        bits.PutBits(kCBit, static_cast<uint16_t>(n));
        int i = 0;
        while (i < n) {
            const int k = cLen[i++];
            if (k == 0) {
                int count = 1;
                while (i < n && cLen[i] == 0) {
                    i++;
                    count++;
                }
                if (count <= 2) {
                    for (int z = 0; z < count; ++z)
                        bits.PutBits(ptLen[0], ptCode[0]);
                } else if (count <= 18) {
                    bits.PutBits(ptLen[1], ptCode[1]);
                    bits.PutBits(4, static_cast<uint16_t>(count - 3));
                } else if (count == 19) {
                    bits.PutBits(ptLen[0], ptCode[0]);
                    bits.PutBits(ptLen[1], ptCode[1]);
                    bits.PutBits(4, 15);
                } else {
                    bits.PutBits(ptLen[2], ptCode[2]);
                    bits.PutBits(kCBit, static_cast<uint16_t>(count - 20));
                }
            } else {
                bits.PutBits(ptLen[k + 2], ptCode[k + 2]);
            }
        }
    }

    void EncodeC(int c) { bits.PutBits(cLen[c], cCode[c]); }

    void EncodeP(unsigned p) {
        const int c = std::bit_width(p);
        bits.PutBits(ptLen[c], ptCode[c]);
        if (c > 1) bits.PutBits(c - 1, p & (0xFFFFu >> (17 - c)));
    }

    void SendBlock() {
        int root = builder.MakeTree(kNC, cFreq, cLen, cCode);
        const unsigned size = cFreq[root];
        bits.PutBits(16, size);
        if (root >= kNC) {
            CountTFreq();
            root = builder.MakeTree(kNT, tFreq, ptLen, ptCode);
            if (root >= kNT) {
                WritePtLen(kNT, kTBit, 3);
            } else {
                bits.PutBits(kTBit, 0);
                bits.PutBits(kTBit, static_cast<uint16_t>(root));
            }
            WriteCLen();
        } else {
            bits.PutBits(kTBit, 0);
            bits.PutBits(kTBit, 0);
            bits.PutBits(kCBit, 0);
            bits.PutBits(kCBit, static_cast<uint16_t>(root));
        }
        root = builder.MakeTree(kNP, pFreq, ptLen, ptCode);
        if (root >= kNP) {
            WritePtLen(kNP, kPBit, -1);
        } else {
            bits.PutBits(kPBit, 0);
            bits.PutBits(kPBit, static_cast<uint16_t>(root));
        }
        unsigned at = 0;
        unsigned flags = 0;
        for (unsigned i = 0; i < size; ++i) {
            if (i % 8 == 0)
                flags = buf[at++];
            else
                flags <<= 1;
            if (flags & 0x80) {
                EncodeC(buf[at++] + 256);
                unsigned k = static_cast<unsigned>(buf[at++]) << 8;
                k += buf[at++];
                EncodeP(k);
            } else {
                EncodeC(buf[at++]);
            }
        }
        for (auto& f : cFreq)
            f = 0;
        for (auto& f : pFreq)
            f = 0;
    }

    void Run() {
        InitSlide();
        const int n = ReadText(kDicSize + kMaxMatch, kDicSize);
        for (int i = kDicSize + kMaxMatch + n; i < kTextSize; ++i)
            text[i] = 0x20;
        remaining = static_cast<int16_t>(n);
        if (remaining == 0) return;

        pos = kDicSize + kMaxMatch;
        matchLen = 0;
        InsertNode();
        while (remaining > 0) {
            const int lastMatchLen = matchLen;
            const int lastMatchPos = matchPos;
            GetNextMatch();
            if (matchLen > remaining) matchLen = remaining;
            if (matchLen > lastMatchLen || lastMatchLen < kThreshold) {
                Output(text[pos - 1], 0);
            } else {
                Output(static_cast<unsigned>(lastMatchLen + (256 - kThreshold)),
                       static_cast<unsigned>(pos - lastMatchPos - 2) & (kDicSize - 1));
                for (int k = lastMatchLen - 1; k > 0; --k)
                    GetNextMatch();
                if (matchLen > remaining) matchLen = remaining;
            }
        }
        SendBlock();
        bits.PutBits(7, 0);
        bits.Finish();
    }
};

} // namespace

void Lh5Encode(TLhaCodecState& io) {
    auto state = std::make_unique<Lh5EncoderState>(io);
    state->Run();
}

} // namespace larderly::lha
