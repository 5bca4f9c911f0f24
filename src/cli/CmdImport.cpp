// larderly-cli import [--encoding NAME] [--skip-existing] FILE...: imports each file as
// File > Import does (the readers in their order, one transaction per file) and prints one
// line per file: the file name, a tab, the number of recipes it added, a tab, the reader that
// accepted it (and, with --skip-existing, a tab and the number of recipes skipped). A file no
// reader accepts, or one that a title already in the collection (or repeated in the file)
// stopped, is reported on stderr and makes the exit status 2; text outside any recipe is named
// on stderr by its line numbers; an unreadable file stops the command with its error
// and exit status 1.
#include "cli/CliCommand.h"

#include "import/ImportCommand.h"
#include "platform/AppPaths.h"
#include "store/Tables.h"

#include <iostream>

namespace larderly::cli {

int RunImport(const CliArgs& a) {
    import::TImportOptions options;
    options.SkipExisting = a.Has("--skip-existing");
    if (a.Has("--encoding")) {
        const std::string name = a.Value("--encoding");
        if (!import::ParseEncoding(name, options.Encoding))
            return UsageError(a, "unknown encoding \"" + name + "\"");
    }
    const std::vector<std::string>& files = a.args;
    TfmTables store;
    bool refused = false;
    try {
        store.OpenDatabase(ProgramFolder());
        store.SetTablesOpen(true);
        // One writer at a time: the import holds the data folder for its whole run.
        store.HoldWriteLock("the import",
                            [](const std::string& text) { std::cerr << text << "\n"; });
        store.BuildSummaries();
        for (const std::string& file : files) {
            import::TFileImport r = import::ImportFile(store, file, options);
            if (!r.Accepted) {
                std::cerr << import::RefusedFileMessage(r) << "\n";
                refused = true;
                continue;
            }
            if (r.StoppedOnTitle) {
                std::cerr << import::ExistingTitleMessage(r, "--skip-existing") << "\n";
                refused = true;
            }
            if (const std::string unread = import::UnreadText(r); !unread.empty())
                std::cerr << unread << "\n";
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

} // namespace larderly::cli
