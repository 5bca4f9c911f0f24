// The manual page and the bash completion of larderly-cli name what the program itself
// declares: every command `larderly-cli help` lists and every option its `help COMMAND`
// shows. A command or option added to the program without them fails here by name.
#include "RunCommand.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using larderly::testing::BuiltProgram;
using larderly::testing::RunCommand;

using Declared = std::map<std::string, std::set<std::string>>; // command -> options

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string FirstWord(const std::string& line) {
    const std::size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos) return {};
    return line.substr(start, line.find(' ', start) - start);
}

std::string ReadSource(const std::string& path) {
    std::ifstream in(std::string(LARDERLY_SOURCE_DIR) + "/" + path);
    EXPECT_TRUE(in) << path;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The commands of `larderly-cli help` and the options of each one's `help COMMAND`.
Declared DeclaredByTheProgram() {
    const std::string cli = BuiltProgram("larderly-cli");
    Declared declared;
    bool listing = false;
    for (const std::string& line : Lines(RunCommand(cli + " help").out)) {
        if (line == "commands:") listing = true;
        // "  name ...": a command; continuation lines stand further in.
        else if (listing && line.size() > 2 && line.compare(0, 2, "  ") == 0 && line[2] != ' ')
            declared[FirstWord(line)];
    }
    for (auto& [command, options] : declared) {
        bool inOptions = false;
        for (const std::string& line : Lines(RunCommand(cli + " help " + command).out)) {
            if (line == "options:")
                inOptions = true;
            else if (inOptions && line.rfind("  -", 0) == 0)
                options.insert(FirstWord(line));
        }
    }
    return declared;
}

// Whether `text` holds `word` standing alone (not as part of a longer option or word).
bool HoldsWord(const std::string& text, const std::string& word) {
    auto part = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-'; };
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        const std::size_t end = at + word.size();
        if ((at == 0 || !part(text[at - 1])) && (end == text.size() || !part(text[end])))
            return true;
    }
    return false;
}

// A line of the manual page as plain text: font changes, escaped hyphens and quotes gone.
std::string Plain(std::string line) {
    line = std::regex_replace(line, std::regex(R"(\\f[BIRP])"), "");
    line = std::regex_replace(line, std::regex(R"(\\-)"), "-");
    return std::regex_replace(line, std::regex("\""), "");
}

// The manual page's COMMANDS section as text per command: each ".TP" entry is filed under
// the first word of its tag line, font changes and escaped hyphens read as plain text.
std::map<std::string, std::string> ManualEntries(const std::string& page) {
    std::map<std::string, std::string> entries;
    const std::vector<std::string> lines = Lines(page);
    bool inCommands = false;
    std::string* entry = nullptr;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind(".SH", 0) == 0) {
            inCommands = lines[i] == ".SH COMMANDS";
            entry = nullptr;
        } else if (inCommands && lines[i] == ".TP" && i + 1 < lines.size()) {
            // ".BR name ..." or ".B name": the macro, then the command.
            const std::string tag = Plain(lines[++i]);
            const std::size_t space = tag.find(' ');
            entry = &entries[space == std::string::npos ? "" : FirstWord(tag.substr(space))];
            *entry += tag + "\n";
        } else if (entry) {
            *entry += Plain(lines[i]) + "\n";
        }
    }
    return entries;
}

TEST(CliDocs, TheManualPageDescribesEveryCommandAndOption) {
    const Declared declared = DeclaredByTheProgram();
    ASSERT_GT(declared.count("export"), 0u) << "the command list could not be read";
    const auto entries = ManualEntries(ReadSource("packaging/man/larderly-cli.1"));
    for (const auto& [command, options] : declared) {
        auto entry = entries.find(command);
        if (entry == entries.end()) {
            ADD_FAILURE() << "the manual page has no entry for the command " << command;
            continue;
        }
        for (const std::string& option : options)
            EXPECT_TRUE(HoldsWord(entry->second, option))
                << "the manual page's entry for " << command << " does not name " << option;
    }
    for (const auto& [command, text] : entries)
        EXPECT_TRUE(command == "help" || declared.count(command))
            << "the manual page describes " << command << ", which the program does not have";
}

TEST(CliDocs, TheCompletionOffersEveryCommandAndOption) {
    const Declared declared = DeclaredByTheProgram();
    ASSERT_GT(declared.count("export"), 0u) << "the command list could not be read";
    const std::string script = ReadSource("packaging/completion/larderly-cli");

    std::smatch m;
    ASSERT_TRUE(std::regex_search(script, m, std::regex("local commands=\"([^\"]*)\"")));
    std::set<std::string> commands;
    std::istringstream words(m[1].str());
    for (std::string w; words >> w;)
        commands.insert(w);
    // Each command's line of the options table: `name) opts="..." ;;`.
    Declared offered;
    const std::regex row(R"re(^\s*([a-z-]+)\) opts="([^"]*)" ;;\s*$)re");
    for (const std::string& line : Lines(script))
        if (std::regex_match(line, m, row)) {
            std::istringstream opts(m[2].str());
            std::set<std::string>& set = offered[m[1].str()];
            for (std::string o; opts >> o;)
                set.insert(o);
        }

    for (const auto& [command, options] : declared) {
        EXPECT_TRUE(commands.count(command))
            << "the completion does not offer the command " << command;
        if (!offered.count(command)) {
            ADD_FAILURE() << "the completion has no options line for " << command;
            continue;
        }
        for (const std::string& option : options)
            EXPECT_TRUE(offered.at(command).count(option))
                << "the completion does not offer " << option << " for " << command;
        for (const std::string& option : offered.at(command))
            EXPECT_TRUE(options.count(option)) << "the completion offers " << option << " for "
                                               << command << ", which does not take it";
    }
    for (const std::string& command : commands)
        EXPECT_TRUE(command == "help" || declared.count(command))
            << "the completion offers " << command << ", which the program does not have";
}

} // namespace
