// larderly-cli: a headless front end over the engines, for scripts, tests and benchmarks.
// Conventions: --help and --version on stdout with status 0, `help COMMAND` (or
// `COMMAND --help`) for one command, and usage errors on stderr with status 2. The
// commands come from InstallCommands(); each command line is read by its declaration.
#include "cli/CliCommand.h"

#include <cstdlib>
#include <exception>
#include <iostream>

#ifndef LARDERLY_VERSION
#define LARDERLY_VERSION "unknown"
#endif

using namespace larderly::cli;

namespace larderly::cli {

std::vector<CliCommand> InstallCommands() {
    return {ImportCommand(),      ListCommand(),   SearchCommand(),  ExportCommand(),
            PrintCommand(),       BackupCommand(), RestoreCommand(), LhaCommand(),
            SegCommand(),         IsoCommand(),    BurnCommand(),    ShoppingListCommand(),
            IngredientsCommand(), ShowCommand()};
}

} // namespace larderly::cli

namespace {

void usage(std::ostream& out, const std::vector<CliCommand>& commands) {
    out << "usage: larderly-cli [--home DIR] COMMAND [ARGS...]\n"
           "       larderly-cli --help | --version | help COMMAND\n\n"
           "Works on the program folder DIR (default: LARDERLY_HOME, a build or portable folder\n"
           "holding the program, else $XDG_DATA_HOME/larderly) without windows.\n\ncommands:\n";
    PrintCommandList(out, commands);
}

const CliCommand* find(const std::vector<CliCommand>& commands, const std::string& name) {
    for (const auto& c : commands)
        if (c.name == name) return &c;
    return nullptr;
}

int UsageError(const std::string& message) {
    std::cerr << "larderly-cli: " << message << "\n";
    std::cerr << "Try 'larderly-cli --help' for more information.\n";
    return 2;
}

// `help [COMMAND]`.
int Help(const std::vector<CliCommand>& commands, int argc, char** argv, int i) {
    if (i >= argc) {
        usage(std::cout, commands);
        return 0;
    }
    const CliCommand* c = find(commands, argv[i]);
    if (!c) return UsageError(std::string("no help for unknown command '") + argv[i] + "'");
    PrintCommandHelp(std::cout, *c);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<CliCommand> commands = InstallCommands();
    CliArgs a;
    int i = 1;
    while (i < argc) {
        std::string s = argv[i];
        if (s == "--home") {
            if (i + 1 >= argc || !*argv[i + 1]) return UsageError("--home needs a folder");
            a.home = argv[i + 1];
            setenv("LARDERLY_HOME", a.home.c_str(), 1);
            i += 2;
        } else if (s == "--help" || s == "-h") {
            usage(std::cout, commands);
            return 0;
        } else if (s == "--version" || s == "-V") {
            std::cout << "larderly-cli " << LARDERLY_VERSION << "\n";
            return 0;
        } else if (s.size() > 1 && s[0] == '-') {
            return UsageError("unknown option '" + s + "'");
        } else {
            break;
        }
    }
    if (i >= argc) return UsageError("no command given");
    std::string name = argv[i++];
    if (name == "help") return Help(commands, argc, argv, i);
    const CliCommand* c = find(commands, name);
    if (!c) return UsageError("unknown command '" + name + "'");
    if (i < argc && (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h"))
        return Help(commands, argc, argv, i - 1);
    std::string error;
    if (!ParseCommandLine(*c, std::vector<std::string>(argv + i, argv + argc), a, error))
        return UsageError(*c, error);
    TellIndexRebuilds();
    try {
        return c->run(a);
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
}
