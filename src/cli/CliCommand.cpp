// The command table's shared parts: reading a command line by a command's declaration and
// writing its usage, and what several commands do alike (scaling to --servings, telling a
// watching user that the search index is being built).
#include "cli/CliCommand.h"

#include "ingredients/Scale.h"
#include "store/DerivedFile.h"
#include "store/SearchIndex.h"

#include <charconv>
#include <cstdint>
#include <iostream>
#include <optional>
#include <unistd.h>

namespace larderly::cli {

std::string CliArgs::Value(const std::string& option, const std::string& otherwise) const {
    auto it = values.find(option);
    return it == values.end() || it->second.empty() ? otherwise : it->second.back();
}

std::vector<std::string> CliArgs::Values(const std::string& option) const {
    auto it = values.find(option);
    return it == values.end() ? std::vector<std::string>{} : it->second;
}

bool ParseInt32(const std::string& text, int32_t& value) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

namespace {

const CliOption* FindOption(const CliCommand& c, const std::string& name) {
    for (const CliOption& o : c.options)
        if (o.name == name) return &o;
    return nullptr;
}

std::string WithValue(const CliOption& o) {
    return o.value.empty() ? o.name : o.name + " " + o.value;
}

bool IsInteger(const std::string& s) {
    int64_t n = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
    return !s.empty() && ec == std::errc() && end == s.data() + s.size();
}

// One synopsis line: option names in `form` get their placeholders ("[--date" becomes
// "[--date TEXT"); every other word stays as written.
std::string ExpandForm(const CliCommand& c, const std::string& form) {
    std::string line = c.name;
    std::size_t pos = 0;
    while (pos < form.size()) {
        std::size_t end = form.find(' ', pos);
        if (end == std::string::npos) end = form.size();
        std::string word = form.substr(pos, end - pos);
        pos = end + 1;
        if (word.empty()) continue;
        const std::size_t open = word.find_first_not_of('[');
        const std::size_t close = word.find_last_not_of(']');
        if (open != std::string::npos && close != std::string::npos && open <= close) {
            const CliOption* o = FindOption(c, word.substr(open, close - open + 1));
            if (o) word = word.substr(0, open) + WithValue(*o) + word.substr(close + 1);
        }
        line += " " + word;
    }
    return line;
}

void PrintUsageLines(std::ostream& out, const CliCommand& c) {
    bool first = true;
    for (const std::string& line : Synopsis(c)) {
        out << (first ? "usage: " : "       ") << "larderly-cli [--home DIR] " << line << "\n";
        first = false;
    }
}

} // namespace

std::vector<std::string> Synopsis(const CliCommand& c) {
    std::vector<std::string> lines;
    if (c.forms.empty()) {
        std::string line = c.name;
        for (const CliOption& o : c.options)
            line += " [" + WithValue(o) + "]";
        if (!c.arguments.empty()) line += " " + c.arguments;
        lines.push_back(line);
    }
    for (const std::string& form : c.forms)
        lines.push_back(ExpandForm(c, form));
    return lines;
}

void PrintCommandList(std::ostream& out, const std::vector<CliCommand>& commands) {
    constexpr std::size_t kColumn = 31;
    for (const CliCommand& c : commands) {
        const std::vector<std::string> lines = Synopsis(c);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            out << "  " << lines[i];
            if (i + 1 == lines.size() && !c.summary.empty()) {
                if (lines[i].size() < kColumn - 2)
                    out << std::string(kColumn - 2 - lines[i].size(), ' ');
                else
                    out << "\n" << std::string(kColumn, ' ');
                out << c.summary;
            }
            out << "\n";
        }
    }
}

void PrintCommandHelp(std::ostream& out, const CliCommand& c) {
    PrintUsageLines(out, c);
    if (!c.summary.empty()) out << "\n" << c.summary << "\n";
    for (const std::string& note : c.notes)
        out << "  " << note << "\n";
    if (c.options.empty()) return;
    out << "\noptions:\n";
    for (const CliOption& o : c.options) {
        const std::string left = WithValue(o);
        out << "  " << left << std::string(left.size() < 22 ? 22 - left.size() : 1, ' ') << o.help
            << "\n";
    }
}

bool ParseCommandLine(const CliCommand& c, const std::vector<std::string>& argv, CliArgs& out,
                      std::string& error) {
    out.command = &c;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < argv.size(); ++i) {
        const std::string& s = argv[i];
        if (!optionsEnded && s == "--") {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded || s.size() < 2 || s[0] != '-') {
            out.args.push_back(s);
            continue;
        }
        const CliOption* o = FindOption(c, s);
        if (!o) {
            error = "unknown option '" + s + "'";
            return false;
        }
        std::vector<std::string>& values = out.values[s];
        switch (o->kind) {
        case CliValue::None:
            values.emplace_back();
            break;
        case CliValue::One:
            if (i + 1 >= argv.size()) {
                error = s + " needs a value";
                return false;
            }
            values.push_back(argv[++i]);
            break;
        case CliValue::Integers:
            while (i + 1 < argv.size() && IsInteger(argv[i + 1]))
                values.push_back(argv[++i]);
            break;
        }
    }
    if (out.args.size() < c.minArgs || out.args.size() > c.maxArgs) {
        error.clear();
        return false;
    }
    return true;
}

int UsageError(const CliCommand& c, const std::string& message) {
    if (!message.empty()) std::cerr << "larderly-cli " << c.name << ": " << message << "\n";
    PrintUsageLines(std::cerr, c);
    std::cerr << "Try 'larderly-cli help " << c.name << "' for more information.\n";
    return 2;
}

int ApplyServings(const CliArgs& a, std::vector<std::string>& text) {
    if (!a.Has("--servings")) return 0;
    long long n = 0;
    if (!ParseWholeNumber(a.Value("--servings"), n) || n < 1 || n > 10000)
        return UsageError(a, "--servings needs a whole number from 1 to 10000");
    std::optional<std::vector<std::string>> scaled =
        ingredients::ScaleRecipeText(text, static_cast<double>(n));
    if (!scaled) {
        std::cerr << "The recipe names no number of servings (a line such as \"Servings: 4\"), "
                     "so it cannot be scaled; leave out --servings.\n";
        return 1;
    }
    text = std::move(*scaled);
    return 0;
}

void TellIndexRebuilds() {
    // A build of an index can take a while at a large size: say so while it runs, to a user
    // watching the terminal (output read by a script stays as it was).
    if (!isatty(STDERR_FILENO)) return;
    SetRebuildNotice({[](const std::string& what, int64_t recipes) {
                          std::cerr << RebuildStartedText(what, recipes) << std::endl;
                      },
                      [](const std::string& what, bool built) {
                          if (built) std::cerr << RebuildEndedText(what) << std::endl;
                      }});
}

bool ParseWholeNumber(const std::string& text, long long& value) {
    long long v = 0;
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, v);
    if (text.empty() || r.ec != std::errc() || r.ptr != end) return false;
    value = v;
    return true;
}

} // namespace larderly::cli
