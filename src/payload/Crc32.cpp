#include "Crc32.h"

#include <array>

namespace {

// Entry n: the register after shifting n right eight times, XORing in the
// polynomial after each shift that drops a 1 bit.
constexpr std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t r = n;
        for (int k = 0; k < 8; ++k) r = (r & 1) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
        table[n] = r;
    }
    return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();
static_assert(kCrcTable[1] == 0x77073096 && kCrcTable[255] == 0x2D02EF8D);

} // namespace

uint32_t UpdateCrc32(const uint8_t* buffer, uint32_t count, uint32_t crc) {
    for (uint32_t i = 0; i < count; ++i) crc = kCrcTable[(crc ^ buffer[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}
