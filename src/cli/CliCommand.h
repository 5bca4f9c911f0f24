// The sub-commands of larderly-cli as a table. Each command declares its options and
// arguments once (CliCommand); one parser reads a command line from that declaration and
// the usage text, --help and `help COMMAND` are written from it. InstallCommands() lists
// every command; main() dispatches on the first argument.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

namespace larderly::cli {

// What follows an option's name on the command line.
enum class CliValue {
    None,    // a switch
    One,     // one value, the next argument whatever it looks like
    Integers // every following argument that is a whole number (possibly none)
};

struct CliOption {
    std::string name;  // "--pdf", "-C"
    std::string value; // the value's placeholder in the usage ("FILE"); empty for a switch
    std::string help;  // one line
    CliValue kind = CliValue::None;
};

struct CliCommand;

// One parsed command line: the options given and the arguments between and after them.
// `home` is the --home folder given before the sub-command (also exported as
// LARDERLY_HOME), empty when none was given.
struct CliArgs {
    std::string home;
    std::vector<std::string> args; // positional arguments, in order
    const CliCommand* command = nullptr;

    bool Has(const std::string& option) const { return values.count(option) != 0; }
    // The option's last value, or `otherwise` when the option was not given.
    std::string Value(const std::string& option, const std::string& otherwise = {}) const;
    // Every value given to the option, in order.
    std::vector<std::string> Values(const std::string& option) const;

    std::map<std::string, std::vector<std::string>> values;
};

// Returns the process's exit status.
using CliHandler = int (*)(const CliArgs&);

struct CliCommand {
    std::string name;
    // The synopsis lines after the name. Each names options ("--pdf"; "[--date]" when it may
    // be left out) and arguments ("ID", "FILE..."); option placeholders come from `options`.
    // Empty: one line with every option in brackets followed by `arguments`.
    std::vector<std::string> forms;
    std::string arguments;
    std::string summary; // what the command does, one line
    std::vector<CliOption> options;
    std::size_t minArgs = 0;
    std::size_t maxArgs = static_cast<std::size_t>(-1);
    std::vector<std::string> notes; // further lines shown by `help COMMAND`
    CliHandler run = nullptr;
};

// Every command of the program, in the order the help lists them.
std::vector<CliCommand> InstallCommands();

// The synopsis lines of a command ("backup [-v] FOLDER").
std::vector<std::string> Synopsis(const CliCommand& command);
// `larderly-cli --help`'s list of commands, and `larderly-cli help COMMAND`.
void PrintCommandList(std::ostream& out, const std::vector<CliCommand>& commands);
void PrintCommandHelp(std::ostream& out, const CliCommand& command);

// Reads `argv` (the arguments after the command's name) by the command's declaration. On
// a usage error returns false with `error` set ("--pdf needs a value"); the counts of
// arguments are checked too (with an empty `error`).
bool ParseCommandLine(const CliCommand& command, const std::vector<std::string>& argv, CliArgs& out,
                      std::string& error);

// A usage error of the command: the message (when given) and the command's usage on
// stderr. Returns the usage errors' exit status, 2.
int UsageError(const CliCommand& command, const std::string& message = {});

// The whole of `text` as a decimal number ("12", "-3"); false for anything else (empty,
// "12k", "1e3", out of range), leaving `value` as it was.
bool ParseWholeNumber(const std::string& text, long long& value);
inline int UsageError(const CliArgs& a, const std::string& message = {}) {
    return UsageError(*a.command, message);
}

// A recipe identifier or another whole number given on the command line: the whole text
// must be the number.
bool ParseInt32(const std::string& text, int32_t& value);

// The commands, one function each, listed by InstallCommands().
CliCommand ImportCommand();
CliCommand ListCommand();
CliCommand SearchCommand();
CliCommand ExportCommand();
CliCommand PrintCommand();
CliCommand BackupCommand();
CliCommand RestoreCommand();
CliCommand LhaCommand();
CliCommand SegCommand();
CliCommand IsoCommand();
CliCommand BurnCommand();
CliCommand ShoppingListCommand();
CliCommand IngredientsCommand();
CliCommand ShowCommand();

// Scales `text` to the servings of the command's --servings option, when given. Returns 0,
// or the exit status after a message (a bad number, a recipe naming no servings).
int ApplyServings(const CliArgs& a, std::vector<std::string>& text);

// Tells a user watching the terminal (standard error) when a build of the search index starts
// and ends; nothing when standard error is not a terminal.
void TellIndexRebuilds();

// The commands that work with Qt (import reads structured MasterCook files and saved web
// pages with Qt Core; print draws with Qt Gui) run in a module of their own, loaded only when
// one of them runs, so that every other command starts without loading Qt. Their handlers:
int RunImport(const CliArgs& a);
int RunPrint(const CliArgs& a);
// The module's file and the one function it exports, which runs a.command by its name.
inline constexpr const char* kQtModuleFile = "liblarderly-cli-qt.so";
inline constexpr const char* kQtModuleEntry = "larderly_cli_run_qt";

} // namespace larderly::cli
