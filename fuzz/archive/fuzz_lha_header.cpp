// Fuzzes the archive reader: where an archive starts, every entry header, rebuilding the
// header bytes, and the verification of every entry through the codecs.
#include "archive/LhaArchive.h"
#include "archive/LhaHeader.h"
#include "platform/FileUtil.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

using namespace larderly;

namespace {

const std::string& scratch() {
    static const std::string dir = fileutil::MakeTempDirectory({}, "fuzz-lha").value_or("/tmp");
    return dir;
}

void WalkHeaders(const uint8_t* data, size_t size, const std::string& name) {
    TMemoryStream s(std::vector<uint8_t>(data, data + size));
    try {
        const TLhaArchiveLayout layout = LocateArchive(s, name);
        TLhaHeader h;
        while (ReadEntryHeader(s, layout.Legacy, h)) {
            const int64_t at = s.Position();
            try {
                ResolveMethod(h);
            } catch (const ELhaException&) {
            }
            try {
                // The writer must take back whatever the reader produced.
                const std::vector<uint8_t> bytes = EncodeEntryHeader(h);
                TMemoryStream again(bytes);
                TLhaHeader back;
                if (!h.Name.empty() && !ReadEntryHeader(again, false, back)) __builtin_trap();
            } catch (const ELhaException&) {
            }
            s.SetPosition(at + static_cast<uint32_t>(h.PackedSize));
        }
    } catch (const std::exception&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WalkHeaders(data, size, "fuzz.lzh");
    WalkHeaders(data, size, "FUZZ.EXE");

    // The whole expansion path, checking every entry into temporary files.
    const std::string archive = scratch() + "/in.lzh";
    if (FILE* f = std::fopen(archive.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    TLhaArchive lha;
    lha.ArchiveName = archive;
    lha.SetTargetPath(scratch() + "/out");
    lha.Password = size % 2 ? "pw" : "";
    bool small = true;
    try {
        lha.Scan();
        // A header may claim gigabytes that a few bytes of data would "expand" to; the
        // check of such entries only costs time, so it is left out here.
        for (const auto& info : lha.FileInformation)
            if (static_cast<uint32_t>(info.UncompressedSize) > (1u << 20)) small = false;
    } catch (const std::exception&) {
        small = false;
    }
    if (small) {
        try {
            lha.Verify();
        } catch (const std::exception&) {
        }
    }
    fileutil::RemoveTree(scratch() + "/out");
    return 0;
}
