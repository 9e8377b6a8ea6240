// Constant code tables of the implode format and the lookups built from them.
//
// The format sends no code tables: each of its three prefix codes is fixed by
// its code lengths alone. Everything below is derived from the three length
// lists at compile time, so the lookups cost nothing per decode and cannot
// drift from the lengths they come from.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace explode_tables {

// Length symbols 0..15: code length, extra-bit count, and base (the copy length
// is base + extra value + 2). Symbol 15 with extra value 255 is the end marker.
constexpr std::array<uint8_t, 16> kLengthCodeLengths = {3, 2, 3, 3, 4, 4, 4, 5,
                                                        5, 5, 5, 6, 6, 6, 7, 7};
constexpr std::array<uint8_t, 16> kLengthExtraBits = {0, 0, 0, 0, 0, 0, 0, 0,
                                                      1, 2, 3, 4, 5, 6, 7, 8};
constexpr std::array<uint16_t, 16> kLengthBases = {0, 1,  2,  3,  4,  5,  6,   7,
                                                   8, 10, 14, 22, 38, 70, 134, 262};

// Distance symbols 0..63: 2 bits for 0, 4 for 1-2, 5 for 3-6, 6 for 7-21,
// 7 for 22-47, 8 for 48-63.
constexpr std::array<uint8_t, 64> MakeDistanceCodeLengths() {
    std::array<uint8_t, 64> lengths{};
    for (int s = 0; s < 64; ++s)
        lengths[s] = s == 0 ? 2 : s <= 2 ? 4 : s <= 6 ? 5 : s <= 21 ? 6 : s <= 47 ? 7 : 8;
    return lengths;
}
constexpr std::array<uint8_t, 64> kDistanceCodeLengths = MakeDistanceCodeLengths();

// The ASCII-mode literal code: code length of each byte value, row = high digit.
// clang-format off
constexpr std::array<uint8_t, 256> kAsciiCodeLengths = {
    11, 12, 12, 12, 12, 12, 12, 12, 12,  8,  7, 12, 12,  7, 12, 12, // 0x00
    12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 13, 12, 12, 12, 12, 12, // 0x10
     4, 10,  8, 12, 10, 12, 10,  8,  7,  7,  8,  9,  7,  6,  7,  8, // 0x20
     7,  6,  7,  7,  7,  7,  8,  7,  7,  8,  8, 12, 11,  7,  9, 11, // 0x30
    12,  6,  7,  6,  6,  5,  7,  8,  8,  6, 11,  9,  6,  7,  6,  6, // 0x40
     7, 11,  6,  6,  6,  7,  9,  8,  9,  9, 11,  8, 11,  9, 12,  8, // 0x50
    12,  5,  6,  6,  6,  5,  6,  6,  6,  5, 11,  7,  5,  6,  5,  5, // 0x60
     6, 10,  5,  5,  5,  5,  8,  7,  8,  8, 10, 11, 11, 12, 12, 12, // 0x70
    13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, // 0x80
    13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, // 0x90
    13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, // 0xA0
    12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, // 0xB0
    12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, // 0xC0
    12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, // 0xD0
    13, 12, 13, 13, 13, 12, 13, 13, 13, 12, 13, 13, 13, 13, 12, 13, // 0xE0
    13, 13, 12, 12, 12, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, // 0xF0
};
// clang-format on

// Stream codes from code lengths: the canonical prefix code (symbols ordered by
// length, then value; each code is the previous one plus one, shifted left by
// the growth in length), every bit inverted, then bit-reversed so that bit 0 is
// the first stream bit and a code can be matched against the low bits of the
// bit buffer.
template <std::size_t N>
constexpr std::array<uint16_t, N> MakeStreamCodes(const std::array<uint8_t, N>& lengths) {
    std::array<uint16_t, N> codes{};
    uint32_t code = 0;
    uint32_t previousLength = 0;
    bool first = true;
    for (uint32_t length = 1; length <= 16; ++length) {
        for (std::size_t symbol = 0; symbol < N; ++symbol) {
            if (lengths[symbol] != length) continue;
            if (!first) code = (code + 1) << (length - previousLength);
            first = false;
            previousLength = length;
            uint32_t inverted = ~code & ((1u << length) - 1);
            uint32_t reversed = 0;
            for (uint32_t bit = 0; bit < length; ++bit)
                reversed |= ((inverted >> bit) & 1) << (length - 1 - bit);
            codes[symbol] = uint16_t(reversed);
        }
    }
    return codes;
}

