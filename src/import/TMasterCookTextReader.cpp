// The MasterCook column text export reader.
#include "import/TMasterCookTextReader.h"

#include "import/ImportText.h"
#include "platform/Text.h"
#include "store/Tables.h"

namespace larderly::import {

namespace {

// The heading above the ingredients and the rule under it.
bool IsAmountHeading(const std::string& line) {
    return Contains(line, "Amount") && Contains(line, "Measure");
}
bool IsIngredientRule(const std::string& line) {
    const std::string t = TrimCodes(line);
    return t.compare(0, 8, "--------") == 0 && t.find_first_not_of("- ") == std::string::npos;
}

// Whether the line, trimmed, begins with the label.
auto Labelled(const char* label) {
    return [label](const std::string& l) { return Field(l).rfind(label, 0) == 0; };
}

} // namespace

bool TMasterCookTextReader::IsLooseMarker(const std::string& line) {
    std::string collapsed;
    for (char c : line)
        if (c != ' ' || collapsed.empty() || collapsed.back() != ' ') collapsed += c;
    return Contains(collapsed, "Exported from MasterCook");
}

bool TMasterCookTextReader::IsStart(const std::string& line, TLineReader& in) const {
    if (Contains(line, kStartMarker)) return true;
    return !xml_ && !otherLayout_ && IsLooseMarker(line) && RecipeFollows(in);
}

bool TMasterCookTextReader::FindStart(TLineReader& in) {
    if (!marksRead_) {
        marksRead_ = true;
        const TFileMarks m = ScanMarks(in);
        otherLayout_ =
            !m.MasterCookText && (m.MealMasterExport || m.MealMasterExtract || m.XmlDeclaration);
    }
    // In another program's layout only the start marker begins a recipe, and the file has
    // none: no line needs reading (the lines passed over count only in a file taken).
    if (otherLayout_) return false;
    while (!in.Eof()) {
        const std::string line = in.ReadLine();
        if (!sawContent_ && !Field(line).empty()) {
            sawContent_ = true;
            xml_ = Field(line)[0] == '<';
        }
        if (IsStart(line, in)) return true;
        if (!Contains(line, kEndMarker)) PassOver(in, line);
    }
    return false;
}

bool TMasterCookTextReader::RecipeFollows(TLineReader& in) {
    // The header of a recipe: its servings or categories line within the next lines. A line
    // of prose that mentions the program is no marker.
    std::vector<std::string> ahead;
    bool found = false;
    for (int i = 0; i < 7 && !in.Eof(); ++i) {
        ahead.push_back(in.ReadLine());
        found =
            found || Contains(ahead.back(), "Serving Size") || Contains(ahead.back(), "Categories");
    }
    for (auto it = ahead.rbegin(); it != ahead.rend(); ++it)
        in.PushBack(std::move(*it));
    return found;
}

bool TMasterCookTextReader::ParseRecipe(TLineReader& in, TImportedRecipe& out) {
    in.ReadLine(); // the line after the marker
    out.Title = CutChars(Field(in.ReadLine()), kTitleWidth);
    if (Contains(out.Title, kReadMe)) return false;
    in.ReadLine(); // blank
    in.ReadLine(); // "Recipe By"
    out.Lines.push_back(
        Field(Columns(ExpandTabs(HeaderLine(in.ReadLine(), in, Labelled("Serving Size"))), 1, 20)));

    const std::string cats = ExpandTabs(HeaderLine(in.ReadLine(), in, Labelled("Categories")));
    out.Categories[0] = CategoryField(Columns(cats, 16, 45));
    out.Categories[1] = CategoryAt(cats, 50, 79);
    // A second category line gives category 3; category 4 comes from the line after it.
    const std::string more = ExpandTabs(in.ReadLine());
    std::string line;
    if (!Field(more).empty()) {
        out.Categories[2] = CategoryField(Columns(more, 16, 45));
        const std::string third = ExpandTabs(in.ReadLine());
        if (Field(Columns(third, 1, 48)).empty()) {
            // The fourth name stands on the line after the second category line; when that
            // line is blank (the usual block of two lines), it is the second line's own.
            out.Categories[3] =
                Field(third).empty() ? CategoryAt(more, 50, 79) : CategoryAt(third, 50, 79);
            in.ReadLine();
            in.ReadLine();
            line = in.ReadLine();
        } else {
            // A full third category line: the block runs on. Its first four names are taken,
            // and the body starts after the block, the blank line, the heading and the rule.
            out.Categories[3] = CategoryAt(more, 50, 79);
            do
                line = in.ReadLine();
            while (!Field(line).empty() && !in.Eof());
            line = in.ReadLine();
            if (IsAmountHeading(line)) line = in.ReadLine();
            if (IsIngredientRule(line)) line = in.ReadLine();
        }
    } else {
        in.ReadLine();
        in.ReadLine();
        line = in.ReadLine();
    }

    // The first body line is always taken; the end marker is looked for after it. A file
    // that ends inside the body ends the recipe with its last line; the next recipe's marker
    // ends it too, and then a rule just before that marker is not part of the text.
    for (;;) {
        out.Lines.push_back(MasterCookBodyLine(line));
        if (in.Eof()) break;
        line = in.ReadLine();
        if (Contains(line, kEndMarker)) return true;
        if (IsStart(line, in)) {
            in.PushBack(std::move(line));
            break;
        }
    }
    DropTrailingRule(out.Lines, 1, [](const std::string& l) { return IsHyphenRule(l); });
    return true;
}

} // namespace larderly::import
