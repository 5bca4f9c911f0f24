// larderly-cli seg: write, extract or list a segmented archive set. Folders given with a
// drive letter ("A:\", "D:/sets") go through the drive map as the backup's do.
#include "archive/SegArchive.h"
#include "cli/CliCommand.h"
#include "platform/DriveMap.h"
#include "platform/FileUtil.h"
#include "platform/Prompts.h"

#include <iostream>
#include <stdexcept>

namespace larderly::cli {

namespace {

// Nobody is there to change a medium: inputs keep their value, warnings are shown on
// stderr and answered Cancel.
class UnattendedPrompts : public AutoPrompts {
public:
    PromptAnswer Message(PromptKind kind, const std::string& text, PromptButtons buttons,
                         const std::string& caption) override {
        std::string shown = text;
        for (auto& c : shown)
            if (c == '\r') c = ' ';
        std::cerr << shown << "\n";
        if (buttons == PromptButtons::OkCancel || buttons == PromptButtons::RetryCancel)
            return PromptAnswer::Cancel;
        return AutoPrompts::Message(kind, text, buttons, caption);
    }
};

int RunSeg(const CliArgs& cli) {
    std::string dir = cli.Value("--dir", "."), base = cli.Value("--base", "SegData");
    std::string target = cli.Value("-C");
    int64_t size = 1440000;
    TLhaMethod method = colh5;
    try {
        long long n = 0;
        if (cli.Has("--size")) {
            if (!ParseWholeNumber(cli.Value("--size"), n) || n <= 0)
                throw std::invalid_argument("--size needs a whole number of bytes, not \"" +
                                            cli.Value("--size") + "\"");
            size = n;
        }
        if (cli.Has("--method")) {
            const std::string m = cli.Value("--method");
            if (m == "lh0")
                method = colh0;
            else if (m == "lh1")
                method = colh1;
            else if (m == "lh5")
                method = colh5;
            else
                throw std::invalid_argument("unknown method '" + m + "'");
        }
    } catch (const std::exception& e) {
        return UsageError(cli, e.what());
    }
    const std::string command = cli.args[0];
    std::vector<std::string> rest(cli.args.begin() + 1, cli.args.end());
    try {
        dir = ResolveDrivePath(dir);
        if (!target.empty()) target = ResolveDrivePath(target);
    } catch (const std::exception& e) {
        std::cerr << "larderly-cli seg: " << e.what() << "\n";
        return 1;
    }

    UnattendedPrompts prompts;
    TSegArchive seg;
    seg.SetPrompts(&prompts);
    seg.SetSegDir(dir);
    seg.DriveMap['A'] = DriveFolder('A');
    seg.SetSegBaseName(base);
    seg.SetSegSize(static_cast<int32_t>(std::min<int64_t>(size, INT32_MAX)));
    seg.CompressionMethod = method;
    seg.ArchiveType = caLHARC;
    seg.ExceptionOnFileError = true;
    // Every segment is in (or goes to) --dir; no medium is changed in between.
    seg.OnSegPrompt = [](TSegArchive*, std::string&, const std::string&, uint16_t) {};
    auto temp = fileutil::MakeTempDirectory({}, "larderly-seg");
    if (!temp) {
        std::cerr << "Cannot create a temporary folder\n";
        return 1;
    }
    seg.SetTempArchivePath(*temp);
    struct RemoveTemp {
        std::string path;
        ~RemoveTemp() { fileutil::RemoveTree(path); }
    } removeTemp{*temp};

    if (command == "a") {
        if (rest.empty()) {
            std::cerr << "larderly-cli seg: no files to add\n";
            return 2;
        }
        for (const auto& f : rest) {
            if (f.find_first_of("*?") == std::string::npos && !fileutil::FileExists(f)) {
                std::cerr << "Cannot open file " << f << "\n";
                return 1;
            }
        }
        fileutil::MakeDirectories(dir);
        seg.FilesToProcess = rest;
        seg.Compress();
        for (const auto& n : seg.FilesProcessed)
            std::cout << n << "\n";
        return 0;
    }
    if (command == "l") {
        seg.Scan();
        for (std::size_t i = 0; i < seg.FileList.size(); ++i) {
            const TLhaFileInfo& f = seg.FileInformation[i];
            std::cout << seg.FileList[i] << "\t" << static_cast<uint32_t>(f.PackedSize) << "\t"
                      << static_cast<uint32_t>(f.UncompressedSize) << "\n";
        }
        return 0;
    }
    if (command == "x") {
        seg.SetTargetPath(target.empty() ? std::string("./") : target);
        seg.MakeDirectories = true;
        if (!rest.empty()) {
            seg.OnSegExpand = [&rest](TSegArchive*, const std::string&, std::string&,
                                      std::vector<std::string>& list) {
                std::vector<std::string> keep;
                for (const auto& n : list)
                    if (LhaIsInList(n, rest)) keep.push_back(n);
                list = keep;
            };
        }
        seg.Expand();
        for (const auto& n : seg.FilesProcessed)
            std::cout << n << "\n";
        return 0;
    }
    std::cerr << "larderly-cli seg: unknown action '" << command << "'\n";
    return 2;
}

} // namespace

CliCommand SegCommand() {
    CliCommand c;
    c.name = "seg";
    c.forms = {"a|x|l [--dir] [--base] [--size] [--method] [-C] [FILE...]"};
    c.summary = "write, extract or list a segmented archive set";
    c.options = {{"--dir", "DIR", "the folder of the segments (default .)", CliValue::One},
                 {"--base", "NAME", "the set's name (default SegData)", CliValue::One},
                 {"--size", "BYTES", "the size of a segment (default 1440000)", CliValue::One},
                 {"--method", "lh0|lh1|lh5", "the compression (default lh5)", CliValue::One},
                 {"-C", "DIR", "extract into DIR", CliValue::One}};
    c.minArgs = 1;
    c.notes = {"a: write FILEs as segment set DIR/NAME.001...; x: extract into DIR; l: list",
               "folders with a drive letter (A:\\, D:/sets) go through the drive map"};
    c.run = RunSeg;
    return c;
}

} // namespace larderly::cli
