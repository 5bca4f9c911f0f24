// Expands arbitrary bytes as -rle- data: must end in data of the declared size or a
// codec exception, never in a fault.
#include "FuzzCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    larderly::fuzz::ExpandOnce(larderly::coRLE, data, size);
    return 0;
}
