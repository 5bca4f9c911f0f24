// Laying out recipes in the two exchange formats and writing them in an encoding. The layouts
// are the ones the import's readers take, so an exported file reads back with the same
// titles, categories and text; where a recipe holds something a layout cannot carry, the
// difference is named instead of hidden.
#include "exchange/RecipeExport.h"

#include "import/ImportText.h"
#include "import/TMealMasterExportReader.h"
#include "ingredients/IngredientLine.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iconv.h>
#include <set>
#include <stdexcept>
#include <unistd.h>

namespace larderly::exchange {
namespace {

constexpr std::string_view kServingPrefix = "Serving Size  : ";
constexpr std::string_view kMxpEndMarker = "- - - - - - - - - - - - - - - - - -";

std::string PadTo(std::string s, std::size_t width) {
    const std::size_t n = CharCount(s);
    if (n < width) s.append(width - n, ' ');
    return s;
}

bool HasOuterBlanks(std::string_view s) {
    return TrimCodes(s) != s;
}

// The text's first line when it is the servings line the readers write ("Serving Size  : X"),
// with X returned; false otherwise.
bool ServingsOf(const std::vector<std::string>& text, std::string& servings) {
    if (text.empty() || text[0].compare(0, kServingPrefix.size(), kServingPrefix) != 0)
        return false;
    servings = text[0].substr(kServingPrefix.size());
    return !HasOuterBlanks(servings);
}

void CheckTitle(const ExportRecipe& r, std::vector<std::string>& notes) {
    if (HasOuterBlanks(r.Title))
        notes.push_back("the title loses its leading and trailing blanks when read back");
}

// Replaces every `from` (letters a-z folded) in `line` by `to`; whether any was there.
bool ReplaceFolded(std::string& line, std::string_view from, std::string_view to) {
    bool any = false;
    for (std::size_t at = FoldAZ(line).find(from); at != std::string::npos;
         at = FoldAZ(line).find(from, at + to.size())) {
        line.replace(at, from.size(), to);
        any = true;
    }
    return any;
}

// A line that some reader takes for the start of a recipe, or that ends a MasterCook recipe,
// is changed just enough that none does: the program names are split ("Meal- Master",
// "Master Cook") and a rule of hyphens becomes a rule of "=". Returns whether it changed.
bool NeutraliseMarkers(std::string& line) {
    const std::string folded = FoldAZ(line);
    bool changed = false;
    const bool mealMaster = folded.find("meal-master") != std::string::npos ||
                            folded.find("meal master") != std::string::npos;
    if (mealMaster) {
        const std::string trimmed = TrimCodes(folded);
        const bool markerLine = trimmed.rfind("mmmmm", 0) == 0 || trimmed.rfind("-----", 0) == 0 ||
                                folded.find("recipe via meal") != std::string::npos ||
                                folded.find("from meal") != std::string::npos ||
                                folded.find("meal-master export") != std::string::npos ||
                                folded.find("meal master export") != std::string::npos;
        if (markerLine) {
            changed |= ReplaceFolded(line, "meal-master", "Meal- Master");
            changed |= ReplaceFolded(line, "meal master", "Meal- Master");
        }
    }
    if (folded.find("exported from") != std::string::npos &&
        folded.find("mastercook") != std::string::npos)
        changed |= ReplaceFolded(line, "mastercook", "Master Cook");
    // Hyphens and blanks only, five hyphens or more: a rule that ends a recipe in one reader
    // or another.
    const std::string t = TrimCodes(line);
    if (std::count(t.begin(), t.end(), '-') >= 5 &&
        t.find_first_not_of("- ") == std::string::npos) {
        for (char& c : line)
            if (c == '-') c = '=';
        changed = true;
    }
    return changed;
}

// The two ingredient column layouts a body can be written in.
enum class Columns { MealMaster, MasterCook };

std::vector<std::string> IngredientLines(const ingredients::IngredientLine& line, Columns columns) {
    switch (columns) {
    case Columns::MealMaster:
        return ingredients::WriteMealMaster(line);
    case Columns::MasterCook:
        return ingredients::WriteMasterCook(line);
    }
    return {};
}

// The recipe's text from line `from` on as the format's body: ingredient lines in the
// format's own columns (a two-column row becomes two lines, continuations are joined and cut
// again where the format needs), every other line as it stands. A MasterCook line that begins
// with a blank is read as an ingredient, so a direction line loses its leading blanks there
// and a heading moves to the ingredient column.
std::vector<std::string> BodyLines(const std::vector<std::string>& text, std::size_t from,
                                   Columns columns, std::vector<std::string>& notes) {
    using namespace ingredients;
    const std::vector<std::string> body(text.begin() + static_cast<std::ptrdiff_t>(from),
                                        text.end());
    std::vector<std::string> out;
    const std::vector<ParsedLine> parsed = ParseRecipeText(body);
    auto inList = [](const ParsedLine& p) {
        return p.kind == LineKind::Ingredient || p.kind == LineKind::Heading;
    };
    for (std::size_t k = 0; k < parsed.size(); ++k) {
        const ParsedLine& p = parsed[k];
        if (p.kind == LineKind::Ingredient) {
            for (std::string& l : IngredientLines(p.ingredient, columns))
                out.push_back(std::move(l));
            continue;
        }
        // Other readers end a MasterCook ingredient list at its first blank line: blank lines
        // between groups of ingredients are left out.
        if (p.kind == LineKind::Blank && columns == Columns::MasterCook && k > 0 &&
            inList(parsed[k - 1])) {
            std::size_t next = k;
            while (next < parsed.size() && parsed[next].kind == LineKind::Blank)
                ++next;
            if (next < parsed.size() && inList(parsed[next])) {
                k = next - 1;
                continue;
            }
        }
        std::string line = body[p.Source];
        const std::size_t number = from + p.Source + 1;
        if (p.kind != LineKind::Blank && NeutraliseMarkers(line))
            notes.push_back("line " + std::to_string(number) + " (\"" + body[p.Source] +
                            "\") is written as \"" + line +
                            "\" so that no reader takes it for the start or end of a recipe");
        const bool ledByBlank = !line.empty() && (line[0] == ' ' || line[0] == '\t');
        const std::string trimmed = TrimCodes(line);
        const bool ruled = trimmed.rfind("MMMMM", 0) == 0 || trimmed.rfind("-----", 0) == 0;
        if (p.kind == LineKind::Heading && columns == Columns::MealMaster && !ruled) {
            // "For the sauce:" becomes a Meal-Master heading line.
            const std::size_t width = CharCount(trimmed);
            const std::size_t left = width < 50 ? (60 - width) / 2 : 5;
            line = "MMMMM" + std::string(left, '-') + trimmed +
                   std::string(width < 60 - left ? 60 - left - width : 5, '-');
            // Meal-Master readers look for a blank line above a heading.
            if (!out.empty() && !out.back().empty()) out.emplace_back();
        } else if (p.kind == LineKind::Heading && columns == Columns::MasterCook &&
                   (ledByBlank || ruled)) {
            // MasterCook's headings stand in the ingredient column without rules.
            line = std::string(24, ' ') + (ruled ? p.Heading : trimmed);
        } else if (columns == Columns::MasterCook && ledByBlank) {
            line = trimmed;
        }
        out.push_back(std::move(line));
    }
    // Other readers take a MasterCook ingredient list to begin right under its rule.
    if (columns == Columns::MasterCook)
        while (!out.empty() && out.front().empty())
            out.erase(out.begin());
    return out;
}

std::vector<std::string> MealMaster(const ExportRecipe& r, std::vector<std::string>& notes) {
    std::vector<std::string> out;
    CheckTitle(r, notes);
    out.push_back("MMMMM----- Recipe via Meal-Master (tm) v8.05");
    out.push_back("");
    out.push_back("      Title: " + r.Title);
    std::string cats;
    for (const std::string& c : r.Categories) {
        if (c.find(',') != std::string::npos)
            notes.push_back("the category \"" + c + "\" holds a comma and is read back as several");
        if (!cats.empty()) cats += ", ";
        cats += c;
    }
    out.push_back(" Categories: " + cats);
    std::string servings;
    std::size_t body = 0;
    if (ServingsOf(r.Text, servings) && CharCount(servings) <= 99) {
        body = 1;
    } else {
        servings.clear();
        notes.push_back("its text gains the first line \"Serving Size  :\" when read back");
    }
    out.push_back(servings.empty() ? "   Servings:" : "   Servings: " + servings);
    std::vector<std::string> lines = BodyLines(r.Text, body, Columns::MealMaster, notes);
    // Meal-Master readers look for a blank line between the header and the ingredients.
    if (!lines.empty() && !TrimCodes(lines[0]).empty() &&
        !ingredients::ParseMealMasterColumns(lines[0]).empty())
        lines.insert(lines.begin(), std::string());
    for (std::string& line : lines) {
        // A line the reader takes for a closing line ("MMMMM  ", any five characters
        // beginning with M or -) gets a leading blank, so that it does not end the recipe.
        if (import::TMealMasterExportReader::IsClosingLine(line) ||
            import::TMealMasterExportReader::IsLooseClosingLine(line)) {
            notes.push_back("the line \"" + line +
                            "\" gets a leading blank so that it does not end the recipe");
            line.insert(0, 1, ' ');
        }
        out.push_back(std::move(line));
    }
    out.push_back("MMMMM");
    out.push_back("");
    return out;
}

// Category names stand in fixed columns: the first of a line from column 17 to 45, the
// second from column 50 to 79.
std::string CategoryCell(const std::string& name, std::size_t width,
                         std::vector<std::string>& notes) {
    std::string n = name;
    if (CharCount(n) > width) {
        n = CutChars(n, width);
        notes.push_back("the category \"" + name + "\" is read back as \"" + TrimCodes(n) + "\"");
    } else if (!n.empty() && n[0] == '*') {
        notes.push_back("the category \"" + name + "\" loses its leading asterisk when read back");
    }
    return n;
}

std::vector<std::string> MasterCook(const ExportRecipe& r, std::vector<std::string>& notes) {
    std::vector<std::string> out;
    CheckTitle(r, notes);
    if (r.Title.find("Read Me") != std::string::npos)
        notes.push_back("a title holding \"Read Me\" is skipped when read back");
    out.push_back("                     *  Exported from  MasterCook  *");
    out.push_back("");
    const std::size_t titleWidth = CharCount(r.Title);
    out.push_back(std::string(titleWidth < 78 ? (78 - titleWidth) / 2 : 0, ' ') + r.Title);
    out.push_back("");
    out.push_back("Recipe By     :");

    // The servings line's first 20 columns come back as the text's first line.
    std::string first;
    std::size_t body = 0;
    std::string servings;
    if (ServingsOf(r.Text, servings) && CharCount(servings) <= 4) {
        if (servings.empty()) notes.push_back("its first line is read back as \"Serving Size  :\"");
        out.push_back(PadTo(std::string(kServingPrefix) + servings, 22) + "Preparation Time :0:00");
        body = 1;
    } else if (!r.Text.empty() && !r.Text[0].empty() && CharCount(r.Text[0]) <= 20 &&
               !HasOuterBlanks(r.Text[0])) {
        out.push_back(PadTo(r.Text[0], 22) + "Preparation Time :0:00");
        body = 1;
    } else {
        out.push_back("Serving Size  :       Preparation Time :0:00");
        notes.push_back("its text gains the first line \"Serving Size  :\" when read back");
    }

    // Categories come in slot order with the empty slots left out.
    std::vector<std::string> cats = r.Categories;
    cats.resize(4);
    const std::string line1 = "Categories    : " + PadTo(CategoryCell(cats[0], 29, notes), 33) +
                              CategoryCell(cats[1], 30, notes);
    out.push_back(TrimRightCodes(line1));
    // A third category sits on a second category line; a fourth is read from the line after
    // that one, in the second column.
    if (!cats[2].empty()) {
        out.push_back("                " + CategoryCell(cats[2], 29, notes));
        out.push_back(cats[3].empty() ? std::string()
                                      : std::string(49, ' ') + CategoryCell(cats[3], 30, notes));
    } else {
        out.push_back("");
    }
    out.push_back("  Amount  Measure       Ingredient -- Preparation Method");
    out.push_back("--------  ------------  --------------------------------");
    std::vector<std::string> lines = BodyLines(r.Text, body, Columns::MasterCook, notes);
    if (lines.empty()) {
        // The first body line is always taken, whatever it holds.
        out.push_back("");
        if (body >= r.Text.size())
            notes.push_back("its text gains an empty last line when read back");
    }
    for (std::string& line : lines)
        out.push_back(std::move(line));
    out.push_back("                   " + std::string(kMxpEndMarker) + " ");
    out.push_back("");
    return out;
}

// The entry of `table` whose `member` is `key`. Every value of the enumerations has one, so a
// missing entry is a fault of the program, not of the user's input.
template <typename Info, typename Key>
const Info& EntryOf(const std::vector<Info>& table, Key Info::*member, Key key, const char* what) {
    for (const Info& info : table)
        if (info.*member == key) return info;
    throw std::logic_error(std::string(what) + " " + std::to_string(static_cast<int>(key)) +
                           " has no entry in its table");
}

// The character starting at `pos` of valid or invalid UTF-8, and its code point text.
std::string DescribeChar(std::string_view s, std::size_t pos) {
    const std::string ch = CutChars(s.substr(pos), 1);
    char32_t cp = 0;
    const auto b = static_cast<unsigned char>(ch[0]);
    if (ch.size() == 1)
        cp = b;
    else if (ch.size() == 2)
        cp = ((b & 0x1Fu) << 6) | (ch[1] & 0x3Fu);
    else if (ch.size() == 3)
        cp = ((b & 0x0Fu) << 12) | ((ch[1] & 0x3Fu) << 6) | (ch[2] & 0x3Fu);
    else
        cp = ((b & 0x07u) << 18) | ((ch[1] & 0x3Fu) << 12) | ((ch[2] & 0x3Fu) << 6) |
             (ch[3] & 0x3Fu);
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(cp));
    return "\"" + ch + "\" (" + code + ")";
}

// The nearest ASCII text of a character the encoding lacks: the usual typographic marks
// from a table of our own, other letters through the system's transliteration (which drops
// accents), and "?" when neither knows one.
std::string NearestAscii(std::string_view ch, bool afterDigit) {
    struct Pair {
        const char* From;
        const char* To;
    };
    static constexpr Pair kNearest[] = {
        {"’", "'"},      {"‘", "'"},   {"‚", "'"},   {"′", "'"},   {"“", "\""},  {"”", "\""},
        {"„", "\""},     {"″", "\""},  {"«", "\""},  {"»", "\""},  {"–", "-"},   {"—", "-"},
        {"‐", "-"},      {"−", "-"},   {"…", "..."}, {"®", "(R)"}, {"©", "(C)"}, {"™", "(TM)"},
        {"•", "*"},      {"·", "."},   {"€", "EUR"}, {"×", "x"},   {"÷", "/"},   {"°", " deg"},
        {"\u00a0", " "}, {"½", "1/2"}, {"¼", "1/4"}, {"¾", "3/4"}, {"⅓", "1/3"}, {"⅔", "2/3"},
        {"⅛", "1/8"},    {"⅜", "3/8"}, {"⅝", "5/8"}, {"⅞", "7/8"}, {"⅕", "1/5"}, {"⅙", "1/6"},
    };
    for (const Pair& p : kNearest)
        if (ch == p.From) {
            std::string to = p.To;
            // "1½" must not become "11/2".
            if (afterDigit && to.size() == 3 && to[1] == '/') to.insert(0, 1, ' ');
            return to;
        }
    iconv_t cd = iconv_open("ASCII//TRANSLIT", "UTF-8");
    std::string result = "?";
    if (cd != reinterpret_cast<iconv_t>(-1)) {
        char buf[32];
        char* in = const_cast<char*>(ch.data());
        std::size_t inLeft = ch.size();
        char* dst = buf;
        std::size_t outLeft = sizeof buf;
        if (iconv(cd, &in, &inLeft, &dst, &outLeft) != static_cast<std::size_t>(-1)) {
            std::string t(buf, sizeof buf - outLeft);
            if (!t.empty() && t.find('?') == std::string::npos) result = t;
        }
        iconv_close(cd);
    }
    return result;
}

// The text in the encoding with the nearest ASCII for each character the encoding lacks;
// the characters replaced, each once, in `replaced`. False when the text cannot be converted
// at all.
bool EncodeNearest(std::string_view utf8, ExportEncoding encoding, std::string& out,
                   std::vector<std::string>& replaced) {
    out.clear();
    std::string piece, problem;
    std::size_t start = 0;
    std::string pending;
    for (std::size_t at = 0; at < utf8.size();) {
        const std::string ch = CutChars(utf8.substr(at), 1);
        if (ch.size() > 1 && !EncodeText(ch, encoding, piece, problem)) {
            if (!EncodeText(utf8.substr(start, at - start), encoding, piece, problem)) return false;
            out += piece;
            const bool afterDigit = at > 0 && utf8[at - 1] >= '0' && utf8[at - 1] <= '9';
            out += NearestAscii(ch, afterDigit);
            if (std::find(replaced.begin(), replaced.end(), ch) == replaced.end())
                replaced.push_back(ch);
            start = at + ch.size();
        }
        at += ch.size();
    }
    if (!EncodeText(utf8.substr(start), encoding, piece, problem)) return false;
    out += piece;
    return true;
}

} // namespace

