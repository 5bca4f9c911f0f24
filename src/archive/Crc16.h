// CRC-16 of archive entries: reflected polynomial 0xA001, initial value 0, no final
// inversion; one byte at a time through a 256-entry table, or a block eight bytes a step.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace larderly {

namespace detail {
constexpr std::array<uint16_t, 256> MakeCrc16Table() {
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned r = i;
        for (int k = 0; k < 8; ++k)
            r = (r & 1) ? (r >> 1) ^ 0xA001u : r >> 1;
        table[i] = static_cast<uint16_t>(r);
    }
    return table;
}
} // namespace detail

// The table shared by every coder; constant, so separate codec states may run in parallel.
inline constexpr std::array<uint16_t, 256> Crc16Table = detail::MakeCrc16Table();

// Adds one byte to a running check value.
inline uint16_t Crc16Update(uint16_t crc, uint8_t byte) {
    return static_cast<uint16_t>(Crc16Table[(crc ^ byte) & 0xFF] ^ (crc >> 8));
}

// Adds `count` bytes to a running check value (start with 0).
uint16_t Crc16(uint16_t crc, const void* data, size_t count);

} // namespace larderly
