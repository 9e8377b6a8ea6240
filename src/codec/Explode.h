// Decoder of the PKWARE Data Compression Library implode format (library
// version 1.11): LZ77 over a 1024, 2048 or 4096-byte window, fixed prefix
// codes, binary or ASCII-coded literals, a special length as the end marker.
//
// Explode pulls compressed bytes through `read`, which is offered the work
// area's 2048-byte input buffer each time and answers how many bytes it put
// there (0: no more input). It pushes decompressed bytes through `write` in
// blocks of exactly 4096 bytes and, for ExplodeOk and ExplodeAbort, one final
// block of 0 to 4095 bytes that always comes. For results 1 to 3 `write` is
// never called. `param` goes to both callbacks untouched. No allocation, no
// global state: the whole decode lives in the caller's ExplodeWork.
#pragma once

#include <cstdint>

using ExplodeReadFn = uint32_t (*)(uint8_t* buffer, uint32_t* size, void* param);
using ExplodeWriteFn = void (*)(uint8_t* buffer, uint32_t* size, void* param);

enum ExplodeResult : uint32_t {
    ExplodeOk = 0,          // the end marker was decoded; all output delivered
    ExplodeBadDictSize = 1, // header byte 1 is not 4, 5 or 6
    ExplodeBadMode = 2,     // header byte 1 valid, header byte 0 not 0 or 1
    ExplodeBadData = 3,     // the first read delivered 4 bytes or fewer
    ExplodeAbort = 4,       // input ran out before the end marker; output so far delivered
};

constexpr uint32_t kExplodeWorkSize = 12596; // what the archive reader sets aside
constexpr uint32_t kExplodeInputSize = 2048; // bytes offered to each read
constexpr uint32_t kExplodeBlockSize = 4096; // bytes of each full write; also the largest window
constexpr uint32_t kExplodeLongestCopy = 518;
// Two window halves (history, new output) and room for what the decoder may
// write past the second half before it hands the half out: a few short copies,
// the longest copy and the bytes that copies in 8 or 16-byte steps run over
// (the bound is worked out in Explode.cpp).
constexpr uint32_t kExplodeWindowSize = 2 * kExplodeBlockSize + 720;

// The state of one decode. The bit input and the output position live in
// registers while decoding (see Explode.cpp); this holds what outlasts them.
struct ExplodeWork {
    ExplodeReadFn read;
    ExplodeWriteFn write;
    void* param;
    uint32_t literalMode;    // header byte 0: 0 binary, 1 ASCII
    uint32_t dictionaryBits; // header byte 1: 4, 5 or 6, the low distance bits of long copies
    uint32_t dictionaryMask; // 0x0F, 0x1F or 0x3F
    // [0, 4096): the last 4096 bytes already written (zeros before the first
    // 4096); [4096, ...): output not yet written.
    uint8_t window[kExplodeWindowSize];
    uint8_t input[kExplodeInputSize]; // the block the read callback filled
    // The distance lookup for copies longer than 2 with this dictionary size,
    // built at the start (see Explode.cpp): the bits to skip, and minus the
    // distance that the code stands for. The other lookups are constant tables
    // (ExplodeTables.h).
    uint16_t distanceLookup[256];
    int16_t distanceBack[256];
    // Keeps the size that the 32-bit archive reader has always set aside.
    uint8_t reserved[kExplodeWorkSize - 3 * 4 - 3 * 4 - kExplodeWindowSize - kExplodeInputSize -
                     256 * 2 * 2];
};
static_assert(sizeof(void*) != 4 || sizeof(ExplodeWork) == kExplodeWorkSize,
              "the 32-bit work area is exactly what the archive reader sets aside");

uint32_t Explode(ExplodeReadFn read, ExplodeWriteFn write, ExplodeWork* work, void* param);
