// Fuzz target: the TWebPageReader on arbitrary bytes.
#include "FuzzImport.h"
#include "import/TWebPageReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return larderly::import::fuzz::FuzzReader<larderly::import::TWebPageReader>(data, size);
}
