// The Meal-Master export reader.
#include "import/TMealMasterExportReader.h"

#include "import/ImportText.h"
#include "import/TMealMasterExtractReader.h"
#include "platform/Text.h"

namespace larderly::import {

namespace {

const char* const kTitleLabels[] = {"title", nullptr};
const char* const kCategoryLabels[] = {"categories", "category", nullptr};
const char* const kServingsLabels[] = {"servings", "yield", "serves", "makes", nullptr};

// The 0-based position of the colon after a label that starts the line (after blanks), the
// label compared without regard to letter case; npos when the line has none of them.
std::size_t LabelColon(const std::string& line, const char* const* labels) {
    std::size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos) return std::string::npos;
    const std::string folded = FoldAZ(std::string_view(line).substr(start));
    for (; *labels; ++labels) {
        std::string_view label(*labels);
        std::size_t at = label.size();
        if (folded.compare(0, label.size(), label) != 0) continue;
        while (at < folded.size() && folded[at] == ' ')
            ++at;
        if (at < folded.size() && folded[at] == ':') return start + at;
    }
    return std::string::npos;
}

} // namespace

bool TMealMasterExportReader::IsClosingLine(const std::string& line) {
    return CharCount(line) == 5 && (line[0] == '-' || line[0] == 'M');
}

bool TMealMasterExportReader::IsLooseClosingLine(const std::string& line) {
    const std::string t = TrimCodes(line);
    return t == "MMMMM" || t == "-----";
}

bool TMealMasterExportReader::IsLooseHeader(const std::string& line) {
    if (Contains(line, TMealMasterExtractReader::kStartMarker)) return false;
    const std::string t = TrimCodes(line);
    if (t.compare(0, 5, "MMMMM") != 0 && t.compare(0, 5, "-----") != 0) return false;
    const std::string folded = FoldAZ(t);
    return Contains(folded, "meal-master") || Contains(folded, "meal master");
}

std::string TMealMasterExportReader::HeaderField(const std::string& line, const char* const* labels,
                                                 std::size_t p, std::size_t q) {
    const std::size_t colon = LabelColon(line, labels);
    // The classic layout puts every label's colon in column 12.
    if (colon == std::string::npos || colon == 11) return Field(Columns(line, p, q));
    // From just after the colon, one column wider: the classic field starts past the blank
    // that follows its colon.
    const std::size_t from = CharCount(std::string_view(line).substr(0, colon + 1)) + 1;
    return Field(Columns(line, from, from + (q - p) + 1));
}

void TMealMasterExportReader::TakeCategories(const std::string& text, bool proExchange,
                                             std::array<std::string, 4>& slots) {
    if (proExchange) {
        slots[0] = FirstWord(text);
        return;
    }
    std::string rest = text;
    for (std::size_t slot = 0; slot < 4; ++slot) {
        auto comma = rest.find(',');
        if (comma == std::string::npos) {
            slots[slot] = TrimCodes(rest);
            return;
        }
        slots[slot] = TrimCodes(rest.substr(0, comma));
        // An empty name ends the list; the names after it are not taken.
        if (slots[slot].empty()) return;
        rest.erase(0, comma + 1);
    }
}

void TMealMasterExportReader::Begin() {
    proExchange_ = extracted_ = sawExport_ = lookedAhead_ = false;
}

bool TMealMasterExportReader::TitleFollows(TLineReader& in) {
    std::string first = in.ReadLine();
    std::string second = in.ReadLine();
    const bool found = LabelColon(first, kTitleLabels) != std::string::npos ||
                       LabelColon(second, kTitleLabels) != std::string::npos;
    in.PushBack(std::move(second));
    in.PushBack(std::move(first));
    return found;
}

bool TMealMasterExportReader::IsExportHeader(const std::string& line) {
    return Contains(line, kRecipeVia) || Contains(line, kProExchange) ||
           Contains(line, kExportFormat);
}

bool TMealMasterExportReader::IsOrphanTitle(const std::string& line, TLineReader& in) {
    if (LabelColon(line, kTitleLabels) == std::string::npos) return false;
    std::string next = in.ReadLine();
    const bool found = LabelColon(next, kCategoryLabels) != std::string::npos;
    in.PushBack(std::move(next));
    return found;
}

