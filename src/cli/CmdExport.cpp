// larderly-cli export --format mmf|mxp [--encoding E] [--book NAME | --id N...] FILE: writes
// every recipe, a book's recipes or the recipes named by identifier to a Meal-Master or
// MasterCook text file. Recipes that cannot be written, or that will read back differently,
// are named on stderr; the status is 1 when any recipe was not written.
#include "cli/CliCommand.h"

#include "exchange/ExportSource.h"
#include "exchange/RecipeExport.h"
#include "platform/AppPaths.h"
#include "store/Tables.h"

#include <charconv>
#include <iostream>

namespace larderly::cli {
namespace {

constexpr const char* kUsage =
    "usage: larderly-cli [--home DIR] export --format mmf|mxp [--encoding utf-8|cp1252|cp437]\n"
    "                    [--book NAME | --id N...] FILE\n";

bool ParseId(const std::string& s, int32_t& id) {
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), id);
    return ec == std::errc() && end == s.data() + s.size() && !s.empty();
}

int Usage() {
    std::cerr << kUsage;
    return 2;
}

int RunExport(const CliArgs& a) {
    using namespace exchange;
    std::string formatName, encodingName = "utf-8", book, file;
    bool byBook = false, byId = false;
    std::vector<int32_t> ids;
    for (std::size_t i = 0; i < a.args.size(); ++i) {
        const std::string& s = a.args[i];
        if (s == "--format" && i + 1 < a.args.size()) {
            formatName = a.args[++i];
        } else if (s == "--encoding" && i + 1 < a.args.size()) {
            encodingName = a.args[++i];
        } else if (s == "--book" && i + 1 < a.args.size()) {
            book = a.args[++i];
            byBook = true;
        } else if (s == "--id") {
            byId = true;
            int32_t id = -1;
            while (i + 1 < a.args.size() && ParseId(a.args[i + 1], id)) {
                ids.push_back(id);
                ++i;
            }
        } else if (file.empty() && !s.starts_with("--")) {
            file = s;
        } else {
            return Usage();
        }
    }
    ExportFormat format{};
    ExportEncoding encoding{};
    if (file.empty() || !ParseExportFormat(formatName, format) ||
        !ParseExportEncoding(encodingName, encoding) || (byBook && byId) || (byId && ids.empty()))
        return Usage();

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

CliRegistrar
    reg("export",
        "export --format mmf|mxp [--encoding E] [--book NAME | --id N...] FILE\n"
        "                               write recipes to a Meal-Master or MasterCook text file",
        RunExport);

} // namespace
} // namespace larderly::cli
