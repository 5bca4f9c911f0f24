// CRC-16 over a block of bytes.
#include "archive/Crc16.h"

namespace larderly {

uint16_t Crc16(uint16_t crc, const void* data, size_t count) {
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < count; ++i)
        crc = Crc16Update(crc, p[i]);
    return crc;
}

} // namespace larderly