bool TMealMasterExportReader::IsStart(const std::string& line, TLineReader& in) const {
    if (IsExportHeader(line) || (IsLooseHeader(line) && TitleFollows(in))) return true;
    return sawExport_ && Contains(line, TMealMasterExtractReader::kStartMarker);
}

bool TMealMasterExportReader::ExportHeaderFollows(TLineReader& in) {
    while (!in.Eof()) {
        const std::string line = in.ReadLine();
        if (IsExportHeader(line) || (IsLooseHeader(line) && TitleFollows(in))) return true;
    }
    return false;
}

bool TMealMasterExportReader::FindStart(TLineReader& in) {
    extracted_ = false;
    while (!in.Eof()) {
        std::string line = in.ReadLine();
        if (Contains(line, kRecipeVia)) {
            sawExport_ = true;
            return true;
        }
        if (Contains(line, kProExchange)) {
            proExchange_ = sawExport_ = true;
            return true;
        }
        if (Contains(line, kExportFormat) || (IsLooseHeader(line) && TitleFollows(in))) {
            sawExport_ = true;
            return true;
        }
        if (Contains(line, TMealMasterExtractReader::kStartMarker)) {
            if (sawExport_) {
                extracted_ = true;
                return true;
            }
            // The file starts with an extracted recipe. It is a mixed file, and this reader's,
            // only when an export header comes later; then it is read again from the top with
            // both kinds. Nothing has been stored yet.
            if (lookedAhead_) continue;
            lookedAhead_ = true;
            if (!ExportHeaderFollows(in)) return false;
            sawExport_ = true;
            in.Rewind();
            continue;
        }
        // A recipe whose header line is missing: its fields follow the previous recipe.
        if (sawExport_ && IsOrphanTitle(line, in)) {
            in.PushBack(std::move(line));
            return true;
        }
        if (!IsClosingLine(line) && !IsLooseClosingLine(line)) PassOver(in, line);
    }
    return false;
}

namespace {

// Inside a recipe's text only a header line as the program writes it, a rule of "MMMMM" or
// "-----" naming Meal-Master, starts the next recipe: prose that names the program does not.
bool IsRuled(const std::string& line) {
    const std::string t = TrimCodes(line);
    return t.compare(0, 5, "MMMMM") == 0 || t.compare(0, 5, "-----") == 0;
}

// Whether the line carries one of the labels.
auto Labelled(const char* const* labels) {
    return [labels](const std::string& l) { return LabelColon(l, labels) != std::string::npos; };
}

} // namespace

bool TMealMasterExportReader::ParseRecipe(TLineReader& in, TImportedRecipe& out) {
    auto isStart = [&](const std::string& l) {
        return (IsRuled(l) || Contains(l, TMealMasterExtractReader::kStartMarker)) &&
               IsStart(l, in);
    };
    if (extracted_) {
        TMealMasterExtractReader::ParseExtracted(in, out, isStart);
        return true;
    }
    // The title stands two lines after the header, or on the next line when no blank line
    // separates them.
    std::string titleLine = in.ReadLine();
    if (LabelColon(titleLine, kTitleLabels) == std::string::npos) titleLine = in.ReadLine();
    out.Title = HeaderField(titleLine, kTitleLabels, 14, 163);
    const std::string cats = HeaderLine(in.ReadLine(), in, Labelled(kCategoryLabels));
    TakeCategories(proExchange_ ? HeaderField(cats, kCategoryLabels, 13, 212)
                                : HeaderField(cats, kCategoryLabels, 14, 213),
                   proExchange_, out.Categories);
    out.Lines.push_back(MealMasterServingsLine(HeaderField(
        HeaderLine(in.ReadLine(), in, Labelled(kServingsLabels)), kServingsLabels, 13, 112)));

    // The body runs to the closing line. A file that ends without one ends the recipe with
    // its last line, which is kept; the next recipe's start ends it too. Either way, a closing
    // line in other indentation or with trailing blanks just before that is no part of it.
    while (!in.Eof()) {
        std::string line = in.ReadLine();
        if (IsClosingLine(line)) return true;
        if (IsRuled(line) && IsStart(line, in)) {
            in.PushBack(std::move(line));
            break;
        }
        out.Lines.push_back(std::move(line));
    }
    DropTrailingRule(out.Lines, 1, [](const std::string& l) { return IsLooseClosingLine(l); });
    return true;
}

} // namespace larderly::import
