// Shared driver of the decoder fuzz targets: the first two bytes give the size to produce
// (low 14 bits) and the encrypted flag and password (top bits); the rest is the packed data.
#pragma once

#include "archive/LhaCodec.h"
#include "archive/Streams.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace larderly::fuzz {

inline void ExpandOnce(TLhaMethod method, const uint8_t* data, size_t size) {
    if (size < 2) return;
    const int64_t uncompressed = data[0] | ((data[1] & 0x3F) << 8);
    TMemoryStream in(std::vector<uint8_t>(data + 2, data + size));
    TMemoryStream out;
    TLhaCodecState state;
    try {
        const auto r = state.CodeStream(TLhaCodeDirection::Expand, method, in, out,
                                        static_cast<int64_t>(size - 2), uncompressed,
                                        (data[1] & 0x80) != 0, (data[1] & 0x40) ? "pw" : "");
        if (method != coRLE && r.Count != static_cast<uint32_t>(uncompressed)) __builtin_trap();
    } catch (const ELhaException&) {
    }
}

} // namespace larderly::fuzz