std::size_t ExportResult::NotWritten() const {
    std::size_t n = 0;
    for (const ExportNote& note : Notes)
        if (!note.Written) ++n;
    return n;
}

std::size_t ExportResult::WrittenChanged() const {
    std::set<std::pair<int32_t, std::string>> recipes;
    for (const ExportNote& note : Notes)
        if (note.Written) recipes.insert({note.Id, note.Title});
    return recipes.size();
}

const std::vector<ExportFormatInfo>& ExportFormats() {
    static const std::vector<ExportFormatInfo> kFormats = {
        {ExportFormat::MealMaster,
         "mmf",
         "mmf",
         "Meal-Master",
         "Meal-Master File",
         MealMaster,
         {ExportEncoding::Utf8, ExportEncoding::Windows1252, ExportEncoding::Cp437}},
        {ExportFormat::MasterCookText,
         "mxp",
         "mxp",
         "MasterCook text",
         "MasterCook Text File",
         MasterCook,
         {ExportEncoding::Utf8, ExportEncoding::Windows1252, ExportEncoding::Cp437}},
    };
    return kFormats;
}

const std::vector<ExportEncodingInfo>& ExportEncodings() {
    static const std::vector<ExportEncodingInfo> kEncodings = {
        {ExportEncoding::Utf8, "utf-8", "utf8", "UTF-8", "UTF-8"},
        {ExportEncoding::Windows1252, "cp1252", "windows-1252", "CP1252", "Windows-1252"},
        {ExportEncoding::Cp437, "cp437", "ibm437", "CP437", "code page 437"},
    };
    return kEncodings;
}

