// The commands that work with Qt: their declarations, and the loader of the module that runs
// them (see CliCommand.h). The module is looked for beside the program (a build or portable
// folder) and in the installed lib/larderly folder.
#include "cli/CliCommand.h"

#include "platform/AppPaths.h"
#include "platform/FileUtil.h"

#include <dlfcn.h>

#include <iostream>

namespace larderly::cli {
namespace {

using QtModuleEntry = int (*)(const CliArgs*);

int RunInQtModule(const CliArgs& a) {
    const std::string exe = fileutil::IncludeTrailingSeparator(ExecutableFolder());
    const std::string beside = exe + kQtModuleFile;
    const std::string installed = exe + "../lib/larderly/" + kQtModuleFile;
    std::string problem;
    for (const std::string& path : {beside, installed}) {
        if (!fileutil::PathExists(path)) continue;
        // Kept loaded until the program ends.
        void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        const char* error = module ? nullptr : dlerror();
        auto entry =
            module ? reinterpret_cast<QtModuleEntry>(dlsym(module, kQtModuleEntry)) : nullptr;
        if (entry) return entry(&a);
        problem = path + " cannot be loaded" + (error ? std::string(": ") + error : std::string());
        break;
    }
    if (problem.empty())
        problem = std::string(kQtModuleFile) + " is neither in " + exe + " nor in " + exe +
                  "../lib/larderly/";
    std::cerr << "larderly-cli " << a.command->name << " needs the program's Qt module: " << problem
              << ". Install the program again.\n";
    return 1;
}

} // namespace

CliCommand ImportCommand() {
    CliCommand c;
    c.name = "import";
    c.arguments = "FILE...";
    c.summary = "import recipe files (MasterCook, Meal-Master)";
    c.options = {
        {"--encoding", "E", "auto (default), utf-8, cp1252, cp437, cp850 or latin1", CliValue::One},
        {"--skip-existing", "", "skip recipes whose title is in the collection and import the rest",
         CliValue::None}};
    c.minArgs = 1;
    c.run = RunInQtModule;
    return c;
}

CliCommand PrintCommand() {
    CliCommand c;
    c.name = "print";
    c.forms = {"ID --pdf [--date] [--servings]"};
    c.summary = "draw the recipe report of one recipe into a PDF file";
    c.options = {
        {"--pdf", "FILE", "the PDF file to write", CliValue::One},
        {"--date", "TEXT", "the date printed on the report (default: today)", CliValue::One},
        {"--servings", "N", "scale the ingredient amounts to N servings", CliValue::One}};
    c.minArgs = 1;
    c.maxArgs = 1;
    c.run = RunInQtModule;
    return c;
}

} // namespace larderly::cli
