// Text helpers: character-counted cuts, a-z folding, trimming, Windows-1252 decoding.
#include "platform/Text.h"

#include <cstdint>
#include <cstring>

namespace larderly {

namespace {

// Length of the UTF-8 sequence starting at s[i], or 1 when it is not a valid sequence.
std::size_t SeqLen(std::string_view s, std::size_t i) {
    auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80           ? 1
                    : (c >> 5) == 0x6  ? 2
                    : (c >> 4) == 0xE  ? 3
                    : (c >> 3) == 0x1E ? 4
                                       : 0;
    if (n <= 1) return 1;
    if (i + n > s.size()) return 1;
    for (std::size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
    return n;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Windows-1252 code points for bytes 0x80-0x9F.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

std::string CutChars(std::string_view s, std::size_t n) {
    std::size_t i = 0, count = 0;
    while (i < s.size() && count < n) {
        i += SeqLen(s, i);
        ++count;
    }
    return std::string(s.substr(0, i));
}

std::size_t CharCount(std::string_view s) {
    std::size_t i = 0, count = 0;
    while (i < s.size()) {
        i += SeqLen(s, i);
        ++count;
    }
    return count;
}

char LowerAZ(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string FoldAZ(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = LowerAZ(c);
    return out;
}

char UpperAZ(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string UpperAZ(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = UpperAZ(c);
    return out;
}

int CompareFolded(std::string_view a, std::string_view b) {
    std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(UpperAZ(a[i]));
        const auto y = static_cast<unsigned char>(UpperAZ(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool SameTextAZ(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareFolded(a, b) == 0;
}

bool StartsWithAZ(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && SameTextAZ(s.substr(0, prefix.size()), prefix);
}

std::string TrimLeftCodes(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && static_cast<unsigned char>(s[i]) <= 32)
        ++i;
    return std::string(s.substr(i));
}

std::string TrimRightCodes(std::string_view s) {
    std::size_t n = s.size();
    while (n > 0 && static_cast<unsigned char>(s[n - 1]) <= 32)
        --n;
    return std::string(s.substr(0, n));
}

std::string TrimCodes(std::string_view s) {
    return TrimLeftCodes(TrimRightCodes(s));
}

bool IsValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        // Eight ASCII bytes at a time.
        if (i + 8 <= s.size()) {
            uint64_t word;
            std::memcpy(&word, s.data() + i, 8);
            if (!(word & 0x8080808080808080ULL)) {
                i += 8;
                continue;
            }
        }
        auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t n = SeqLen(s, i);
        if (n == 1) return false;
        // Reject overlong forms, surrogates and code points above U+10FFFF.
        uint32_t cp = n == 2 ? (c & 0x1F) : n == 3 ? (c & 0x0F) : (c & 0x07);
        for (std::size_t k = 1; k < n; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        if ((n == 2 && cp < 0x80) || (n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000) ||
            cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n;
    }
    return true;
}

std::string DecodeWindows1252(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (char ch : bytes) {
        auto c = static_cast<unsigned char>(ch);
        if (c < 0x80)
            out += ch;
        else if (c < 0xA0)
            AppendUtf8(out, kCp1252High[c - 0x80]);
        else
            AppendUtf8(out, c);
    }
    return out;
}

std::string ToUtf8(std::string_view bytes) {
    return IsValidUtf8(bytes) ? std::string(bytes) : DecodeWindows1252(bytes);
}

} // namespace larderly
