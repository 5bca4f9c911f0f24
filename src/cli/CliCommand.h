// The sub-commands of larderly-cli. Each lives in its own Cmd*.cpp and registers itself with
// a CliRegistrar at static initialisation; main() dispatches on the first argument.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace larderly::cli {

// Arguments after the sub-command's name. `home` is the --home folder given before the
// sub-command (also exported as LARDERLY_HOME), empty when none was given.
struct CliArgs {
    std::string home;
    std::vector<std::string> args;
};

// Returns the process's exit status.
using CliHandler = std::function<int(const CliArgs&)>;

struct CliCommandInfo {
    std::string name;
    std::string usage; // one or more lines shown by --help
    CliHandler handler;
};

std::vector<CliCommandInfo>& cliCommands();

struct CliRegistrar {
    CliRegistrar(std::string name, std::string usage, CliHandler handler) {
        cliCommands().push_back({std::move(name), std::move(usage), std::move(handler)});
    }
};

} // namespace larderly::cli
