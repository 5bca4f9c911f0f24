// The ingredient-line model: an ingredient as an amount, a unit, an item and a preparation,
// read from the columns of a Meal-Master or MasterCook ingredient block or from a plain line
// such as "1 1/2 cups flour, sifted", and written back in either format's columns. Value
// types only; the recipe text itself is never changed by reading it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace larderly::ingredients {

// No amount, one number, or a range low-high. `Text` is the amount as written ("1 1/2",
// "½", "2-3"), which the writers copy, so that a written line keeps its words.
struct Amount {
    enum class Kind { None, Number, Range };
    Kind kind = Kind::None;
    double Low = 0;
    double High = 0;
    std::string Text;

    bool Present() const { return kind != Kind::None; }
    // "1.5", "2-3" or "" (a decimal without trailing zeros).
    std::string Decimal() const;
};

// Reads an amount: integers, decimals, fractions, mixed numbers, Unicode fractions, and a
// range of two of them joined by "-" or "to". Blanks at the ends are ignored; anything
// else is no amount.
std::optional<Amount> ParseAmount(std::string_view text);

// One unit: its canonical spelling (cup, tbsp, tsp, lb, oz, g, ...), the Meal-Master code
// and the MasterCook measure words that stand for it. A canonical unit may have two
// Meal-Master codes ("t" and "ts"); each code has its own pair of MasterCook words, so a
// line carried from one format to the other and back keeps its spelling.
struct UnitSpelling {
    const char* Canonical;
    const char* MealMasterCode; // "" when Meal-Master has no code for it
    const char* Singular;       // MasterCook measure word
    const char* Plural;
};

// The canonical unit of a spelling in any of the formats or in common English ("cups",
// "Tbsp.", "T", "tb", "teaspoon", "g", "grams", ...); empty when the word is no unit.
// Letter case matters only for "t" (teaspoon) and "T" (tablespoon).
std::string CanonicalUnit(std::string_view word);

// The spelling a Meal-Master unit code stands for; nullptr for an unknown code.
const UnitSpelling* FromMealMasterCode(std::string_view code);
// The spelling of a MasterCook measure word (singular, plural or a known abbreviation);
// nullptr for an unknown word.
const UnitSpelling* FromMasterCookWord(std::string_view word);

// The layout a line was read from; a writer keeps the unit's spelling of its own layout.
enum class Layout { Plain, MealMaster, MasterCook };

struct IngredientLine {
    Layout From = Layout::Plain;
    Amount amount;
    std::string Unit;     // canonical, or empty
    std::string UnitText; // the unit as written ("c", "cups", "Tbsp."), or empty
    std::string Item;
    std::string Preparation; // after "--", ";" or the comma where the item ends
    // Item and preparation as they stood together in the line ("flour -- sifted").
    std::string ItemText;
    // The column of a two-column Meal-Master row it stood in: 0 left (or the only one), 1
    // right. A continuation belongs to the ingredient above it in the same column.
    int Column = 0;
};

// What a line of a recipe's text is.
enum class LineKind { Blank, Ingredient, Heading, Servings, Text };

struct ParsedLine {
    LineKind kind = LineKind::Text;
    std::size_t Source = 0;       // the text line it was read from (the first, when joined)
    IngredientLine ingredient;    // for Ingredient
    std::string Heading;          // for Heading: the heading's words
    std::optional<Amount> Serves; // for Servings: the number, when it is one
    std::string ServesText;       // for Servings: the value as written
};

// Splits an item text into item and preparation: after " -- ", after ";", or after the
// first comma (the item ends there).
void SplitPreparation(std::string_view text, std::string& item, std::string& preparation);

// A heading: "MMMMM-----SAUCE-----", "-----SAUCE-----" (Meal-Master; the words between the
// rules) or a short line ending in ":" ("For the sauce:"). Empty when it is none.
std::string HeadingOf(std::string_view line);

// The value of a servings line ("Serving Size  : 4", "Servings: 4", "Yield: 2 loaves"),
// when the line is one.
std::optional<std::string> ServingsOf(std::string_view line);

// A Meal-Master ingredient line: amount in columns 1-7, unit code in 9-10, item from 12;
// one per column of a two-column layout (the right column from column 41). Nothing when the
// line is not in those columns. A continuation line ("-" in column 12, no amount or unit)
// gives one ingredient whose item starts with "-"; see JoinContinuation.
std::vector<IngredientLine> ParseMealMasterColumns(std::string_view line);

// Whether the item of a Meal-Master line continues the previous one ("-more words").
bool IsContinuation(const IngredientLine& line);
// Adds a continuation's words to the previous ingredient's item and preparation.
void JoinContinuation(IngredientLine& previous, const IngredientLine& continuation);

// A MasterCook ingredient line, in the file's columns (amount 1-8, measure 11-24,
// ingredient from 25) or as the import stores it (amount 1-8, measure 9-23, ingredient
// from 24). Nothing when the line is not in those columns.
std::optional<IngredientLine> ParseMasterCookColumns(std::string_view line);

// A plain line: "1 1/2 cups flour, sifted", "2 eggs", "½ tsp. salt", "salt to taste" (an
// item without amount only when `allowBare`). Nothing when it does not begin like an
// ingredient.
std::optional<IngredientLine> ParsePlainLine(std::string_view line, bool allowBare = false);

// Reads every line of a recipe's text: blank lines, headings, the servings line, ingredient
// lines (Meal-Master columns with continuations joined and two-column rows split, MasterCook
// columns) and the rest as text. With `plainLines`, a text line that reads as a plain
// ingredient line ("1 1/2 cups flour, sifted") is an ingredient too; the exporters leave it
// off, so that a direction line is never laid out as an ingredient. A two-column
// Meal-Master row gives two ingredients, so the result may be longer than the input.
std::vector<ParsedLine> ParseRecipeText(const std::vector<std::string>& text,
                                        bool plainLines = false);

// The ingredients of a recipe's text as lines "AMOUNT<TAB>UNIT<TAB>ITEM<TAB>PREPARATION"
// (AMOUNT a decimal or LOW-HIGH, UNIT canonical; either may be empty) and "#<TAB>HEADING"
// for a heading. Plain ingredient lines count too. With `everyLine`, every line that is no
// heading or servings line is read as an ingredient, an item without amount included ("salt
// to taste"): the lines are known to be ingredient lines.
std::vector<std::string> ListIngredients(const std::vector<std::string>& text,
                                         bool everyLine = false);
// One ingredient as a listing line.
std::string ListingLine(const IngredientLine& line);

// The Meal-Master lines of an ingredient: amount right-aligned in columns 1-7, unit code in
// columns 9-10, item from column 12, cut at word ends onto continuation lines ("-" in
// column 12) so that no line passes `width` characters. A line read from Meal-Master keeps
// its code; a unit without a code goes to the front of the item, and an amount too wide for
// its columns goes there too.
std::vector<std::string> WriteMealMaster(const IngredientLine& line, std::size_t width = 39);

// The MasterCook line of an ingredient: amount right-aligned in columns 1-8, measure word
// in columns 11-24, ingredient from column 25. A line read from MasterCook keeps its word;
// otherwise the word is the unit's (plural for an amount above 1, and each Meal-Master code
// its own word). An item that does not fit in column 104 goes on on further lines with no
// amount or measure.
std::vector<std::string> WriteMasterCook(const IngredientLine& line);

} // namespace larderly::ingredients
