// Laying out recipes in the two exchange formats and writing them in an encoding. The layouts
// are the ones the import's readers take, so an exported file reads back with the same
// titles, categories and text; where a recipe holds something a layout cannot carry, the
// difference is named instead of hidden.
#include "exchange/RecipeExport.h"

#include "import/ImportText.h"
#include "import/TMealMasterExportReader.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"

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
    for (std::size_t i = body; i < r.Text.size(); ++i) {
        std::string line = r.Text[i];
        // A line the reader takes for a closing line ("-----", "MMMMM  ", any five characters
        // beginning with M or -) gets a leading blank, so that it does not end the recipe.
        if (import::TMealMasterExportReader::IsClosingLine(line) ||
            import::TMealMasterExportReader::IsLooseClosingLine(line)) {
            notes.push_back("line " + std::to_string(i + 1) + " (\"" + line +
                            "\") gets a leading blank so that it does not end the recipe");
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

// A stored ingredient line (amount padded to 8, measure padded to 15, ingredient) goes back
// into the file's ingredient columns, the amount right-aligned, so that other programs see an
// ingredient and the reader rebuilds the very same line. Any other line is written as it is.
std::string IngredientColumns(const std::string& line) {
    if (line.empty()) return line;
    const std::string amount = import::Field(import::Columns(line, 1, 8));
    const std::string measure = import::Field(import::Columns(line, 9, 23));
    const std::string ingredient = import::Field(import::Columns(line, 24, 200));
    const std::size_t amountWidth = CharCount(amount);
    if (amountWidth >= 8 || CharCount(measure) > 14) return line;
    std::string columns =
        std::string(8 - amountWidth, ' ') + amount + "  " + PadTo(measure, 14) + ingredient;
    return import::MasterCookBodyLine(columns) == line ? columns : line;
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
    if (body >= r.Text.size()) {
        // The first body line is always taken, whatever it holds.
        out.push_back("");
        notes.push_back("its text gains an empty last line when read back");
    }
    for (std::size_t i = body; i < r.Text.size(); ++i) {
        if (i > body && r.Text[i].find(kMxpEndMarker) != std::string::npos)
            notes.push_back("line " + std::to_string(i + 1) +
                            " holds the end rule; the text is cut there when read back");
        out.push_back(IngredientColumns(r.Text[i]));
    }
    out.push_back("                   " + std::string(kMxpEndMarker) + " ");
    out.push_back("");
    return out;
}

const char* IconvName(ExportEncoding e) {
    switch (e) {
    case ExportEncoding::Utf8:
        return "UTF-8";
    case ExportEncoding::Windows1252:
        return "CP1252";
    case ExportEncoding::Cp437:
        return "CP437";
    }
    return "UTF-8";
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

} // namespace

std::size_t ExportResult::NotWritten() const {
    std::size_t n = 0;
    for (const ExportNote& note : Notes)
        if (!note.Written) ++n;
    return n;
}

bool ParseExportFormat(std::string_view name, ExportFormat& format) {
    if (name == "mmf")
        format = ExportFormat::MealMaster;
    else if (name == "mxp")
        format = ExportFormat::MasterCookText;
    else
        return false;
    return true;
}

const char* ExportFormatName(ExportFormat format) {
    return format == ExportFormat::MasterCookText ? "mxp" : "mmf";
}

bool ParseExportEncoding(std::string_view name, ExportEncoding& encoding) {
    const std::string n = FoldAZ(name);
    if (n == "utf-8" || n == "utf8")
        encoding = ExportEncoding::Utf8;
    else if (n == "cp1252" || n == "windows-1252")
        encoding = ExportEncoding::Windows1252;
    else if (n == "cp437" || n == "ibm437")
        encoding = ExportEncoding::Cp437;
    else
        return false;
    return true;
}

const char* ExportEncodingName(ExportEncoding encoding) {
    switch (encoding) {
    case ExportEncoding::Windows1252:
        return "cp1252";
    case ExportEncoding::Cp437:
        return "cp437";
    case ExportEncoding::Utf8:
        break;
    }
    return "utf-8";
}

std::string EncodingDisplayName(ExportEncoding encoding) {
    switch (encoding) {
    case ExportEncoding::Utf8:
        return "UTF-8";
    case ExportEncoding::Windows1252:
        return "Windows-1252";
    case ExportEncoding::Cp437:
        return "code page 437";
    }
    return {};
}

std::vector<std::string> LayOutRecipe(const ExportRecipe& recipe, ExportFormat format,
                                      std::vector<std::string>& notes) {
    return format == ExportFormat::MealMaster ? MealMaster(recipe, notes)
                                              : MasterCook(recipe, notes);
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
    iconv_t cd = iconv_open(IconvName(encoding), "UTF-8");
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
                          const std::function<void()>& step) {
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
            result.Notes.push_back({r.Id, r.Title, false, problem});
            continue;
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
                          const std::function<void()>& step) {
    // The file is written beside the target and replaces it only when it is whole.
    fileutil::OutputFile file(path);
    ExportResult result = WriteRecipes(file.Stream(), recipes, format, encoding, step);
    // Nothing could be written: an empty file must not stand in for (or replace) an export.
    if (!recipes.empty() && result.Written == 0) {
        file.Discard();
        return result;
    }
    file.Commit();
    return result;
}

} // namespace larderly::exchange