constexpr std::array<uint16_t, 16> kLengthCodes = MakeStreamCodes(kLengthCodeLengths);
constexpr std::array<uint16_t, 64> kDistanceCodes = MakeStreamCodes(kDistanceCodeLengths);
constexpr std::array<uint16_t, 256> kAsciiCodes = MakeStreamCodes(kAsciiCodeLengths);

// Plain symbol lookup for codes of at most 8 bits: every 8-bit value whose low
// bits equal a symbol's code finds that symbol. Filled from the last symbol to
// the first; with a complete code no two symbols share an index.
template <std::size_t N>
constexpr std::array<uint8_t, 256> MakeSymbolLookup(const std::array<uint8_t, N>& lengths,
                                                    const std::array<uint16_t, N>& codes) {
    std::array<uint8_t, 256> lookup{};
    for (std::size_t s = N; s-- > 0;)
        for (uint32_t i = codes[s]; i < 256; i += 1u << lengths[s]) lookup[i] = uint8_t(s);
    return lookup;
}

// Copy lookup, indexed by a token's flag bit (1 for a copy) and the 7 stream
// bits after it: the low byte of the bit buffer, which a single instruction
// fetches. Entry: bits 0-7 the bits used (flag, code and, when resolved, the
// extra bits), so that one shift drops a whole resolved field together with
// its flag; bits 8-15 one of
//   the copy length, 3 to 15 (code and extra bits fit in the 7 indexed bits);
//   kLengthTwo for length 2, whose distance has its own low-bit count;
//   kLengthUnresolved + the symbol (10 to 15: the extra bits come after).
// So a single comparison separates the common copies from the others.
constexpr uint32_t kLongestResolved = 15;
constexpr uint32_t kLengthTwo = 24;
constexpr uint32_t kLengthUnresolved = 32;
constexpr uint32_t kCopyIndexBits = 7; // the stream bits after the flag that the copy lookup sees

constexpr std::array<uint16_t, 256> MakeCopyLookup() {
    std::array<uint8_t, 256> symbols = MakeSymbolLookup(kLengthCodeLengths, kLengthCodes);
    std::array<uint16_t, 256> lookup{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t bits = i >> 1; // the flag is bit 0
        uint32_t s = symbols[bits];
        uint32_t codeLength = kLengthCodeLengths[s];
        uint32_t extra = kLengthExtraBits[s];
        uint16_t entry = uint16_t((1 + codeLength) | (kLengthUnresolved + s) << 8);
        if (codeLength + extra <= kCopyIndexBits) {
            uint32_t length = kLengthBases[s] + 2 + ((bits >> codeLength) & ((1u << extra) - 1));
            if (length == 2) length = kLengthTwo;
            entry = uint16_t((1 + codeLength + extra) | length << 8);
        }
        lookup[i] = entry;
    }
    return lookup;
}

// Bits 8-15 of each copy entry on their own: the length comes in one load,
// where shifting a copy of the entry takes two more instructions.
constexpr std::array<uint8_t, 256> MakeCopyLengths() {
    std::array<uint16_t, 256> copy = MakeCopyLookup();
    std::array<uint8_t, 256> lengths{};
    for (uint32_t i = 0; i < 256; ++i) lengths[i] = uint8_t(copy[i] >> 8);
    return lengths;
}

// ASCII literal lookup, indexed by a token's flag bit (0 for a literal) and
// the 8 stream bits after it; the odd entries are not used. Every ASCII code
// longer than 8 bits starts with four 0 bits; a code that does not is found
// here, with the bits used (flag and code) in bits 0-7 and the byte in bits
// 8-15. Codes that start with four 0 bits are in kAsciiLongLookup; their
// entries here are 0.
constexpr uint32_t kAsciiLongPrefix = 4; // the 0 bits that every long ASCII code starts with

constexpr std::array<uint16_t, 512> MakeAsciiLookup() {
    std::array<uint16_t, 512> lookup{};
    for (uint32_t b = 0; b < 256; ++b) {
        uint32_t n = kAsciiCodeLengths[b];
        uint32_t v = kAsciiCodes[b];
        if ((v & ((1u << kAsciiLongPrefix) - 1)) == 0) continue;
        for (uint32_t i = v; i < 256; i += 1u << n) lookup[2 * i] = uint16_t((1 + n) | b << 8);
    }
    return lookup;
}
constexpr uint32_t kEndMarkerLength = 262 + 255 + 2; // symbol 15, extra bits all ones

