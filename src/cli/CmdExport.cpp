// larderly-cli export --format mmf|mxp [--encoding E] [--strict] [--book NAME | --search WORDS |
// --id N...] FILE: writes every recipe, a book's recipes, the recipes whose title or text hold
// every word (as search finds them) or the recipes named by identifier to a Meal-Master or
// MasterCook text file. A character the encoding lacks is written as its nearest ASCII; with
// --strict such a recipe is not written. Recipes that cannot be written, or that will read
// back differently, are named on stderr; the status is 1 when any recipe was not written.
#include "cli/CliCommand.h"

#include "exchange/ExportSource.h"
#include "exchange/RecipeExport.h"
#include "platform/AppPaths.h"
#include "store/Tables.h"

#include <iostream>

namespace larderly::cli {
namespace {

// "a, b or c".
std::string OrList(const std::vector<std::string>& words) {
    std::string out;
    for (std::size_t i = 0; i < words.size(); ++i)
        out += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + words[i];
    return out;
}

int RunExport(const CliArgs& a) {
    using namespace exchange;
    const std::string formatName = a.Value("--format"),
                      encodingName = a.Value("--encoding", exchange::ExportEncodings().front().Id);
    const std::string book = a.Value("--book"), file = a.args[0];
    const std::string words = a.Value("--search");
    const bool byBook = a.Has("--book"), byId = a.Has("--id"), bySearch = a.Has("--search");
    std::vector<int32_t> ids;
    for (const std::string& text : a.Values("--id")) {
        int32_t id = -1;
        if (!ParseInt32(text, id)) return UsageError(a);
        ids.push_back(id);
    }
    ExportFormat format{};
    ExportEncoding encoding{};
    if (!ParseExportFormat(formatName, format) || !ParseExportEncoding(encodingName, encoding))
        return UsageError(a);
    if (!FormatTakesEncoding(format, encoding))
        return UsageError(a, std::string(FormatInfo(format).ChoiceName) +
                                 " files cannot be written in " + EncodingDisplayName(encoding));
    if (int(byBook) + int(byId) + int(bySearch) > 1 || (byId && ids.empty()) ||
        (bySearch && words.find_first_not_of(" \t") == std::string::npos))
        return UsageError(a);

    TfmTables store;
    store.OpenDatabase(ProgramFolder());
    store.SetTablesOpen(true);
    if (byBook)
        ids = BookRecipeIds(store, book);
    else if (bySearch) {
        // The matches in the order every recipe is exported in.
        try {
            ids = RecipeIdsInListOrder(store, store.SearchIndex().Search(words));
        } catch (const std::exception& e) {
            std::cerr << e.what() << "\n";
            return 1;
        }
    } else if (!byId)
        ids = AllRecipeIds(store);
    const std::vector<ExportRecipe> recipes = LoadExportRecipes(store, ids);
    store.SetTablesOpen(false);

    const ExportResult result =
        ExportToFile(file, recipes, format, encoding, {}, a.Has("--strict"));
    for (const ExportNote& n : result.Notes) {
        std::cerr << "Recipe \"" << n.Title << "\" (" << n.Id << ")"
                  << (n.Written ? ": " : " was not written: ") << n.Reason << "\n";
    }
    std::cout << result.Written << " of " << recipes.size() << " recipes written";
    // Recipes were chosen but none could be written: no file was made (or replaced).
    if (!recipes.empty() && result.Written == 0)
        std::cout << "; no file was made";
    else
        std::cout << " to " << file;
    // Recipes written with a difference are not counted as written unchanged.
    if (const std::size_t changed = result.WrittenChanged())
        std::cout << "; " << changed << (changed == 1 ? " of them reads" : " of them read")
                  << " back differently (named above)";
    std::cout << "\n";
    return result.NotWritten() ? 1 : 0;
}

} // namespace

CliCommand ExportCommand() {
    using namespace exchange;
    std::string ids;
    std::vector<std::string> names, encodings;
    for (const ExportFormatInfo& f : ExportFormats()) {
        ids += (ids.empty() ? "" : "|") + std::string(f.Id);
        names.emplace_back(f.ChoiceName);
    }
    for (const ExportEncodingInfo& e : ExportEncodings())
        encodings.push_back(e.Id + std::string(encodings.empty() ? " (default)" : ""));
    CliCommand c;
    c.name = "export";
    c.forms = {"--format [--encoding] [--strict] [--book | --search | --id] FILE"};
    c.summary = "write recipes to a " + OrList(names) + " file";
    c.options = {
        {"--format", ids, OrList(names), CliValue::One},
        {"--encoding", "E", OrList(encodings), CliValue::One},
        {"--strict", "", "leave out recipes holding characters the encoding lacks", CliValue::None},
        {"--book", "NAME", "the recipes of one book", CliValue::One},
        {"--search", "WORDS", "the recipes whose title or text hold every word", CliValue::One},
        {"--id", "N...", "the recipes with these identifiers", CliValue::Integers}};
    c.minArgs = 1;
    c.maxArgs = 1;
    c.run = RunExport;
    return c;
}

} // namespace larderly::cli
