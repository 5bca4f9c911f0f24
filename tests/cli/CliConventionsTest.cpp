// larderly-cli's command line conventions: help and version on stdout with status 0, help
// for one command, and usage errors on stderr with status 2 before anything is touched.
#include "RunCommand.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using larderly::testing::BuiltProgram;
using larderly::testing::RunCommand;

struct Streams {
    int status;
    std::string out, err;
};

Streams RunCli(const std::string& args) {
    const std::string cli = BuiltProgram("larderly-cli") + " " + args;
    // The program runs twice so that each stream is read on its own; the commands here
    // touch no folder, so both runs answer the same.
    auto out = RunCommand("( " + cli + " 2>/dev/null )");
    auto err = RunCommand("( " + cli + " 2>&1 >/dev/null )");
    return {out.status, out.out, err.out};
}

TEST(CliConventions, HelpAndVersionGoToStandardOutput) {
    struct Case {
        std::string args, expect;
    } cases[] = {
        {"--help", "usage: larderly-cli [--home DIR] COMMAND"},
        {"-h", "usage: larderly-cli [--home DIR] COMMAND"},
        {"help", "  import [--encoding E] [--skip-existing] FILE..."},
        {"--version", "larderly-cli " LARDERLY_TEST_VERSION "\n"},
        {"help backup", "usage: larderly-cli [--home DIR] backup [-v] FOLDER"},
        {"restore --help", "usage: larderly-cli [--home DIR] restore [-v] FOLDER"},
    };
    for (const auto& c : cases) {
        Streams r = RunCli(c.args);
        EXPECT_EQ(r.status, 0) << c.args;
        EXPECT_NE(r.out.find(c.expect), std::string::npos) << c.args << ":\n" << r.out;
        EXPECT_EQ(r.err, "") << c.args;
    }
    EXPECT_EQ(RunCli("help list").out.find("import"), std::string::npos)
        << "one command's help only";
}

TEST(CliConventions, UsageErrorsGoToStandardErrorWithStatusTwo) {
    for (const std::string args :
         {"", "--frobnicate list", "--home", "--home '' list", "nosuch", "help nosuch"}) {
        Streams r = RunCli(args);
        EXPECT_EQ(r.status, 2) << "'" << args << "'";
        EXPECT_EQ(r.out, "") << "'" << args << "'";
        EXPECT_NE(r.err.find("larderly-cli: "), std::string::npos) << "'" << args << "': " << r.err;
        EXPECT_NE(r.err.find("--help"), std::string::npos) << "the message points at the help";
    }
}

// A command's own usage errors (an option without its value, an unknown option, arguments
// missing or too many) are found from its declaration before it runs, and answered with
// that command's usage.
TEST(CliConventions, CommandUsageErrorsShowTheCommandsUsage) {
    struct Case {
        std::string args, expect;
    } cases[] = {
        {"print 1 --pdf", "--pdf needs a value"},
        {"burn --frobnicate --list", "unknown option '--frobnicate'"},
        {"list extra", "usage: larderly-cli [--home DIR] list\n"},
        {"iso out.iso", "usage: larderly-cli [--home DIR] iso [--address N]"},
        {"restore", "usage: larderly-cli [--home DIR] restore [-v] FOLDER"},
        {"lha --level 2 a x.lzh y", "--level must be 0 or 1"},
        // Numbers that are not whole numbers are named, never "stol" or "stoll".
        {"burn --speed fast --drive 0:0:0 x", "--speed needs a whole number of kilobytes per "
                                              "second, not \"fast\""},
        {"burn --speed 99999999999999999999 --drive 0:0:0 x", "not \"99999999999999999999\""},
        {"seg --size 1.4M a x", "--size needs a whole number of bytes, not \"1.4M\""},
    };
    for (const auto& c : cases) {
        Streams r = RunCli(c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_EQ(r.out, "") << c.args;
        EXPECT_NE(r.err.find(c.expect), std::string::npos) << c.args << ":\n" << r.err;
        EXPECT_NE(r.err.find("usage: larderly-cli"), std::string::npos) << c.args;
    }
    // "--" ends the options: an argument that starts with "-" reaches the command.
    Streams r = RunCli("lha l -- -no-such-archive.lzh");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Cannot open file -no-such-archive.lzh"), std::string::npos) << r.err;
}

} // namespace
