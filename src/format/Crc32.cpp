#include "Crc32.h"

#include <array>
#include <cstddef>

#include "ArchiveLayout.h"

namespace {

using CrcTable = std::array<uint32_t, 256>;

// Entry n: the register after shifting n right eight times, XORing in the
// polynomial after each shift that drops a 1 bit.
constexpr CrcTable MakeCrcTable() {
    CrcTable table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t r = n;
        for (int k = 0; k < 8; ++k) r = (r & 1) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
        table[n] = r;
    }
    return table;
}

// Table k gives the effect of a byte followed by k zero bytes, so eight
// lookups advance the register by eight bytes at once.
constexpr std::array<CrcTable, 8> MakeSliceTables() {
    std::array<CrcTable, 8> tables{};
    tables[0] = MakeCrcTable();
    for (std::size_t k = 1; k < tables.size(); ++k)
        for (std::size_t n = 0; n < 256; ++n) {
            const uint32_t previous = tables[k - 1][n];
            tables[k][n] = tables[0][previous & 0xFF] ^ (previous >> 8);
        }
    return tables;
}
constexpr CrcTable kCrcTable = MakeCrcTable();
static_assert(kCrcTable[1] == 0x77073096 && kCrcTable[255] == 0x2D02EF8D);

#ifdef QX_COMPACT_TABLES
// The installer stub derives the tables once, on first use, into zeroed
// memory: the same values, and 8 KiB less in the file it ships.
std::array<CrcTable, 8> sliceTables;
bool sliceTablesBuilt = false;

const std::array<CrcTable, 8>& SliceTables() {
    if (!sliceTablesBuilt) {
        sliceTables[0] = kCrcTable;
        for (std::size_t k = 1; k < sliceTables.size(); ++k)
            for (std::size_t n = 0; n < 256; ++n) {
                const uint32_t previous = sliceTables[k - 1][n];
                sliceTables[k][n] = kCrcTable[previous & 0xFF] ^ (previous >> 8);
            }
        sliceTablesBuilt = true;
    }
    return sliceTables;
}
#else
constexpr std::array<CrcTable, 8> kSliceTables = MakeSliceTables();
static_assert(kSliceTables[0][255] == kCrcTable[255]);

const std::array<CrcTable, 8>& SliceTables() {
    return kSliceTables;
}
#endif

} // namespace

uint32_t UpdateCrc32(const uint8_t* buffer, uint32_t count, uint32_t crc) {
    const auto& t = SliceTables();
    for (; count >= 8; count -= 8, buffer += 8) {
        const uint32_t low = crc ^ LoadLe32(buffer);
        const uint32_t high = LoadLe32(buffer + 4);
        crc = t[7][low & 0xFF] ^ t[6][low >> 8 & 0xFF] ^ t[5][low >> 16 & 0xFF] ^ t[4][low >> 24] ^
              t[3][high & 0xFF] ^ t[2][high >> 8 & 0xFF] ^ t[1][high >> 16 & 0xFF] ^
              t[0][high >> 24];
    }
    for (uint32_t i = 0; i < count; ++i) crc = kCrcTable[(crc ^ buffer[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}
