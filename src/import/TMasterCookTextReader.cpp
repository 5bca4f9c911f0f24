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

} // namespace

bool TMasterCookTextReader::IsLooseMarker(const std::string& line) {
    std::string collapsed;
    for (char c : line)
        if (c != ' ' || collapsed.empty() || collapsed.back() != ' ') collapsed += c;
    return Contains(collapsed, "Exported from MasterCook");
}

bool TMasterCookTextReader::FindStart(TLineReader& in) {
    while (!in.Eof()) {
        const std::string line = in.ReadLine();
        if (!sawContent_ && !Field(line).empty()) {
            sawContent_ = true;
            xml_ = Field(line)[0] == '<';
        }
        if (Contains(line, kStartMarker) || (!xml_ && IsLooseMarker(line) && RecipeFollows(in)))
            return true;
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
    out.Lines.push_back(Field(Columns(in.ReadLine(), 1, 20)));

    const std::string cats = in.ReadLine();
    out.Categories[0] = CategoryField(Columns(cats, 16, 45));
    out.Categories[1] = CategoryField(Columns(cats, 50, 79));
    // A second category line gives category 3; category 4 comes from the line after it.
    const std::string more = in.ReadLine();
    std::string line;
    if (!Field(more).empty()) {
        out.Categories[2] = CategoryField(Columns(more, 16, 45));
        const std::string third = in.ReadLine();
        std::string skip1 = in.ReadLine(), skip2 = in.ReadLine();
        line = in.ReadLine();
        // A third category line with the ingredient heading or its rule where the body should
        // start: the category block runs on. Its first four names are taken, and the body
        // starts after the block, the blank line, the heading and the rule.
        const bool blockRunsOn =
            !Field(third).empty() &&
            (IsIngredientRule(line) || (!IsAmountHeading(skip1) && !IsAmountHeading(skip2)));
        if (!blockRunsOn) {
            out.Categories[3] = CategoryField(Columns(third, 50, 79));
        } else {
            out.Categories[3] = CategoryField(Columns(more, 50, 79));
            in.PushBack(std::move(line));
            in.PushBack(std::move(skip2));
            in.PushBack(std::move(skip1));
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
    // that ends inside the body ends the recipe with its last line.
    for (;;) {
        out.Lines.push_back(MasterCookBodyLine(line));
        if (in.Eof()) break;
        line = in.ReadLine();
        if (Contains(line, kEndMarker)) break;
    }
    return true;
}

} // namespace larderly::import
