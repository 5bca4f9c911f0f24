// Opening modes of the file streams: the access in the low bits, the sharing in 0x10..0x40
// (advisory locks here), and fmCreate, which creates the file or truncates it.
#pragma once

#include <cstdint>

namespace larderly {

enum : uint32_t {
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareExclusive = 0x0010,
    fmShareDenyWrite = 0x0020,
    fmShareDenyNone = 0x0040,
    fmCreate = 0xFFFF, // create the file, or truncate it when it exists
};

} // namespace larderly