const ExportFormatInfo& FormatInfo(ExportFormat format) {
    return EntryOf(ExportFormats(), &ExportFormatInfo::Format, format, "export format");
}

const ExportEncodingInfo& EncodingInfo(ExportEncoding encoding) {
    return EntryOf(ExportEncodings(), &ExportEncodingInfo::Encoding, encoding, "export encoding");
}

bool FormatTakesEncoding(ExportFormat format, ExportEncoding encoding) {
    const std::vector<ExportEncoding>& taken = FormatInfo(format).Encodings;
    return std::find(taken.begin(), taken.end(), encoding) != taken.end();
}

bool ParseExportFormat(std::string_view name, ExportFormat& format) {
    for (const ExportFormatInfo& info : ExportFormats())
        if (name == info.Id) {
            format = info.Format;
            return true;
        }
    return false;
}

const char* ExportFormatName(ExportFormat format) {
    return FormatInfo(format).Id;
}

bool ParseExportEncoding(std::string_view name, ExportEncoding& encoding) {
    const std::string n = FoldAZ(name);
    for (const ExportEncodingInfo& info : ExportEncodings())
        if (n == info.Id || n == info.Alias) {
            encoding = info.Encoding;
            return true;
        }
    return false;
}

const char* ExportEncodingName(ExportEncoding encoding) {
    return EncodingInfo(encoding).Id;
}

