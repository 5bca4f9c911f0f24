// larderly-cli list: every recipe as "identifier TAB title TAB slot names joined by ;",
// sorted as the recipe list sorts titles.
#include "cli/CliCommand.h"

#include "platform/AppPaths.h"
#include "store/Labels.h"
#include "store/Tables.h"
#include "workspace/RecipeSummaries.h"
#include "platform/Text.h"

#include <algorithm>
#include <iostream>
#include <unordered_map>
#include <vector>

namespace larderly::cli {
namespace {

int RunList(const CliArgs& a) {
    if (!a.args.empty()) {
        std::cerr << "usage: larderly-cli [--home DIR] list\n";
        return 2;
    }
    TfmTables store;
    try {
        store.OpenDatabase(ProgramFolder());
        store.SetTablesOpen(true);
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    std::unordered_map<int32_t, std::string> names;
    {
        TTable& t = store.tblListLabel();
        t.First();
        while (!t.Eof()) {
            names[t.FieldAsInteger(fld::InternalID)] = CutChars(t.FieldAsString(fld::LabelName), kLabelNameWidth);
            t.Next();
        }
    }
    RecipeSummaries summaries;
    summaries.Build(store);
    std::vector<const TRecipeSummary*> rows;
    rows.reserve(summaries.Count());
    for (const auto& s : summaries) rows.push_back(&s);
    std::stable_sort(rows.begin(), rows.end(), [](const TRecipeSummary* x, const TRecipeSummary* y) {
        int c = CompareFolded(x->Title, y->Title);
        return c != 0 ? c < 0 : x->InternalID < y->InternalID;
    });
    std::string out;
    for (const TRecipeSummary* s : rows) {
        out += std::to_string(s->InternalID);
        out += '\t';
        out += s->Title;
        out += '\t';
        for (int k = 0; k < 4; ++k) {
            if (k) out += ';';
            auto it = names.find(s->Category[static_cast<size_t>(k)]);
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

CliRegistrar reg("list", "list                         print every recipe: id, title, categories", RunList);

} // namespace
} // namespace larderly::cli
