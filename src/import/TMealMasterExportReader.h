// The Meal-Master export (*.mmf), also in its Pro-Exchange variant. Each recipe starts at a
// marker line, has its title, categories and servings on the three lines after the next,
// and runs to a closing line of exactly five characters beginning with "-" or "M" (the
// "-----" and "MMMMM" closings of both header styles).
#pragma once

#include "import/TImportReader.h"

namespace larderly::import {

class TMealMasterExportReader : public TImportReader {
public:
    using TImportReader::TImportReader;
    const char* Name() const override { return "Meal-Master export"; }

    static constexpr const char* kRecipeVia = "Recipe via Meal-Master";
    static constexpr const char* kProExchange = "Pro-Exchange format from Meal-Master";
    static constexpr const char* kExportFormat = "Meal-Master Export Format";

    // Whether a body line closes the recipe.
    static bool IsClosingLine(const std::string& line);
    // Fills the category slots from a categories text (already trimmed): a comma-separated
    // list into slots 1 to 4, or, for Pro-Exchange, the first word into slot 1.
    static void TakeCategories(const std::string& text, bool proExchange, std::array<std::string, 4>& slots);

protected:
    void Begin() override { proExchange_ = false; }
    bool FindStart(TLineReader& in) override;
    bool ParseRecipe(TLineReader& in, TImportedRecipe& out) override;

private:
    // Set by the first Pro-Exchange marker; every later recipe of the file is read that way.
    bool proExchange_ = false;
};

} // namespace larderly::import
