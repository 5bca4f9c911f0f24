// Accent-blind ordering of titles.
#include "platform/TitleOrder.h"

#include "platform/Text.h"

#include <algorithm>
#include <cstdint>

namespace larderly {

namespace {
// Base letters (upper case) of U+00C0 to U+017F; "" leaves the character as it is.
const char* BaseLetters(uint32_t cp) {
    static const char* const latin1[64] = {
        "A", "A", "A", "A", "A", "A", "AE", "C", "E", "E", "E", "E", "I", "I", "I",  "I",
        "D", "N", "O", "O", "O", "O", "O",  "",  "O", "U", "U", "U", "U", "Y", "TH", "SS",
        "A", "A", "A", "A", "A", "A", "AE", "C", "E", "E", "E", "E", "I", "I", "I",  "I",
        "D", "N", "O", "O", "O", "O", "O",  "",  "O", "U", "U", "U", "U", "Y", "TH", "Y"};
    if (cp >= 0xC0 && cp <= 0xFF) return latin1[cp - 0xC0];
    // Latin Extended-A: runs of code points that share a base letter.
    struct Run {
        uint32_t last;
        const char* base;
    };
    static const Run runs[] = {
        {0x105, "A"}, {0x10D, "C"},  {0x111, "D"}, {0x11B, "E"}, {0x123, "G"}, {0x127, "H"},
        {0x131, "I"}, {0x133, "IJ"}, {0x135, "J"}, {0x138, "K"}, {0x142, "L"}, {0x14B, "N"},
        {0x151, "O"}, {0x153, "OE"}, {0x159, "R"}, {0x161, "S"}, {0x167, "T"}, {0x173, "U"},
        {0x175, "W"}, {0x178, "Y"},  {0x17E, "Z"}, {0x17F, "S"}};
    if (cp < 0x100 || cp > 0x17F) return "";
    for (const Run& r : runs)
        if (cp <= r.last) return r.base;
    return "";
}

// Walks a title as the bytes CompareTitles compares first: a-z upper-cased, the accented
// letters as their base letters, every other byte as it is.
class TitleFold {
public:
    explicit TitleFold(std::string_view s) : s_(s) {}
    // The next byte, or -1 at the end.
    int Next() {
        if (*pending_) return static_cast<unsigned char>(*pending_++);
        if (i_ >= s_.size()) return -1;
        const auto c = static_cast<unsigned char>(s_[i_]);
        // Two-byte UTF-8 sequences C3 xx and C4/C5 xx hold U+00C0 to U+017F.
        if (c >= 0xC3 && c <= 0xC5 && i_ + 1 < s_.size()) {
            const auto d = static_cast<unsigned char>(s_[i_ + 1]);
            if ((d & 0xC0) == 0x80) {
                const uint32_t cp = ((c & 0x1Fu) << 6) | (d & 0x3Fu);
                const char* base = BaseLetters(cp);
                if (*base) {
                    i_ += 2;
                    pending_ = base + 1;
                    return static_cast<unsigned char>(*base);
                }
            }
        }
        ++i_;
        return static_cast<unsigned char>(UpperAZ(static_cast<char>(c)));
    }

private:
    std::string_view s_;
    std::size_t i_ = 0;
    const char* pending_ = "";
};
} // namespace

int CompareTitles(std::string_view a, std::string_view b) {
    TitleFold x(a), y(b);
    for (;;) {
        const int p = x.Next(), q = y.Next();
        if (p != q) return p < q ? -1 : 1;
        if (p < 0) break;
    }
    return CompareFolded(a, b);
}

void TitleSortPrefix(std::string_view s, unsigned char* out, std::size_t n) {
    TitleFold f(s);
    for (std::size_t i = 0; i < n; ++i) {
        const int c = f.Next();
        if (c < 0) {
            std::fill(out + i, out + n, static_cast<unsigned char>(0));
            return;
        }
        out[i] = static_cast<unsigned char>(c);
    }
}

} // namespace larderly