std::string EncodingDisplayName(ExportEncoding encoding) {
    return EncodingInfo(encoding).DisplayName;
}

std::vector<std::string> LayOutRecipe(const ExportRecipe& recipe, ExportFormat format,
                                      std::vector<std::string>& notes) {
    return FormatInfo(format).LayOut(recipe, notes);
}

bool EncodeText(std::string_view utf8, ExportEncoding encoding, std::string& out,
                std::string& problem) {
    out.clear();
    if (!IsValidUtf8(utf8)) {
        problem = "its text is not valid UTF-8";
        return false;
    }
    if (encoding == ExportEncoding::Utf8) {
        out.assign(utf8);
        return true;
    }
    iconv_t cd = iconv_open(EncodingInfo(encoding).IconvName, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        problem = "this system cannot convert to " + EncodingDisplayName(encoding);
        return false;
    }
    out.resize(utf8.size() * 2 + 16);
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* dst = out.data();
    std::size_t outLeft = out.size();
    const std::size_t rc = iconv(cd, &in, &inLeft, &dst, &outLeft);
    const int err = errno;
    iconv_close(cd);
    if (rc == static_cast<std::size_t>(-1)) {
        const std::size_t at = utf8.size() - inLeft;
        problem = err == EILSEQ || err == EINVAL
                      ? "the character " + DescribeChar(utf8, at) + " cannot be written in " +
                            EncodingDisplayName(encoding)
                      : "the text cannot be converted to " + EncodingDisplayName(encoding);
        out.clear();
        return false;
    }
    out.resize(out.size() - outLeft);
    return true;
}

