// larderly-cli lha: add files to an LHA archive, extract, list or test its entries.
#include "archive/LhaArchive.h"
#include "cli/CliCommand.h"
#include "platform/FileUtil.h"

#include <cstdio>
#include <fstream>
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

TLhaMethod ParseMethod(const std::string& s) {
    if (s == "lh0") return colh0;
    if (s == "lh1") return colh1;
    if (s == "lh5") return colh5;
    throw std::invalid_argument("unknown method '" + s + "' (lh0, lh1 or lh5)");
}

LhaOptions ParseLha(const CliArgs& a) {
    LhaOptions o;
    if (a.Has("--method")) o.method = ParseMethod(a.Value("--method"));
    if (a.Has("--level")) {
        const std::string v = a.Value("--level");
        if (v != "0" && v != "1") throw std::invalid_argument("--level must be 0 or 1");
        o.type = v == "1" ? caLHA : caLHARC;
    }
    o.storePath = a.Has("--store-path");
    o.directory = a.Value("-C");
    o.command = a.args[0];
    o.archive = a.args[1];
    o.files.assign(a.args.begin() + 2, a.args.end());
    return o;
}

// A file that holds more than the end byte of an empty archive but not one entry that can
// be read is no archive at all (a text file, say): that is an error, not an empty listing.
bool ReportNoEntries(TLhaArchive& lha) {
    if (!lha.Scan() || !lha.FileList.empty()) return false;
    const auto size = fileutil::FileSize(lha.ArchiveName);
    if (!size || *size == 0) return false;
    if (*size == 1) {
        std::ifstream in(lha.ArchiveName, std::ios::binary);
        if (in.get() == 0) return false;
    }
    std::cerr << lha.ArchiveName
              << " is not an LHA archive: no entry can be read from it. Check that it is the "
                 "right file.\n";
    return true;
}

int RunLha(const CliArgs& cli) {
    LhaOptions o;
    try {
        o = ParseLha(cli);
    } catch (const std::invalid_argument& e) {
        return UsageError(cli, e.what());
    }
    TLhaArchive lha;
    lha.ArchiveName = o.archive;
    lha.ExceptionOnFileError = true;
    if (o.command == "a") {
        if (o.files.empty()) {
            std::cerr << "larderly-cli lha: no files to add\n";
            return 2;
        }
        // The archive is made or rewritten in place: only a regular file or a new name.
        if (const std::string why = fileutil::ReplaceRefusal(o.archive); !why.empty()) {
            std::cerr << "Cannot write " << o.archive << ": " << why
                      << ". Only a regular file is written; choose another archive name.\n";
            return 1;
        }
        for (const auto& f : o.files) {
            if (f.find_first_of("*?") == std::string::npos && !fileutil::FileExists(f)) {
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
        for (const auto& n : lha.FilesProcessed)
            std::cout << n << "\n";
        return 0;
    }
    if (o.command == "l") {
        if (!lha.Scan()) {
            std::cerr << "Cannot open file " << o.archive << "\n";
            return 1;
        }
        if (ReportNoEntries(lha)) return 1;
        for (std::size_t i = 0; i < lha.FileList.size(); ++i) {
            const TLhaFileInfo& f = lha.FileInformation[i];
            char crc[8];
            std::snprintf(crc, sizeof crc, "%04X", f.CRC);
            std::cout << lha.FileList[i] << "\t" << static_cast<uint32_t>(f.PackedSize) << "\t"
                      << static_cast<uint32_t>(f.UncompressedSize) << "\t" << LhaMethodId(f.Method)
                      << "\t" << crc << "\n";
        }
        return 0;
    }
    if (o.command == "x" || o.command == "t") {
        if (!fileutil::FileExists(o.archive)) {
            std::cerr << "Cannot open file " << o.archive << "\n";
            return 1;
        }
        if (ReportNoEntries(lha)) return 1;
        lha.FilesToProcess = o.files;
        lha.MakeDirectories = true;
        if (o.command == "x") {
            // Each entry is expanded beside its target and put in place when it checks out,
            // so a failure leaves no partial file.
            lha.SafeMode = true;
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
        for (const auto& n : lha.FilesProcessed)
            std::cout << n << "\n";
        return 0;
    }
    std::cerr << "larderly-cli lha: unknown action '" << o.command << "'\n";
    return 2;
}

} // namespace

CliCommand LhaCommand() {
    CliCommand c;
    c.name = "lha";
    c.forms = {"a|x|l|t ARCHIVE [FILE...] [--method] [--level] [--store-path] [-C]"};
    c.summary = "add files to an LHA archive, extract, list or test its entries";
    c.options = {
        {"--method", "lh0|lh1|lh5", "the compression of added files (default lh5)", CliValue::One},
        {"--level", "0|1", "the header level of added files (default 0)", CliValue::One},
        {"--store-path", "", "keep the folders of added files in their names"},
        {"-C", "DIR", "extract into DIR; with --store-path, the prefix taken off", CliValue::One}};
    c.minArgs = 2;
    c.notes = {"a: add FILEs (masks allowed, NAME/S searches subfolders); x: extract into "
               "DIR;",
               "l: list name, packed size, size, method, CRC; t: test every entry"};
    c.run = RunLha;
    return c;
}

} // namespace larderly::cli
