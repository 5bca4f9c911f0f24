// Helpers of the codec tests: coding whole buffers through CodeStream, deterministic
// test data, and a minimal level-0 archive around one coded entry for the external tools.
#pragma once

#include "archive/LhaCodec.h"
#include "archive/Streams.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace larderly::testutil {

using Bytes = std::vector<uint8_t>;

inline Bytes ToBytes(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

struct Coded {
    Bytes data;
    TLhaCodeResult result;
};

inline Coded Compress(TLhaCodecState& state, TLhaMethod method, const Bytes& input,
                      const std::string& password = {}) {
    TMemoryStream in(input);
    TMemoryStream out;
    Coded c;
    c.result = state.CodeStream(TLhaCodeDirection::Compress, method, in, out,
                                static_cast<int64_t>(input.size()), 0, false, password);
    c.data = out.Bytes();
    return c;
}

inline Coded Compress(TLhaMethod method, const Bytes& input, const std::string& password = {}) {
    TLhaCodecState state;
    return Compress(state, method, input, password);
}

inline Coded Expand(TLhaCodecState& state, TLhaMethod method, const Bytes& packed, int64_t size,
                    bool encrypted = false, const std::string& password = {}, bool legacy = false) {
    TMemoryStream in(packed);
    TMemoryStream out;
    Coded c;
    c.result =
        state.CodeStream(TLhaCodeDirection::Expand, method, in, out,
                         static_cast<int64_t>(packed.size()), size, encrypted, password, legacy);
    c.data = out.Bytes();
    return c;
}

inline Coded Expand(TLhaMethod method, const Bytes& packed, int64_t size, bool encrypted = false,
                    const std::string& password = {}, bool legacy = false) {
    TLhaCodecState state;
    return Expand(state, method, packed, size, encrypted, password, legacy);
}

// Deterministic pseudo-random bytes (xorshift).
inline Bytes RandomBytes(size_t n, uint32_t seed = 12345) {
    Bytes b(n);
    uint32_t x = seed ? seed : 1;
    for (auto& v : b) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        v = static_cast<uint8_t>(x >> 24);
    }
    return b;
}

// Deterministic English-like text: words drawn from a fixed vocabulary with a skewed
// distribution, sentences and line breaks.
inline Bytes EnglishText(size_t n, uint32_t seed = 7) {
    static const char* const kWords[] = {
        "the",        "of",     "and",    "a",       "to",      "in",     "is",      "you",
        "that",       "it",     "he",     "was",     "for",     "on",     "are",     "as",
        "with",       "his",    "they",   "I",       "at",      "be",     "this",    "have",
        "from",       "or",     "one",    "had",     "by",      "word",   "but",     "not",
        "what",       "all",    "were",   "we",      "when",    "your",   "can",     "said",
        "there",      "use",    "an",     "each",    "which",   "she",    "do",      "how",
        "their",      "if",     "will",   "up",      "other",   "about",  "out",     "many",
        "then",       "them",   "these",  "so",      "some",    "her",    "would",   "make",
        "like",       "him",    "into",   "time",    "has",     "look",   "two",     "more",
        "write",      "go",     "see",    "number",  "no",      "way",    "could",   "people",
        "my",         "than",   "first",  "water",   "been",    "call",   "who",     "oil",
        "its",        "now",    "find",   "long",    "down",    "day",    "did",     "get",
        "come",       "made",   "may",    "part",    "butter",  "flour",  "sugar",   "teaspoon",
        "tablespoon", "cup",    "oven",   "bake",    "minutes", "stir",   "until",   "golden",
        "brown",      "salt",   "pepper", "onion",   "garlic",  "simmer", "chicken", "sauce",
        "cream",      "cheese", "slice",  "chopped", "degrees"};
    constexpr size_t kCount = sizeof(kWords) / sizeof(kWords[0]);
    Bytes out;
    out.reserve(n + 32);
    uint32_t x = seed ? seed : 1;
    auto next = [&x] {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    size_t lineLen = 0;
    bool capital = true;
    while (out.size() < n) {
        // Skewed choice: the minimum of two draws favours the frequent words.
        const uint32_t a = next() % kCount, b = next() % kCount;
        std::string w = kWords[a < b ? a : b];
        if (capital) w[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(w[0])));
        capital = false;
        out.insert(out.end(), w.begin(), w.end());
        lineLen += w.size();
        const uint32_t r = next() % 100;
        if (r < 8) {
            out.push_back('.');
            capital = true;
        } else if (r < 12) {
            out.push_back(',');
        }
        if (lineLen > 64) {
            out.push_back('\n');
            lineLen = 0;
        } else {
            out.push_back(' ');
            ++lineLen;
        }
    }
    out.resize(n);
    return out;
}

// One level-0 archive holding `packed` as the entry `name`.
inline Bytes Level0Archive(const std::string& name, TLhaMethod method, const Bytes& packed,
                           uint32_t originalSize, uint16_t crc) {
    Bytes h;
    h.push_back(static_cast<uint8_t>(22 + name.size()));
    h.push_back(0);
    const auto id = LhaMethodId(method);
    h.insert(h.end(), id.begin(), id.end());
    auto put32 = [&h](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            h.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    put32(static_cast<uint32_t>(packed.size()));
    put32(originalSize);
    put32(0x5A2B6000); // 2025-01-11 12:00:00
    h.push_back(0x20);
    h.push_back(0);
    h.push_back(static_cast<uint8_t>(name.size()));
    h.insert(h.end(), name.begin(), name.end());
    h.push_back(static_cast<uint8_t>(crc));
    h.push_back(static_cast<uint8_t>(crc >> 8));
    uint8_t sum = 0;
    for (size_t i = 2; i < h.size(); ++i)
        sum = static_cast<uint8_t>(sum + h[i]);
    h[1] = sum;
    h.insert(h.end(), packed.begin(), packed.end());
    h.push_back(0);
    return h;
}

inline void WriteFile(const std::string& path, const Bytes& data) {
    TFileStream f(path, fmCreate);
    f.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
}

inline Bytes ReadFile(const std::string& path) {
    TFileStream f(path, fmOpenRead);
    Bytes b(static_cast<size_t>(f.Size()));
    f.ReadBuffer(b.data(), static_cast<int64_t>(b.size()));
    return b;
}

} // namespace larderly::testutil