// ASCII codes that start with four 0 bits, indexed by the 9 stream bits after
// the literal flag and those four (no code is longer than 13 bits). Entry: the
// bits used (flag and code) in bits 0-7, the byte in bits 8-15.
constexpr std::array<uint16_t, 512> MakeAsciiLongLookup() {
    std::array<uint16_t, 512> lookup{};
    for (uint32_t b = 0; b < 256; ++b) {
        uint32_t n = kAsciiCodeLengths[b];
        uint32_t v = kAsciiCodes[b];
        if ((v & ((1u << kAsciiLongPrefix) - 1)) != 0) continue;
        for (uint32_t i = v >> kAsciiLongPrefix; i < 512; i += 1u << (n - kAsciiLongPrefix))
            lookup[i] = uint16_t((1 + n) | b << 8);
    }
    return lookup;
}

// The distance lookup, indexed by the next 8 stream bits (no flag before it),
// as a copy of length 2 needs it (2 low bits). Entry: bits 0-7 the code
// length, bits 8-15 the distance symbol shifted up by 2. Copies of other
// lengths take a lookup built from this one for the dictionary size (see
// Explode.cpp).
constexpr uint32_t kLengthTwoLowBits = 2;

constexpr std::array<uint16_t, 256> MakeDistanceLookup() {
    std::array<uint8_t, 256> symbols = MakeSymbolLookup(kDistanceCodeLengths, kDistanceCodes);
    std::array<uint16_t, 256> lookup{};
    for (int i = 0; i < 256; ++i)
        lookup[i] =
            uint16_t(kDistanceCodeLengths[symbols[i]] | symbols[i] << kLengthTwoLowBits << 8);
    return lookup;
}

// The lookups side by side, so that the decoder reaches them all from one address.
struct Lookups {
    std::array<uint16_t, 512> ascii;
    std::array<uint16_t, 512> asciiLong;
    std::array<uint16_t, 256> copy;
    std::array<uint16_t, 256> distance;
    std::array<uint8_t, 256> copyLength;
};
inline constexpr Lookups kLookups = {MakeAsciiLookup(), MakeAsciiLongLookup(), MakeCopyLookup(),
                                     MakeDistanceLookup(), MakeCopyLengths()};
inline constexpr const std::array<uint16_t, 512>& kAsciiLookup = kLookups.ascii;
inline constexpr const std::array<uint16_t, 256>& kCopyLookup = kLookups.copy;
inline constexpr const std::array<uint16_t, 512>& kAsciiLongLookup = kLookups.asciiLong;
inline constexpr const std::array<uint16_t, 256>& kDistanceLookup = kLookups.distance;

constexpr bool LookupsAreSound() {
    for (uint32_t i = 1; i < 256; i += 2) {
        uint32_t used = kCopyLookup[i] & 0xFF;
        uint32_t value = kCopyLookup[i] >> 8;
        if (value != kLookups.copyLength[i] || kCopyLookup[i] != kCopyLookup[i - 1]) return false;
        if (value >= kLengthUnresolved + 16 || used < 3 || used > 1 + kCopyIndexBits) return false;
        if (value >= kLengthUnresolved) {
            uint32_t s = value - kLengthUnresolved;
            if (kLengthExtraBits[s] + used - 1 <= kCopyIndexBits) return false; // would be resolved
            if (kLengthCodes[s] != ((i >> 1) & ((1u << (used - 1)) - 1))) return false;
        } else if (value < 3 || (value > kLongestResolved && value != kLengthTwo)) {
            return false;
        }
    }
    // Every 13 bits after a literal flag must find the byte whose whole code
    // they start with, in the lookup that the first four bits choose.
    for (uint32_t bits = 0; bits < (1u << 13); ++bits) {
        bool isLong = (bits & ((1u << kAsciiLongPrefix) - 1)) == 0;
        uint16_t e =
            isLong ? kAsciiLongLookup[bits >> kAsciiLongPrefix] : kAsciiLookup[2 * (bits & 0xFF)];
        uint32_t n = (e & 0xFF) - 1;
        if (e == 0 || n != kAsciiCodeLengths[e >> 8] ||
            kAsciiCodes[e >> 8] != (bits & ((1u << n) - 1)))
            return false;
        // The careful decoder looks at 8 bits after the prefix first: a code
        // that needs the 9th must be one of two that differ in it alone.
        if (isLong && n > kAsciiLongPrefix + 8 &&
            (kAsciiLongLookup[(bits >> kAsciiLongPrefix) & 0xFF] & 0xFF) != (e & 0xFF))
            return false;
    }
    return true;
}
static_assert(LookupsAreSound(), "every bit sequence decodes to its code's symbol");

} // namespace explode_tables
