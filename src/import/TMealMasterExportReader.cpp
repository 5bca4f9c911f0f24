// The Meal-Master export reader.
#include "import/TMealMasterExportReader.h"

#include "import/ImportText.h"
#include "platform/Text.h"

namespace larderly::import {

bool TMealMasterExportReader::IsClosingLine(const std::string& line) {
    return CharCount(line) == 5 && (line[0] == '-' || line[0] == 'M');
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

bool TMealMasterExportReader::FindStart(TLineReader& in) {
    while (!in.Eof()) {
        const std::string line = in.ReadLine();
        if (Contains(line, kRecipeVia)) return true;
        if (Contains(line, kProExchange)) {
            proExchange_ = true;
            return true;
        }
        if (Contains(line, kExportFormat)) return true;
    }
    return false;
}

bool TMealMasterExportReader::ParseRecipe(TLineReader& in, TImportedRecipe& out) {
    in.ReadLine();
    out.Title = Field(Columns(in.ReadLine(), 14, 163));
    const std::string cats = in.ReadLine();
    TakeCategories(proExchange_ ? Field(Columns(cats, 13, 212)) : Field(Columns(cats, 14, 213)), proExchange_,
                   out.Categories);
    out.Lines.push_back(MealMasterServingsLine(Field(Columns(in.ReadLine(), 13, 112))));

    // The body runs to the closing line. A file that ends without one ends the recipe with
    // its last line, which is kept.
    while (!in.Eof()) {
        std::string line = in.ReadLine();
        if (IsClosingLine(line)) break;
        out.Lines.push_back(std::move(line));
    }
    return true;
}

} // namespace larderly::import
