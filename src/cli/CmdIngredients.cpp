// larderly-cli ingredients ID: the ingredients read from a recipe's text, one line each
// (amount, unit, item, preparation joined by tabs; "#<TAB>HEADING" for a heading).
// larderly-cli ingredients --parse reads the lines of standard input the same way.
// larderly-cli show ID [--servings N]: the recipe as its report prints it, scaled.
#include "cli/CliCommand.h"

#include "ingredients/IngredientLine.h"
#include "platform/AppPaths.h"
#include "print/RecipeReport.h"
#include "store/Tables.h"

#include <iostream>
#include <string>
#include <vector>

namespace larderly::cli {
namespace {

// Opens the data folder's tables in `store` and loads recipe `id`; a missing one is named
// (as `typed`) on stderr.
std::optional<RecipeValue> OpenRecipe(TfmTables& store, int32_t id, const std::string& typed) {
    store.OpenDatabase(ProgramFolder());
    store.SetTablesOpen(true);
    std::optional<RecipeValue> recipe;
    if (id >= 0) recipe = store.LoadRecipeById(id);
    if (!recipe)
        std::cerr << "No recipe has the id " << typed
                  << "; `larderly-cli list` shows every recipe's id.\n";
    return recipe;
}

int RunIngredients(const CliArgs& a) {
    std::vector<std::string> text;
    bool everyLine = false;
    if (a.Has("--parse")) {
        if (!a.args.empty()) return UsageError(a, "--parse reads standard input, not a recipe");
        for (std::string line; std::getline(std::cin, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            text.push_back(std::move(line));
        }
        everyLine = true;
    } else {
        int32_t id = -1;
        if (a.args.size() != 1 || !ParseInt32(a.args[0], id)) return UsageError(a);
        TfmTables store;
        const std::optional<RecipeValue> recipe = OpenRecipe(store, id, a.args[0]);
        if (!recipe) return 1;
        text = recipe->Lines;
    }
    std::string out;
    for (const std::string& line : ingredients::ListIngredients(text, everyLine))
        out += line + '\n';
    std::cout << out << std::flush;
    return 0;
}

int RunShow(const CliArgs& a) {
    int32_t id = -1;
    if (!ParseInt32(a.args[0], id)) return UsageError(a);
    TfmTables store;
    const std::optional<RecipeValue> recipe = OpenRecipe(store, id, a.args[0]);
    if (!recipe) return 1;
    TRecipeReportData data = LoadRecipeReport(store, *recipe);
    if (const int status = ApplyServings(a, data.Text)) return status;
    std::string out = data.Title + "\n\nCategories: " + data.Categories + "\n\n";
    for (const std::string& line : data.Text)
        out += line + '\n';
    std::cout << out << std::flush;
    return 0;
}

} // namespace

CliCommand ShowCommand() {
    CliCommand c;
    c.name = "show";
    c.forms = {"ID [--servings]"};
    c.summary = "print a recipe as its report does, scaled to a number of servings";
    c.options = {{"--servings", "N", "scale the ingredient amounts to N servings", CliValue::One}};
    c.minArgs = 1;
    c.maxArgs = 1;
    c.notes = {"Only what is shown is scaled; the stored recipe never changes."};
    c.run = RunShow;
    return c;
}

CliCommand IngredientsCommand() {
    CliCommand c;
    c.name = "ingredients";
    c.forms = {"ID", "--parse"};
    c.summary = "print the ingredients read from a recipe (or from standard input)";
    c.options = {{"--parse", "", "read ingredient lines from standard input", CliValue::None}};
    c.maxArgs = 1;
    c.notes = {"Each ingredient is one line: AMOUNT, UNIT, ITEM and PREPARATION joined by tabs",
               "(an empty field when there is none); a heading is a line \"#\", a tab and its",
               "words."};
    c.run = RunIngredients;
    return c;
}

} // namespace larderly::cli
