// larderly-cli: a headless front end over the engines, for scripts, tests and benchmarks.
#include "cli/CliCommand.h"

#include <cstdlib>
#include <exception>
#include <iostream>

namespace larderly::cli {
std::vector<CliCommandInfo>& cliCommands() {
    static std::vector<CliCommandInfo> commands;
    return commands;
}
} // namespace larderly::cli

using namespace larderly::cli;

static void usage(std::ostream& out) {
    out << "usage: larderly-cli [--home DIR] COMMAND [ARGS...]\n\ncommands:\n";
    for (const auto& c : cliCommands()) out << "  " << c.usage << "\n";
}

int main(int argc, char** argv) {
    CliArgs a;
    int i = 1;
    while (i < argc) {
        std::string s = argv[i];
        if (s == "--home" && i + 1 < argc) {
            a.home = argv[i + 1];
            setenv("LARDERLY_HOME", a.home.c_str(), 1);
            i += 2;
        } else if (s == "--help" || s == "-h") {
            usage(std::cout);
            return 0;
        } else {
            break;
        }
    }
    if (i >= argc) {
        usage(std::cerr);
        return 2;
    }
    std::string name = argv[i++];
    for (; i < argc; ++i) a.args.emplace_back(argv[i]);
    for (const auto& c : cliCommands()) {
        if (c.name == name) {
            try {
                return c.handler(a);
            } catch (const std::exception& e) {
                std::cerr << e.what() << "\n";
                return 1;
            }
        }
    }
    std::cerr << "larderly-cli: unknown command '" << name << "'\n";
    usage(std::cerr);
    return 2;
}
