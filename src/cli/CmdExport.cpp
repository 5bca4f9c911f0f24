// larderly-cli export --format mmf|mxp [--encoding E] [--book NAME | --id N...] FILE: writes
// every recipe, a book's recipes or the recipes named by identifier to a Meal-Master or
// MasterCook text file. Recipes that cannot be written, or that will read back differently,
// are named on stderr; the status is 1 when any recipe was not written.
#include "cli/CliCommand.h"

#include "exchange/ExportSource.h"
#include "exchange/RecipeExport.h"
#include "platform/AppPaths.h"
#include "store/Tables.h"

#include <iostream>

namespace larderly::cli {
namespace {

int RunExport(const CliArgs& a) {
    using namespace exchange;
    const std::string formatName = a.Value("--format"),
                      encodingName = a.Value("--encoding", "utf-8");
    const std::string book = a.Value("--book"), file = a.args[0];
    const bool byBook = a.Has("--book"), byId = a.Has("--id");
    std::vector<int32_t> ids;
    for (const std::string& text : a.Values("--id")) {
        int32_t id = -1;
        if (!ParseInt32(text, id)) return UsageError(a);
        ids.push_back(id);
    }
    ExportFormat format{};
    ExportEncoding encoding{};
    if (!ParseExportFormat(formatName, format) || !ParseExportEncoding(encodingName, encoding) ||
        (byBook && byId) || (byId && ids.empty()))
        return UsageError(a);

    TfmTables store;
    store.OpenDatabase(ProgramFolder());
    store.SetTablesOpen(true);
    if (byBook)
        ids = BookRecipeIds(store, book);
    else if (!byId)
        ids = AllRecipeIds(store);
    const std::vector<ExportRecipe> recipes = LoadExportRecipes(store, ids);
    store.SetTablesOpen(false);

    const ExportResult result = ExportToFile(file, recipes, format, encoding);
    for (const ExportNote& n : result.Notes) {
        std::cerr << "Recipe \"" << n.Title << "\" (" << n.Id << ")"
                  << (n.Written ? ": " : " was not written: ") << n.Reason << "\n";
    }
    std::cout << result.Written << " of " << recipes.size() << " recipes written to " << file
              << "\n";
    return result.NotWritten() ? 1 : 0;
}

} // namespace

CliCommand ExportCommand() {
    CliCommand c;
    c.name = "export";
    c.forms = {"--format [--encoding] [--book | --id] FILE"};
    c.summary = "write recipes to a Meal-Master or MasterCook text file";
    c.options = {{"--format", "mmf|mxp", "Meal-Master or MasterCook text", CliValue::One},
                 {"--encoding", "E", "utf-8 (default), cp1252 or cp437", CliValue::One},
                 {"--book", "NAME", "the recipes of one book", CliValue::One},
                 {"--id", "N...", "the recipes with these identifiers", CliValue::Integers}};
    c.minArgs = 1;
    c.maxArgs = 1;
    c.run = RunExport;
    return c;
}

} // namespace larderly::cli
