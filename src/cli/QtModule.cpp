// The module of the commands that work with Qt (see CliCommand.h): larderly-cli loads it when
// one of them runs and hands it the parsed command line.
#include "cli/CliCommand.h"

#include <exception>
#include <iostream>
#include <string_view>

static_assert(std::string_view(larderly::cli::kQtModuleEntry) == "larderly_cli_run_qt");

extern "C" __attribute__((visibility("default"))) int
larderly_cli_run_qt(const larderly::cli::CliArgs* a) {
    using namespace larderly::cli;
    // The module keeps its own copy of the store: it tells the user of index builds itself.
    TellIndexRebuilds();
    try {
        const std::string& name = a->command->name;
        if (name == "import") return RunImport(*a);
        if (name == "print") return RunPrint(*a);
        std::cerr << "larderly-cli: the Qt module does not run " << name << "\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
}
