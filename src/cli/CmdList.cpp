// larderly-cli list: every recipe as "identifier TAB title TAB slot names joined by ;",
// sorted as the recipe list sorts titles. larderly-cli search WORDS...: the same for the
// recipes whose title or text hold every word (case and accents ignored, words as prefixes);
// with --ingredient, the recipes whose ingredient items hold every word.
#include "cli/CliCommand.h"

#include "platform/AppPaths.h"
#include "platform/TitleOrder.h"
#include "store/Tables.h"

#include <algorithm>
#include <iostream>
#include <unordered_map>
#include <vector>

namespace larderly::cli {
namespace {

// Prints every recipe, or those that the search index (or with `byIngredient` the
// ingredient index) finds for `words`.
int PrintRecipes(const std::string* words, bool byIngredient = false) {
    TfmTables store;
    try {
        store.OpenDatabase(ProgramFolder());
        store.SetTablesOpen(true);
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    std::unordered_map<int32_t, std::string> names;
    for (LabelValue& l : store.Labels())
        names[l.InternalID] = std::move(l.Name);
    // A search reads the index and the rows it names; only the whole list reads every row.
    std::vector<RecipeRecord> rows;
    if (words) {
        try {
            std::vector<int32_t> ids = byIngredient ? store.IngredientIndex().Search(*words)
                                                    : store.SearchIndex().Search(*words);
            std::sort(ids.begin(), ids.end());
            rows = store.RecipeRecordsByIds(ids);
        } catch (const std::exception& e) {
            std::cerr << e.what() << "\n";
            return 1;
        }
    } else {
        rows = store.RecipeRecords();
    }
    std::stable_sort(rows.begin(), rows.end(), [](const RecipeRecord& x, const RecipeRecord& y) {
        int c = CompareTitles(x.Title, y.Title);
        return c != 0 ? c < 0 : x.InternalID < y.InternalID;
    });
    std::string out;
    for (const RecipeRecord& s : rows) {
        out += std::to_string(s.InternalID);
        out += '\t';
        out += s.Title;
        out += '\t';
        for (int k = 0; k < 4; ++k) {
            if (k) out += ';';
            auto it = names.find(s.Category[static_cast<size_t>(k)]);
            if (it != names.end()) out += it->second;
        }
        out += '\n';
        if (out.size() > 1 << 16) {
            std::cout << out;
            out.clear();
        }
    }
    std::cout << out << std::flush;
    return 0;
}

int RunList(const CliArgs&) {
    return PrintRecipes(nullptr);
}

int RunSearch(const CliArgs& a) {
    std::string words;
    for (const std::string& w : a.args)
        words += (words.empty() ? "" : " ") + w;
    if (words.find_first_not_of(" \t") == std::string::npos) return UsageError(a);
    return PrintRecipes(&words, a.Has("--ingredient"));
}

} // namespace

CliCommand ListCommand() {
    CliCommand c;
    c.name = "list";
    c.summary = "print every recipe: id, title, categories";
    c.maxArgs = 0;
    c.run = RunList;
    return c;
}

CliCommand SearchCommand() {
    CliCommand c;
    c.name = "search";
    c.arguments = "WORDS...";
    c.summary = "print the recipes whose title or text hold every word";
    c.options = {{"--ingredient", "", "search the ingredient items instead (plural ignored)",
                  CliValue::None}};
    c.minArgs = 1;
    c.run = RunSearch;
    return c;
}

} // namespace larderly::cli