ExportResult WriteRecipes(std::ostream& out, const std::vector<ExportRecipe>& recipes,
                          ExportFormat format, ExportEncoding encoding,
                          const std::function<void()>& step, bool strict) {
    ExportResult result;
    // Both readers stop a file at a title already read, so a repeated title is worth naming.
    std::set<std::string> titles;
    for (const ExportRecipe& r : recipes) {
        if (step) step();
        std::vector<std::string> notes;
        const std::vector<std::string> lines = LayOutRecipe(r, format, notes);
        std::string text;
        for (const std::string& l : lines) {
            text += l;
            text += "\r\n";
        }
        std::string problem;
        if (text.find('\x1a') != std::string::npos) {
            result.Notes.push_back(
                {r.Id, r.Title, false, "its text holds a Ctrl-Z character, which ends a file"});
            continue;
        }
        std::string bytes;
        if (!EncodeText(text, encoding, bytes, problem)) {
            // Characters the encoding lacks are written as their nearest ASCII, and the recipe
            // is named; a strict export leaves the recipe out instead.
            std::vector<std::string> replaced;
            if (strict || !IsValidUtf8(text) || !EncodeNearest(text, encoding, bytes, replaced)) {
                result.Notes.push_back({r.Id, r.Title, false, problem});
                continue;
            }
            std::string list;
            for (const std::string& ch : replaced)
                list += (list.empty() ? "" : ", ") + DescribeChar(ch, 0) + " as \"" +
                        NearestAscii(ch, false) + "\"";
            notes.push_back(EncodingDisplayName(encoding) + " lacks some characters; written " +
                            list);
        }
        if (!titles.insert(FoldAZ(TrimCodes(r.Title))).second)
            notes.push_back(
                "its title repeats an earlier recipe's title; an import stops the file there");
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        ++result.Written;
        for (std::string& n : notes)
            result.Notes.push_back({r.Id, r.Title, true, std::move(n)});
    }
    return result;
}

ExportResult ExportToFile(const std::string& path, const std::vector<ExportRecipe>& recipes,
                          ExportFormat format, ExportEncoding encoding,
                          const std::function<void()>& step, bool strict) {
    // The file is written beside the target and replaces it only when it is whole.
    fileutil::OutputFile file(path);
    ExportResult result = WriteRecipes(file.Stream(), recipes, format, encoding, step, strict);
    // Nothing could be written: an empty file must not stand in for (or replace) an export.
    if (!recipes.empty() && result.Written == 0) {
        file.Discard();
        return result;
    }
    file.Commit();
    return result;
}

} // namespace larderly::exchange
