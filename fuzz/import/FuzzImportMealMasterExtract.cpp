// Fuzz target: the TMealMasterExtractReader on arbitrary bytes.
#include "FuzzImport.h"
#include "import/TMealMasterExtractReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return larderly::import::fuzz::FuzzReader<larderly::import::TMealMasterExtractReader>(data,
                                                                                          size);
}
