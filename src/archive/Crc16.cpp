// CRC-16 over a block of bytes, eight bytes per step (slicing-by-8).
#include "archive/Crc16.h"

#include <bit>
#include <cstring>

namespace larderly {
namespace {

// Table k gives the check value of byte i followed by k zero bytes, so that eight bytes
// are added with eight independent lookups.
constexpr std::array<std::array<uint16_t, 256>, 8> MakeSlicedTables() {
    std::array<std::array<uint16_t, 256>, 8> t{};
    t[0] = Crc16Table;
    for (int k = 1; k < 8; ++k)
        for (unsigned i = 0; i < 256; ++i)
            t[k][i] = static_cast<uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
    return t;
}

constexpr auto kSliced = MakeSlicedTables();

} // namespace

uint16_t Crc16(uint16_t crc, const void* data, size_t count) {
    const auto* p = static_cast<const uint8_t*>(data);
    if constexpr (std::endian::native == std::endian::little) {
        uint32_t c = crc;
        for (; count >= 8; count -= 8, p += 8) {
            uint64_t v;
            std::memcpy(&v, p, 8);
            v ^= c;
            c = kSliced[7][v & 0xFF] ^ kSliced[6][(v >> 8) & 0xFF] ^ kSliced[5][(v >> 16) & 0xFF] ^
                kSliced[4][(v >> 24) & 0xFF] ^ kSliced[3][(v >> 32) & 0xFF] ^
                kSliced[2][(v >> 40) & 0xFF] ^ kSliced[1][(v >> 48) & 0xFF] ^ kSliced[0][v >> 56];
        }
        crc = static_cast<uint16_t>(c);
    }
    for (size_t i = 0; i < count; ++i)
        crc = Crc16Update(crc, p[i]);
    return crc;
}

} // namespace larderly
