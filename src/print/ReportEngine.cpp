// The memo buffer's word wrap.
#include "print/ReportEngine.h"

#include "platform/Text.h"

namespace larderly {

namespace {

// Byte length of the UTF-8 character at s[i] (an invalid byte counts as one).
std::size_t CharLen(const std::string& s, std::size_t i) {
    return CutChars(std::string_view(s).substr(i), 1).size();
}

// Appends `word` to `out`, broken between characters into pieces that fit `width`. The last
// piece stays in `line` for more words to join it.
void BreakWord(const TReportEngine& e, double width, std::string word,
               std::vector<std::string>& out, std::string& line) {
    while (!word.empty()) {
        if (e.TextWidth(word) <= width) {
            line = std::move(word);
            return;
        }
        // The longest prefix that fits, at least one character so the loop always advances.
        std::size_t cut = CharLen(word, 0);
        while (cut < word.size()) {
            std::size_t next = cut + CharLen(word, cut);
            if (e.TextWidth(word.substr(0, next)) > width) break;
            cut = next;
        }
        out.push_back(word.substr(0, cut));
        word.erase(0, cut);
    }
}

// The line with each tab widened to blanks up to the next stop of eight columns (columns
// count characters).
std::string ExpandTabs(const std::string& text) {
    if (text.find('\t') == std::string::npos) return text;
    std::string out;
    std::size_t column = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '\t') {
            const std::size_t blanks = 8 - column % 8;
            out.append(blanks, ' ');
            column += blanks;
            ++i;
            continue;
        }
        const std::size_t n = CharLen(text, i);
        out.append(text, i, n);
        ++column;
        i += n;
    }
    return out;
}

} // namespace

void TMemoBuf::Wrap(const TReportEngine& e, double left, double right) {
    wrapped_.clear();
    const double width = right - left;
    for (const std::string& original : lines_) {
        std::string text = ExpandTabs(original);
        // Trailing blanks never start a new line of their own.
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        if (text.empty()) {
            wrapped_.emplace_back();
            continue;
        }
        std::string line;
        bool lineOpen = false;
        std::size_t i = 0;
        while (i < text.size()) {
            // One word with the blanks before it.
            std::size_t wordStart = i;
            while (wordStart < text.size() && text[wordStart] == ' ')
                ++wordStart;
            std::size_t wordEnd = wordStart;
            while (wordEnd < text.size() && text[wordEnd] != ' ')
                ++wordEnd;
            std::string gap = text.substr(i, wordStart - i);
            std::string word = text.substr(wordStart, wordEnd - wordStart);
            i = wordEnd;
            if (!lineOpen) {
                // Leading blanks of the paragraph stay (indentation) when they fit.
                std::string first = gap + word;
                if (e.TextWidth(first) <= width) {
                    line = std::move(first);
                } else {
                    BreakWord(e, width, word, wrapped_, line);
                }
                lineOpen = true;
                continue;
            }
            std::string joined = line + gap + word;
            if (e.TextWidth(joined) <= width) {
                line = std::move(joined);
                continue;
            }
            wrapped_.push_back(std::move(line));
            line.clear();
            BreakWord(e, width, word, wrapped_, line);
        }
        wrapped_.push_back(std::move(line));
    }
}

} // namespace larderly
