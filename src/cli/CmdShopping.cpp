// larderly-cli shopping-list: the ingredients of a book's recipes or of recipes named by
// identifier, each item once with its amounts added up, grouped by aisle.
#include "cli/CliCommand.h"

#include "ingredients/Scale.h"
#include "ingredients/ShoppingList.h"
#include "platform/AppPaths.h"
#include "store/Tables.h"

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

namespace larderly::cli {
namespace {

namespace ing = larderly::ingredients;

std::string LowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// The default aisles with the user's table in the program folder over them; a line of the
// file that cannot be read is reported and skipped.
ing::AisleTable LoadAisles() {
    std::vector<std::string> problems;
    ing::AisleTable table = ing::LoadAisleTable(ProgramFolder(), problems);
    for (const std::string& p : problems)
        std::cerr << p << "\n";
    return table;
}

int RunShoppingList(const CliArgs& a) {
    const bool byBook = a.Has("--book");
    const std::vector<std::string> ids = a.Values("--id");
    if (byBook == a.Has("--id")) return UsageError(a, "give either --book NAME or --id N...");
    if (!byBook && ids.empty()) return UsageError(a, "--id needs at least one identifier");
    double servings = 0;
    if (a.Has("--servings")) {
        long long n = 0;
        if (!ParseWholeNumber(a.Value("--servings"), n) || n < 1 || n > 10000)
            return UsageError(a, "--servings needs a whole number from 1 to 10000");
        servings = static_cast<double>(n);
    }
    TfmTables store;
    try {
        store.OpenDatabase(ProgramFolder());
        store.SetTablesOpen(true);
        std::vector<int32_t> recipes;
        if (byBook) {
            const std::string name = a.Value("--book");
            std::optional<BookValue> found;
            for (const BookValue& b : store.Books())
                if (b.Name == name || (!found && LowerAscii(b.Name) == LowerAscii(name))) found = b;
            if (!found) {
                std::cerr << "There is no book named \"" << name
                          << "\"; `larderly-cli help shopping-list` tells how to name one.\n";
                return 1;
            }
            recipes = store.BookRecipeIds(found->InternalID);
        } else {
            for (const std::string& s : ids) {
                int32_t id = 0;
                if (!ParseInt32(s, id)) return UsageError(a, "'" + s + "' is no identifier");
                recipes.push_back(id);
            }
        }
        ing::ShoppingList list;
        for (int32_t id : recipes) {
            std::optional<RecipeValue> r = store.LoadRecipeById(id);
            if (!r) {
                std::cerr << "There is no recipe with the identifier " << id
                          << "; `larderly-cli list` shows every recipe's identifier.\n";
                return 1;
            }
            double factor = 1;
            if (servings > 0) {
                const double serves = ing::RecipeServings(r->Lines).value_or(0);
                if (serves > 0)
                    factor = servings / serves;
                else
                    std::cerr << "Recipe " << id << " (" << r->Title
                              << ") gives no servings; its amounts are taken as they are.\n";
            }
            list.AddRecipe(r->Lines, factor);
        }
        std::cout << ing::ShoppingListText(list.Items(LoadAisles())) << std::flush;
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    return 0;
}

} // namespace

CliCommand ShoppingListCommand() {
    CliCommand c;
    c.name = "shopping-list";
    c.forms = {"--book [--servings]", "--id [--servings]"};
    c.summary = "print the ingredients of recipes added up, by aisle";
    c.options = {{"--book", "NAME", "the recipes of this book", CliValue::One},
                 {"--id", "N...", "these recipes", CliValue::Integers},
                 {"--servings", "N", "scale each recipe to N servings", CliValue::One}};
    c.maxArgs = 0;
    c.notes = {"Each line is QUANTITY<TAB>ITEM; \"#<TAB>AISLE\" comes before each aisle's items.",
               "Items are matched without regard to case, plural or preparation; units of",
               "one kind are added up (tsp/tbsp/cup/fl oz, ml/l, g/kg, oz/lb).",
               "Aisles come from a built-in table; lines \"ITEM = AISLE\" in the program",
               "folder's aisles.txt add to it or change it."};
    c.run = RunShoppingList;
    return c;
}

} // namespace larderly::cli
