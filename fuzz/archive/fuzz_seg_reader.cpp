// Fuzzes the segment reader: the input is segment 1 of a set; the set header, the scan
// block, the scan file and the archive block are read and every entry is checked.
#include "archive/SegArchive.h"
#include "platform/FileUtil.h"

#include <cstdint>
#include <cstdio>
#include <string>

using namespace larderly;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string dir = fileutil::MakeTempDirectory({}, "fuzz-seg").value_or("/tmp");
    const std::string segment = dir + "/SegData.001";
    if (FILE* f = std::fopen(segment.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    fileutil::MakeDirectories(dir + "/tmp");
    TSegArchive seg;
    seg.SetSegDir(dir);
    seg.SetTempArchivePath(dir + "/tmp");
    seg.SetTargetPath(dir + "/out");
    // Every segment is looked for in the same folder; without prompts a missing or wrong
    // segment cancels.
    seg.OnSegPrompt = [](TSegArchive*, std::string&, const std::string&, uint16_t) {};
    try {
        seg.Scan();
    } catch (const std::exception&) {
    }
    try {
        seg.Verify();
    } catch (const std::exception&) {
    }
    fileutil::RemoveTree(dir + "/out");
    fileutil::RemoveTree(dir + "/tmp");
    return 0;
}
