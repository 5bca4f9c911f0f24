// Field handling shared by the readers.
#include "import/ImportText.h"

#include "platform/Text.h"

namespace larderly::import {

namespace {

// Byte length of the character that starts at s[i]; lines are valid UTF-8, and a stray byte
// still counts as one character.
std::size_t CharLen(std::string_view s, std::size_t i) {
    auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80           ? 1
                    : (c >> 5) == 0x6  ? 2
                    : (c >> 4) == 0xE  ? 3
                    : (c >> 3) == 0x1E ? 4
                                       : 1;
    return i + n > s.size() ? s.size() - i : n;
}

// Byte offset of the character at 0-based position `chars`, or the end of the text.
std::size_t OffsetOfChar(std::string_view s, std::size_t chars) {
    std::size_t i = 0;
    while (i < s.size() && chars > 0) {
        i += CharLen(s, i);
        --chars;
    }
    return i;
}

} // namespace

std::string Columns(std::string_view line, std::size_t p, std::size_t q) {
    if (p < 1 || q < p) return {};
    std::size_t from = OffsetOfChar(line, p - 1);
    std::string_view rest = line.substr(from);
    return std::string(rest.substr(0, OffsetOfChar(rest, q - p + 1)));
}

std::string Field(std::string_view text) {
    return TrimCodes(CutChars(text, kFieldWidth));
}

std::string PadTo(std::string text, std::size_t n) {
    std::size_t have = CharCount(text);
    if (have < n) text.append(n - have, ' ');
    return text;
}

std::string CategoryField(std::string_view text) {
    std::string name = Field(text);
    auto star = name.find('*');
    if (star != std::string::npos) name.erase(star, 1);
    return name;
}

std::string FirstWord(std::string_view trimmed) {
    auto blank = trimmed.find(' ');
    if (blank == std::string_view::npos) return {};
    return TrimCodes(trimmed.substr(0, blank + 1));
}

} // namespace larderly::import

namespace larderly::import {

std::string ExpandTabs(std::string_view line) {
    if (line.find('\t') == std::string_view::npos) return std::string(line);
    std::string out;
    std::size_t column = 0; // characters so far
    for (std::size_t i = 0; i < line.size();) {
        if (line[i] == '\t') {
            do {
                out += ' ';
                ++column;
            } while (column % 8 != 0);
            ++i;
            continue;
        }
        const std::size_t n = CharLen(line, i);
        out.append(line.substr(i, n));
        ++column;
        i += n;
    }
    return out;
}

namespace {

// The characters of a text other than codes 0 to 32, in order.
std::string Ink(std::string_view s) {
    std::string out;
    for (char c : s)
        if (static_cast<unsigned char>(c) > 32) out += c;
    return out;
}

} // namespace

std::string MasterCookBodyLine(const std::string& line) {
    if (line.empty() || line[0] != ' ') return line;
    const std::string cols = ExpandTabs(line);
    std::string rebuilt = PadTo(Field(Columns(cols, 1, 8)), 8) +
                          PadTo(Field(Columns(cols, 11, 24)), 15) + Field(Columns(cols, 25, 104));
    if (Ink(rebuilt) == Ink(cols)) return rebuilt;
    return TrimRightCodes(line);
}

std::string CategoryAt(std::string_view line, std::size_t p, std::size_t q) {
    if (p >= 2) {
        const std::string before = Columns(line, p - 1, p - 1);
        const std::string twoBefore = p >= 3 ? Columns(line, p - 2, p - 2) : std::string(" ");
        if (!Field(before).empty() && Field(twoBefore).empty())
            return CategoryField(Columns(line, p - 1, q));
    }
    return CategoryField(Columns(line, p, q));
}

bool IsHyphenRule(std::string_view line) {
    std::size_t hyphens = 0;
    for (char c : line) {
        if (c == '-')
            ++hyphens;
        else if (c != ' ' && c != '\t')
            return false;
    }
    return hyphens >= 5;
}

std::string MealMasterServingsLine(std::string_view servings) {
    return "Serving Size  : " + std::string(servings);
}

} // namespace larderly::import
