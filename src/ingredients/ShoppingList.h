// A shopping list: the ingredients of several recipes, each item once, with its amounts added
// up. Items are matched without regard to letter case, plural or preparation ("Onions,
// chopped" and "onion" are one item). Units of one kind are converted and added (tsp, tbsp,
// cup and fl oz; ml and l; g and kg; oz and lb); other units, and amounts without a unit,
// are added only to their own kind and kept apart from the rest. Each item goes to an aisle
// by a small table of item words (a default table, which a user table extends or overrides).
// Plain C++, no Qt.
#pragma once

#include "ingredients/IngredientLine.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace larderly::ingredients {

// Item words to aisles: "leek" -> "produce", "chicken broth" -> "canned goods". Words are
// matched in their singular form; the longest phrase found in an item wins.
class AisleTable {
public:
    // The built-in table.
    static AisleTable Default();
    // Reads lines "WORDS = AISLE" ("#" starts a comment; blank lines are skipped) over the
    // entries already held. A line that is not of that form is named in `problems`
    // ("line 3: no '=' between item and aisle") and skipped.
    void Read(std::string_view text, std::vector<std::string>& problems);
    void Set(const std::string& words, const std::string& aisle);

    // The aisle of an item (its words as ItemKey gives them), "other" when none applies.
    std::string AisleOf(const std::string& itemKey) const;
    // The aisles in the order a list shows them: the built-in ones, then the user's own in
    // the order first named, "other" last.
    const std::vector<std::string>& Order() const { return order_; }

private:
    std::map<std::string, std::string> entries_; // singular words -> aisle
    std::vector<std::string> order_;
};

inline constexpr const char* kOtherAisle = "other";
// The user's aisle table, in the program folder beside data/.
inline constexpr const char* kAisleFile = "aisles.txt";

// The built-in table with the user's table (kAisleFile in `folder`, which ends in "/") over
// it, when there is one. A line of the file that cannot be read goes to `problems` as
// "FILE: line 3: ...; the line is skipped." and the rest is used.
AisleTable LoadAisleTable(const std::string& folder, std::vector<std::string>& problems);

// An item's words in lower case, each in its singular form, joined by one blank; punctuation
// at word ends dropped ("Onions," -> "onion").
std::string ItemKey(std::string_view item);

// One kind of amount of an item: a unit ("tbsp", "kg", "clove") or none (a count).
struct ShoppingQuantity {
    std::string Unit;
    double Low = 0, High = 0; // a range when they differ
};

struct ShoppingItem {
    std::string Key;
    std::string Name; // the item as first written
    std::string Aisle;
    std::vector<ShoppingQuantity> Quantities; // one per kind kept apart, in order first seen
    // "2 tbsp + 100 g", empty when no line gave an amount ("salt to taste").
    std::string QuantityText() const;
};

class ShoppingList {
public:
    // Adds a recipe's ingredients (read from its text as ParseRecipeText reads them, plain
    // lines included), every amount multiplied by `factor`.
    void AddRecipe(const std::vector<std::string>& text, double factor = 1.0);
    void Add(const IngredientLine& line, double factor = 1.0);

    // The items by aisle (in the table's order), by name within an aisle.
    std::vector<ShoppingItem> Items(const AisleTable& aisles) const;

private:
    std::map<std::string, ShoppingItem> items_;
    std::vector<std::string> keys_;
};

// The list as text: "#\tAISLE" before each aisle's items, then "QUANTITY\tITEM" per item.
std::string ShoppingListText(const std::vector<ShoppingItem>& items);

} // namespace larderly::ingredients
