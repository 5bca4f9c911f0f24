// larderly-cli import FILE...: imports each file as File > Import does (the readers in
// their order, one transaction per file) and prints one line per file: the file name, a tab,
// the number of recipes it added, a tab, the reader that accepted it. A file no reader
// accepts is reported on stderr and makes the exit status 2; an unreadable file stops the
// command with its error and exit status 1.
#include "cli/CliCommand.h"

#include "import/ImportCommand.h"
#include "platform/AppPaths.h"
#include "store/Tables.h"
#include "workspace/RecipeSummaries.h"

#include <iostream>

namespace larderly::cli {
namespace {

int RunImport(const CliArgs& a) {
    TfmTables store;
    RecipeSummaries summaries;
    bool refused = false;
    try {
        store.OpenDatabase(ProgramFolder());
        store.SetTablesOpen(true);
        summaries.Build(store);
        for (const std::string& file : a.args) {
            import::TFileImport r = import::ImportFile(store, summaries, file);
            if (!r.Accepted) {
                std::cerr << import::ImproperFileMessage(file) << "\n";
                refused = true;
                continue;
            }
            std::cout << file << '\t' << r.Added << '\t' << r.Reader << "\n" << std::flush;
        }
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    return refused ? 2 : 0;
}

} // namespace

CliCommand ImportCommand() {
    CliCommand c;
    c.name = "import";
    c.arguments = "FILE...";
    c.summary = "import recipe files (MasterCook, Meal-Master)";
    c.minArgs = 1;
    c.run = RunImport;
    return c;
}

} // namespace larderly::cli
