// larderly-cli import [--encoding NAME] [--skip-existing] FILE...: imports each file as
// File > Import does (the readers in their order, one transaction per file) and prints one
// line per file: the file name, a tab, the number of recipes it added, a tab, the reader that
// accepted it (and, with --skip-existing, a tab and the number of recipes skipped). A file no
// reader accepts, or one that a title already in the collection stopped, is reported on
// stderr and makes the exit status 2; an unreadable file stops the command with its error
// and exit status 1.
#include "cli/CliCommand.h"

#include "import/ImportCommand.h"
#include "platform/AppPaths.h"
#include "store/Tables.h"
#include "workspace/RecipeSummaries.h"

#include <iostream>

namespace larderly::cli {
namespace {

constexpr const char* kUsage =
    "usage: larderly-cli [--home DIR] import [--encoding auto|utf-8|cp1252|cp437|cp850|latin1] "
    "[--skip-existing] FILE...\n";

int RunImport(const CliArgs& a) {
    import::TImportOptions options;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < a.args.size(); ++i) {
        const std::string& arg = a.args[i];
        if (arg == "--skip-existing") {
            options.SkipExisting = true;
        } else if (arg == "--encoding" || arg.rfind("--encoding=", 0) == 0) {
            std::string name =
                arg.size() > 10 ? arg.substr(11) : (i + 1 < a.args.size() ? a.args[++i] : "");
            if (!import::ParseEncoding(name, options.Encoding)) {
                std::cerr << "unknown encoding \"" << name << "\"\n" << kUsage;
                return 2;
            }
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    TfmTables store;
    RecipeSummaries summaries;
    bool refused = false;
    try {
        store.OpenDatabase(ProgramFolder());
        store.SetTablesOpen(true);
        summaries.Build(store);
        for (const std::string& file : files) {
            import::TFileImport r = import::ImportFile(store, summaries, file, options);
            if (!r.Accepted) {
                std::cerr << import::ImproperFileMessage(file) << "\n";
                refused = true;
                continue;
            }
            if (r.StoppedOnTitle) {
                std::cerr << import::ExistingTitleMessage(r.ExistingTitle, file) << "\n";
                refused = true;
            }
            std::cout << file << '\t' << r.Added << '\t' << r.Reader;
            if (options.SkipExisting) std::cout << '\t' << r.Skipped;
            std::cout << "\n" << std::flush;
        }
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    return refused ? 2 : 0;
}

CliRegistrar
    reg("import",
        "import [--encoding E] [--skip-existing] FILE...\n"
        "                              import recipe files (MasterCook, Meal-Master); E is auto,\n"
        "                              utf-8, cp1252, cp437, cp850 or latin1",
        RunImport);

} // namespace
} // namespace larderly::cli
