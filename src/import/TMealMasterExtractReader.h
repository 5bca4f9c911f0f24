// Recipes extracted from a Meal-Master database: each starts at "Recipe Extracted from
// Meal-Master" and ends at a line holding a run of 77 hyphens. The category is the first
// word of the categories line; the servings are columns 13 to 16. A start marker inside a
// recipe's text begins the next recipe (the first one lacked its rule).
#pragma once

#include "import/TImportReader.h"

#include <functional>

namespace larderly::import {

class TMealMasterExtractReader : public TImportReader {
public:
    using TImportReader::TImportReader;
    const char* Name() const override { return "Meal-Master extract"; }

    static constexpr const char* kStartMarker = "Recipe Extracted from Meal-Master";
    static const std::string& EndRule();
    // Cuts the recipe after a start marker out of the lines (the Meal-Master export reader
    // reads the extracted recipes of a mixed file with it too). A line for which `isStart`
    // holds ends the text and stays to be read.
    static void ParseExtracted(TLineReader& in, TImportedRecipe& out,
                               const std::function<bool(const std::string&)>& isStart);

protected:
    bool FindStart(TLineReader& in) override;
    bool ParseRecipe(TLineReader& in, TImportedRecipe& out) override;
};

} // namespace larderly::import
