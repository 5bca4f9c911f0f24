// Runs a shell command in a test and collects its exit status and output (stdout and stderr
// together unless the command redirects them).
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace larderly::testing {

struct CommandResult {
    int status = -1; // exit status, -1 when the command did not exit normally
    std::string out;
};

inline CommandResult RunCommand(const std::string& cmd) {
    CommandResult r;
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf{};
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0)
        r.out.append(buf.data(), n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

// The path of a built program.
inline std::string BuiltProgram(const std::string& name) {
    return std::string(LARDERLY_BIN_DIR) + "/" + name;
}

} // namespace larderly::testing
