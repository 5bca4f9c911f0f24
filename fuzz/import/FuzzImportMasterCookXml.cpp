// Fuzz target: the TMasterCookXmlReader on arbitrary bytes.
#include "FuzzImport.h"
#include "import/TMasterCookXmlReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return larderly::import::fuzz::FuzzReader<larderly::import::TMasterCookXmlReader>(data, size);
}
