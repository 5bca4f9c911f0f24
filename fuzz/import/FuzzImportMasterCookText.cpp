// Fuzz target: the TMasterCookTextReader on arbitrary bytes.
#include "FuzzImport.h"
#include "import/TMasterCookTextReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return larderly::import::fuzz::FuzzReader<larderly::import::TMasterCookTextReader>(data, size);
}
