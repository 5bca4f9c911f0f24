// The Meal-Master export (*.mmf), also in its Pro-Exchange variant. Each recipe starts at a
// marker line, has its title, categories and servings on the three lines after the next,
// and runs to a closing line of exactly five characters beginning with "-" or "M" (the
// "-----" and "MMMMM" closings of both header styles).
//
// Files written by other programs differ a little, and are read too, wherever the fixed
// reading would lose or mix up recipes: a header line in another spelling ("Meal Master", any
// letter case, "...Meal-Master recipe exported by ...") when a "Title:" line follows it (a
// marker of extracted recipes is no such header); a header followed directly by its "Title:"
// line; header fields whose label stands elsewhere than the classic column ("Title: Soup" at
// the start of the line); header fields with blank lines between them; a recipe whose header
// line is missing (its "Title:" and "Categories:" lines after the previous recipe); a start
// marker inside a recipe's text, which begins the next recipe (a closing line in other
// indentation or with trailing blanks standing just before it is dropped). A file that mixes
// export recipes with recipes extracted from a Meal-Master database gives both kinds.
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
    // "MMMMM" or "-----" with blanks before or after it: closes a recipe only when the next
    // recipe's start or the end of the file follows.
    static bool IsLooseClosingLine(const std::string& line);
    // A header line in another spelling: it begins with "MMMMM" or "-----" and names
    // Meal-Master in any letter case, with a hyphen or a blank.
    static bool IsLooseHeader(const std::string& line);
    // A header field: columns p to q of the line when its label's colon stands in column 12
    // (or the line has no label), else the same width from the colon on. Trimmed.
    static std::string HeaderField(const std::string& line, const char* const* labels,
                                   std::size_t p, std::size_t q);
    // Fills the category slots from a categories text (already trimmed): a comma-separated
    // list into slots 1 to 4, or, for Pro-Exchange, the first word into slot 1.
    static void TakeCategories(const std::string& text, bool proExchange,
                               std::array<std::string, 4>& slots);

protected:
    void Begin() override;
    bool FindStart(TLineReader& in) override;
    bool ParseRecipe(TLineReader& in, TImportedRecipe& out) override;

private:
    // Whether one of the next two lines is a "Title:" line (the lines stay to be read).
    static bool TitleFollows(TLineReader& in);
    // Whether an export header comes anywhere in the rest of the lines.
    static bool ExportHeaderFollows(TLineReader& in);
    static bool IsExportHeader(const std::string& line);
    // Whether the line starts a recipe of this file (lines looked at ahead stay to be read).
    bool IsStart(const std::string& line, TLineReader& in) const;
    // A "Title:" line followed by a "Categories:" line: a recipe without its header line.
    static bool IsOrphanTitle(const std::string& line, TLineReader& in);

    // Set by the first Pro-Exchange marker; every later recipe of the file is read that way.
    bool proExchange_ = false;
    // What the current start marker began: an export recipe or an extracted one.
    bool extracted_ = false;
    // An export header has been seen, so extracted recipes count too.
    bool sawExport_ = false;
    bool lookedAhead_ = false;
};

} // namespace larderly::import
