// The Meal-Master extracted-recipe reader.
#include "import/TMealMasterExtractReader.h"

#include "import/ImportText.h"

namespace larderly::import {

const std::string& TMealMasterExtractReader::EndRule() {
    static const std::string rule(77, '-');
    return rule;
}

bool TMealMasterExtractReader::FindStart(TLineReader& in) {
    while (!in.Eof()) {
        const std::string line = in.ReadLine();
        if (Contains(line, kStartMarker)) return true;
        if (!Contains(line, EndRule())) PassOver(in, line);
    }
    return false;
}

bool TMealMasterExtractReader::ParseRecipe(TLineReader& in, TImportedRecipe& out) {
    ParseExtracted(in, out, [](const std::string& l) { return Contains(l, kStartMarker); });
    return true;
}

void TMealMasterExtractReader::ParseExtracted(
    TLineReader& in, TImportedRecipe& out, const std::function<bool(const std::string&)>& isStart) {
    in.ReadLine();
    out.Title = Field(Columns(in.ReadLine(), 14, 163));
    out.Categories[0] = FirstWord(Field(in.ReadLine()));
    out.Lines.push_back(MealMasterServingsLine(Field(Columns(in.ReadLine(), 13, 16))));

    // The body runs to the rule; a file that ends before it ends the recipe with its last line.
    while (!in.Eof()) {
        std::string line = in.ReadLine();
        if (Contains(line, EndRule())) return;
        if (isStart(line)) {
            in.PushBack(std::move(line));
            break;
        }
        out.Lines.push_back(std::move(line));
    }
    DropTrailingRule(out.Lines, 1, [](const std::string& l) { return IsHyphenRule(l); });
}

} // namespace larderly::import
