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

// Length lookup, indexed by the 8 stream bits after the copy flag. Entry:
//   bits 0-3   code length (bits to drop before the extra bits)
//   bits 4-7   code length + extra-bit count (bits the whole length field takes)
//   bits 8-15  mask of the extra bits
//   bits 16-31 copy length when the extra bits are 0 (base + 2)
// so length = (e >> 16) + ((bits >> (e & 15)) & ((e >> 8) & 0xFF)).
constexpr std::array<uint32_t, 256> MakeLengthLookup() {
    std::array<uint8_t, 256> symbols = MakeSymbolLookup(kLengthCodeLengths, kLengthCodes);
    std::array<uint32_t, 256> lookup{};
    for (int i = 0; i < 256; ++i) {
        uint32_t s = symbols[i];
        uint32_t codeLength = kLengthCodeLengths[s];
        uint32_t extra = kLengthExtraBits[s];
        lookup[i] = codeLength | (codeLength + extra) << 4 | ((1u << extra) - 1) << 8 |
                    uint32_t(kLengthBases[s] + 2) << 16;
    }
    return lookup;
}
constexpr std::array<uint32_t, 256> kLengthLookup = MakeLengthLookup();
constexpr uint32_t kEndMarkerLength = 262 + 255 + 2; // symbol 15, extra bits all ones

// Distance lookup, indexed by the next 8 stream bits. Entry: bits 0-3 the code
// length, bits 4-9 the distance symbol (the high part of distance - 1).
constexpr std::array<uint16_t, 256> MakeDistanceLookup() {
    std::array<uint8_t, 256> symbols = MakeSymbolLookup(kDistanceCodeLengths, kDistanceCodes);
    std::array<uint16_t, 256> lookup{};
    for (int i = 0; i < 256; ++i)
        lookup[i] = uint16_t(kDistanceCodeLengths[symbols[i]] | symbols[i] << 4);
    return lookup;
}
constexpr std::array<uint16_t, 256> kDistanceLookup = MakeDistanceLookup();

// ASCII literals take one or two lookups. The first is indexed by the 8 stream
// bits after the literal flag; its entry is either
//   a short code:  bits 0-7 the byte, bits 8-11 the code length; or
//   an escape:     bit 15 set, bits 8-11 the bits to drop first (4, 6 or 8),
//                  bits 0-1 which second lookup (0 after 4, 1 after 6, 2 after 8).
// Codes longer than 8 bits whose low 6 bits are not all zero continue after 4
// bits; those with low 6 bits zero but low 8 not zero after 6; those with low 8
// bits zero after 8. The three second lookups lie back to back, 256 entries each
// (the after-6 one, whose codes are at most 7 bits long, repeated twice), and
// hold the byte in bits 0-7 and the bits still to drop in bits 8-11. No code
// needs more than 8 bits in its second step, and no long code shares a first
// index with a short one; the checks below hold the tables to that.
constexpr uint16_t kAsciiEscape = 0x8000;
constexpr uint16_t kUnset = 0xFFFF;

struct AsciiLookups {
    std::array<uint16_t, 256> first;
    std::array<uint16_t, 3 * 256> second;
};

constexpr AsciiLookups MakeAsciiLookups() {
    AsciiLookups t{};
    for (auto& e : t.first) e = kUnset;
    for (auto& e : t.second) e = kUnset;
    for (int b = 255; b >= 0; --b) {
        uint32_t n = kAsciiCodeLengths[b];
        uint32_t v = kAsciiCodes[b];
        if (n <= 8) {
            for (uint32_t i = v; i < 256; i += 1u << n) t.first[i] = uint16_t(b | n << 8);
            continue;
        }
        uint32_t drop = (v & 0xFF) == 0 ? 8 : (v & 0x3F) == 0 ? 6 : 4;
        uint32_t table = drop / 2 - 2;
        if (drop != 8) t.first[v & 0xFF] = uint16_t(kAsciiEscape | drop << 8 | table);
        uint32_t rest = n - drop;
        for (uint32_t i = v >> drop; i < 256; i += 1u << rest)
            t.second[table * 256 + i] = uint16_t(b | rest << 8);
    }
    t.first[0] = uint16_t(kAsciiEscape | 8 << 8 | 2);
    return t;
}
constexpr AsciiLookups kAsciiLookups = MakeAsciiLookups();

constexpr bool AsciiLookupsAreSound() {
    for (int i = 0; i < 256; ++i) {
        uint16_t e = kAsciiLookups.first[i];
        if (e == kUnset) return false;
        if ((e & kAsciiEscape) == 0) {
            uint32_t n = (e >> 8) & 15;
            if (kAsciiCodes[e & 0xFF] != (i & ((1u << n) - 1))) return false;
            continue;
        }
        uint32_t drop = (e >> 8) & 15;
        uint32_t table = e & 3;
        // Every continuation of this first index must be decodable.
        uint32_t fixed = 8 - drop; // bits of the second index already known
        for (uint32_t hi = 0; hi < (256u >> fixed); ++hi) {
            uint32_t j = (uint32_t(i) >> drop) | hi << fixed;
            uint16_t s = kAsciiLookups.second[table * 256 + j];
            if (s == kUnset) return false;
            // The byte found must be the one whose whole code these bits spell.
            uint32_t n = kAsciiCodeLengths[s & 0xFF];
            uint32_t bits = uint32_t(i) | j << drop;
            if (((s >> 8) & 15) != n - drop || kAsciiCodes[s & 0xFF] != (bits & ((1u << n) - 1)))
                return false;
        }
    }
    return true;
}
static_assert(AsciiLookupsAreSound(), "every bit sequence must decode to its code's byte");

} // namespace explode_tables
