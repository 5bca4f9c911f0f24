// Fuzz target: the TMealMasterExportReader on arbitrary bytes.
#include "FuzzImport.h"
#include "import/TMealMasterExportReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return larderly::import::fuzz::FuzzReader<larderly::import::TMealMasterExportReader>(data,
                                                                                         size);
}
