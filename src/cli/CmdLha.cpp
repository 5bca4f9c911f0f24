// larderly-cli lha: add files to an LHA archive, extract, list or test its entries.
#include "archive/LhaArchive.h"
#include "cli/CliCommand.h"
#include "platform/FileUtil.h"

#include <cstdio>
#include <iostream>
#include <stdexcept>

namespace larderly::cli {

namespace {

struct LhaOptions {
    std::string command;
    std::string archive;
    std::vector<std::string> files;
    TLhaMethod method = colh5;
    TLhaArchiveType type = caLHARC;
    bool storePath = false;
    std::string directory;
};

TLhaMethod parseMethod(const std::string& s) {
    if (s == "lh0") return colh0;
    if (s == "lh1") return colh1;
    if (s == "lh5") return colh5;
    throw std::invalid_argument("unknown method '" + s + "' (lh0, lh1 or lh5)");
}

LhaOptions parseLha(const std::vector<std::string>& args) {
    LhaOptions o;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size()) throw std::invalid_argument(a + " needs a value");
            return args[++i];
        };
        if (a == "--method") o.method = parseMethod(value());
        else if (a == "--level") {
            const std::string v = value();
            if (v != "0" && v != "1") throw std::invalid_argument("--level must be 0 or 1");
            o.type = v == "1" ? caLHA : caLHARC;
        } else if (a == "--store-path") o.storePath = true;
        else if (a == "-C") o.directory = value();
        else rest.push_back(a);
    }
    if (rest.size() < 2) throw std::invalid_argument("usage: lha a|x|l|t ARCHIVE [FILE...]");
    o.command = rest[0];
    o.archive = rest[1];
    o.files.assign(rest.begin() + 2, rest.end());
    return o;
}

const char* methodText(TLhaMethod m) {
    switch (m) {
    case colh0: return "-lh0-";
    case colh1: return "-lh1-";
    case colh5: return "-lh5-";
    case coRLE: return "-rle-";
    }
    return "?";
}

int runLha(const CliArgs& cli) {
    LhaOptions o;
    try {
        o = parseLha(cli.args);
    } catch (const std::invalid_argument& e) {
        std::cerr << "larderly-cli lha: " << e.what() << "\n";
        return 2;
    }
    TLhaArchive lha;
    lha.ArchiveName = o.archive;
    lha.ExceptionOnFileError = true;
    if (o.command == "a") {
        if (o.files.empty()) {
            std::cerr << "larderly-cli lha: no files to add\n";
            return 2;
        }
        for (const auto& f : o.files) {
            if (f.find_first_of("*?") == std::string::npos && !fileutil::fileExists(f)) {
                std::cerr << "Cannot open file " << f << "\n";
                return 1;
            }
        }
        lha.CompressionMethod = o.method;
        lha.ArchiveType = o.type;
        lha.StorePath = o.storePath;
        lha.SetTargetPath(o.directory); // with --store-path, a prefix taken off the names
        lha.MakeDirectories = true;
        lha.FilesToProcess = o.files;
        lha.Compress();
        for (const auto& n : lha.FilesProcessed) std::cout << n << "\n";
        return 0;
    }
    if (o.command == "l") {
        if (!lha.Scan()) {
            std::cerr << "Cannot open file " << o.archive << "\n";
            return 1;
        }
        for (std::size_t i = 0; i < lha.FileList.size(); ++i) {
            const TLhaFileInfo& f = lha.FileInformation[i];
            char crc[8];
            std::snprintf(crc, sizeof crc, "%04X", f.CRC);
            std::cout << lha.FileList[i] << "\t" << static_cast<uint32_t>(f.PackedSize) << "\t"
                      << static_cast<uint32_t>(f.UncompressedSize) << "\t" << methodText(f.Method) << "\t"
                      << crc << "\n";
        }
        return 0;
    }
    if (o.command == "x" || o.command == "t") {
        if (!fileutil::fileExists(o.archive)) {
            std::cerr << "Cannot open file " << o.archive << "\n";
            return 1;
        }
        lha.FilesToProcess = o.files;
        lha.MakeDirectories = true;
        if (o.command == "x") {
            lha.SetTargetPath(o.directory.empty() ? std::string("./") : o.directory);
            lha.Expand();
        } else {
            lha.SetTargetPath(o.directory.empty() ? std::string("./") : o.directory);
            lha.MakeDirectories = false;
            lha.Verify();
        }
        if (lha.AbortRequested) {
            std::cerr << "Operation cancelled\n";
            return 1;
        }
        for (const auto& n : lha.FilesProcessed) std::cout << n << "\n";
        return 0;
    }
    std::cerr << "larderly-cli lha: unknown action '" << o.command << "'\n";
    return 2;
}

CliRegistrar registrar("lha",
                       "lha a|x|l|t ARCHIVE [FILE...] [--method lh0|lh1|lh5] [--level 0|1] [--store-path] "
                       "[-C DIR]\n      a: add FILEs (masks allowed, NAME/S searches subfolders); x: extract "
                       "into DIR; l: list name, packed size, size, method, CRC; t: test every entry",
                       runLha);

} // namespace

} // namespace larderly::cli
