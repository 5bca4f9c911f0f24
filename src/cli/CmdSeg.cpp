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
    PromptAnswer message(PromptKind kind, const std::string& text, PromptButtons buttons,
                         const std::string& caption) override {
        std::string shown = text;
        for (auto& c : shown)
            if (c == '\r') c = ' ';
        std::cerr << shown << "\n";
        if (buttons == PromptButtons::OkCancel || buttons == PromptButtons::RetryCancel) return PromptAnswer::Cancel;
        return AutoPrompts::message(kind, text, buttons, caption);
    }
};

int runSeg(const CliArgs& cli) {
    std::string dir = ".", base = "SegData", target;
    int64_t size = 1440000;
    TLhaMethod method = colh5;
    std::vector<std::string> rest;
    const auto& args = cli.args;
    try {
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string& a = args[i];
            auto value = [&]() -> std::string {
                if (i + 1 >= args.size()) throw std::invalid_argument(a + " needs a value");
                return args[++i];
            };
            if (a == "--dir") dir = value();
            else if (a == "--base") base = value();
            else if (a == "--size") size = std::stoll(value());
            else if (a == "-C") target = value();
            else if (a == "--method") {
                const std::string m = value();
                if (m == "lh0") method = colh0;
                else if (m == "lh1") method = colh1;
                else if (m == "lh5") method = colh5;
                else throw std::invalid_argument("unknown method '" + m + "'");
            } else rest.push_back(a);
        }
        if (rest.empty()) throw std::invalid_argument("usage: seg a|x|l [--dir DIR] [--base NAME] [--size N] [-C DIR] [FILE...]");
    } catch (const std::exception& e) {
        std::cerr << "larderly-cli seg: " << e.what() << "\n";
        return 2;
    }
    const std::string command = rest[0];
    rest.erase(rest.begin());
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
    auto temp = fileutil::makeTempDirectory({}, "larderly-seg");
    if (!temp) {
        std::cerr << "Cannot create a temporary folder\n";
        return 1;
    }
    seg.SetTempArchivePath(*temp);
    struct RemoveTemp {
        std::string path;
        ~RemoveTemp() { fileutil::removeTree(path); }
    } removeTemp{*temp};

    if (command == "a") {
        if (rest.empty()) {
            std::cerr << "larderly-cli seg: no files to add\n";
            return 2;
        }
        for (const auto& f : rest) {
            if (f.find_first_of("*?") == std::string::npos && !fileutil::fileExists(f)) {
                std::cerr << "Cannot open file " << f << "\n";
                return 1;
            }
        }
        fileutil::makeDirectories(dir);
        seg.FilesToProcess = rest;
        seg.Compress();
        for (const auto& n : seg.FilesProcessed) std::cout << n << "\n";
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
            seg.OnSegExpand = [&rest](TSegArchive*, const std::string&, std::string&, std::vector<std::string>& list) {
                std::vector<std::string> keep;
                for (const auto& n : list)
                    if (LhaIsInList(n, rest)) keep.push_back(n);
                list = keep;
            };
        }
        seg.Expand();
        for (const auto& n : seg.FilesProcessed) std::cout << n << "\n";
        return 0;
    }
    std::cerr << "larderly-cli seg: unknown action '" << command << "'\n";
    return 2;
}

CliRegistrar registrar("seg",
                       "seg a|x|l [--dir DIR] [--base NAME] [--size BYTES] [--method lh0|lh1|lh5] [-C DIR] [FILE...]\n"
                       "      a: write FILEs as segment set DIR/NAME.001...; x: extract into DIR; l: list",
                       runSeg);

} // namespace

} // namespace larderly::cli
