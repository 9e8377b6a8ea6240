// Explode: the implode-format decoder (stream layout and codes in
// ExplodeTables.h, callback contract in Explode.h).
//
// Bit input, kept in locals while decoding:
//   bits   the unread stream bits, the next one in bit 0. Bits at and above
//          `count` are either zero or a prefix of *next (a 64-bit refill may
//          load part of a byte it does not count); reloading that byte ORs in
//          the same bits, so they never corrupt the stream.
//   count  how many bits of `bits` are valid, 0..63.
//   next   the first byte of the input buffer not yet counted in `bits`.
//   end    the end of the bytes that the last read delivered.
//
// After every field at least 8 bits stay in view: a field whose end would
// leave fewer, with no byte left to pull, fails, even though its own bits are
// all there. The one exception is the end marker's extra bits at the very end
// of the input. So the read callback is called at the same points, and as
// often, as by a decoder that keeps one byte of lookahead and no more.
//
// A token that starts with fewer than 38 bits in view first tops them up from
// the current block, with one 64-bit load while 8 bytes remain. Then one of two
// ways through it:
//   fast     at least 38 bits in view (the longest token, 30 bits, plus the 8
//            of lookahead), so no field can run out and nothing is checked;
//   careful  near the end of an input block: field by field, each followed by
//            a skip that may pull the next block and may fail.
//
// Window: the output position starts at 4096 and a token always starts below
// 8192. Each time it reaches 8192 the second half goes to the write callback
// and everything from 4096 up to the position moves down by 4096, keeping the
// history and the overflow of the last copy. Distances never exceed 4096, so
// a copy never reads before the window.
#include "Explode.h"

#include <cstring>

#include "ExplodeTables.h"

namespace {

using namespace explode_tables;

constexpr uint32_t kHalf = kExplodeBlockSize;
constexpr uint32_t kLookahead = 8;
constexpr uint32_t kLongestToken = 1 + 7 + 8 + 8 + 6; // flag, length code, extra, distance, low
constexpr uint32_t kFastBits = kLongestToken + kLookahead;

struct BitInput {
    uint64_t bits;
    uint32_t count;
    const uint8_t* next;
    const uint8_t* end;
};

enum class Stop { None, EndMarker, InputFailure };

inline uint64_t LoadLe64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    return v;
}

inline void Copy8(uint8_t* to, const uint8_t* from) {
    uint64_t v;
    std::memcpy(&v, from, 8);
    std::memcpy(to, &v, 8);
}

// Pulls the next block from the read callback; false when it has no more.
bool ReadBlock(ExplodeWork* work, BitInput& in) {
    uint32_t size = kExplodeInputSize;
    uint32_t delivered = work->read(work->input, &size, work->param);
    if (delivered == 0) return false;
    if (delivered > kExplodeInputSize) delivered = kExplodeInputSize; // never past the buffer
    in.next = work->input;
    in.end = work->input + delivered;
    return true;
}

// Drops n (at most 8) bits that a field used and keeps 8 in view, pulling one
// more byte, and a new block if needed. False when the input has run out.
inline bool Skip(ExplodeWork* work, BitInput& in, uint32_t n) {
    in.bits >>= n;
    in.count -= n;
    if (in.count >= kLookahead) return true;
    if (in.next == in.end && !ReadBlock(work, in)) return false;
    in.bits |= uint64_t(*in.next++) << in.count;
    in.count += 8;
    return true;
}

// Tops `bits` up from the current block. True when a fast token can follow.
inline bool Refill(BitInput& in) {
    if (in.end - in.next >= 8) {
        in.bits |= LoadLe64(in.next) << in.count;
        in.next += (63 - in.count) >> 3;
        in.count |= 56;
        return true;
    }
    while (in.count <= 48 && in.next < in.end) {
        in.bits |= uint64_t(*in.next++) << in.count;
        in.count += 8;
    }
    return in.count >= kFastBits;
}

// Copies forward from `distance` back, so a copy longer than its distance
// repeats the last `distance` bytes. May write up to 16 bytes, or length + 7,
// past the copy; the window has room for that.
inline uint8_t* CopyMatch(uint8_t* out, uint32_t distance, uint32_t length) {
    const uint8_t* from = out - distance;
    uint8_t* end = out + length;
    if (distance >= 8) {
        // Each 8-byte step reads only bytes written before it.
        Copy8(out, from);
        Copy8(out + 8, from + 8);
        if (length > 16) {
            out += 16;
            from += 16;
            do {
                Copy8(out, from);
                out += 8;
                from += 8;
            } while (out < end);
        }
    } else if (distance == 1) {
        std::memset(out, *from, length);
    } else {
        do *out++ = *from++;
        while (out < end);
    }
    return end;
}

// Hands the full second half to the write callback and slides the window.
uint8_t* Flush(ExplodeWork* work, uint8_t* out) {
    uint32_t size = kHalf;
    work->write(work->window + kHalf, &size, work->param);
    std::memmove(work->window, work->window + kHalf, size_t(out - work->window) - kHalf);
    return out - kHalf;
}

// One token field by field, for when fewer than 38 bits are in view.
template <bool kAscii> Stop CarefulToken(ExplodeWork* work, BitInput& in, uint8_t*& out) {
    if (in.bits & 1) {
        if (!Skip(work, in, 1)) return Stop::InputFailure;
        uint32_t e = kLengthLookup[in.bits & 0xFF];
        uint32_t codeLength = e & 15;
        if (!Skip(work, in, codeLength)) return Stop::InputFailure;
        uint32_t mask = (e >> 8) & 0xFF;
        uint32_t length = (e >> 16) + (uint32_t(in.bits) & mask);
        // Topping up after the end marker may find no byte: the stream is still complete.
        if (mask != 0 && !Skip(work, in, ((e >> 4) & 15) - codeLength))
            return length == kEndMarkerLength ? Stop::EndMarker : Stop::InputFailure;
        if (length == kEndMarkerLength) return Stop::EndMarker;

        uint32_t d = kDistanceLookup[in.bits & 0xFF];
        if (!Skip(work, in, d & 15)) return Stop::InputFailure;
        uint32_t lowBits = length == 2 ? 2 : work->dictionaryBits;
        uint32_t low = uint32_t(in.bits) & ((1u << lowBits) - 1);
        if (!Skip(work, in, lowBits)) return Stop::InputFailure;
        out = CopyMatch(out, ((d >> 4) << lowBits | low) + 1, length);
        return Stop::None;
    }
    if (!Skip(work, in, 1)) return Stop::InputFailure;
    uint32_t literal;
    if (!kAscii) {
        literal = uint32_t(in.bits) & 0xFF;
        if (!Skip(work, in, 8)) return Stop::InputFailure;
    } else {
        uint32_t e = kAsciiLookups.first[in.bits & 0xFF];
        if (e & kAsciiEscape) {
            if (!Skip(work, in, (e >> 8) & 15)) return Stop::InputFailure;
            e = kAsciiLookups.second[(e & 3) * 256 + (in.bits & 0xFF)];
        }
        literal = e & 0xFF;
        if (!Skip(work, in, (e >> 8) & 15)) return Stop::InputFailure;
    }
    *out++ = uint8_t(literal);
    return Stop::None;
}

template <bool kAscii> uint32_t DecodeTokens(ExplodeWork* work, BitInput in) {
    uint8_t* const flushPoint = work->window + 2 * kHalf;
    const uint32_t dictionaryBits = work->dictionaryBits;
    const uint32_t dictionaryMask = work->dictionaryMask;
    uint8_t* out = work->window + kHalf;
    Stop stop = Stop::None;
    for (;;) {
        if (out >= flushPoint) out = Flush(work, out);
        if (in.count < kFastBits && !Refill(in)) {
            stop = CarefulToken<kAscii>(work, in, out);
            if (stop != Stop::None) break;
            continue;
        }
        if ((in.bits & 1) == 0) {
            // Literal: flag, then 8 plain bits or an ASCII code.
            if (!kAscii) {
                *out++ = uint8_t(in.bits >> 1);
                in.bits >>= 9;
                in.count -= 9;
            } else {
                in.bits >>= 1;
                uint32_t e = kAsciiLookups.first[in.bits & 0xFF];
                if (e & kAsciiEscape) {
                    uint32_t drop = (e >> 8) & 15;
                    in.bits >>= drop;
                    in.count -= drop;
                    e = kAsciiLookups.second[(e & 3) * 256 + (in.bits & 0xFF)];
                }
                *out++ = uint8_t(e);
                uint32_t used = (e >> 8) & 15;
                in.bits >>= used;
                in.count -= used + 1;
            }
            continue;
        }
        // Copy: flag, length code and extra bits, distance code and low bits.
        uint32_t e = kLengthLookup[(in.bits >> 1) & 0xFF];
        uint32_t length = (e >> 16) + (uint32_t(in.bits >> ((e & 15) + 1)) & ((e >> 8) & 0xFF));
        if (length == kEndMarkerLength) {
            stop = Stop::EndMarker;
            break;
        }
        uint32_t used = ((e >> 4) & 15) + 1;
        in.bits >>= used;
        uint32_t d = kDistanceLookup[in.bits & 0xFF];
        uint32_t codeLength = d & 15;
        in.bits >>= codeLength;
        uint32_t lowBits = length == 2 ? 2 : dictionaryBits;
        uint32_t lowMask = length == 2 ? 3 : dictionaryMask;
        uint32_t distance = ((d >> 4) << lowBits | (uint32_t(in.bits) & lowMask)) + 1;
        in.bits >>= lowBits;
        in.count -= used + codeLength + lowBits;
        out = CopyMatch(out, distance, length);
    }
    uint32_t size = uint32_t(out - work->window) - kHalf;
    work->write(work->window + kHalf, &size, work->param);
    return stop == Stop::EndMarker ? ExplodeOk : ExplodeAbort;
}

} // namespace

uint32_t Explode(ExplodeReadFn read, ExplodeWriteFn write, ExplodeWork* work, void* param) {
    work->read = read;
    work->write = write;
    work->param = param;
    uint32_t size = kExplodeInputSize;
    uint32_t delivered = read(work->input, &size, param);
    if (delivered > kExplodeInputSize) delivered = kExplodeInputSize;
    if (delivered <= 4) return ExplodeBadData;
    work->literalMode = work->input[0];
    work->dictionaryBits = work->input[1];
    if (work->dictionaryBits < 4 || work->dictionaryBits > 6) return ExplodeBadDictSize;
    work->dictionaryMask = 0xFFFFu >> (16 - work->dictionaryBits);
    if (work->literalMode > 1) return ExplodeBadMode;

    // A stream that reaches back beyond its own output finds zeros, never
    // what an earlier decode left in the work area.
    std::memset(work->window, 0, kHalf);
    BitInput in{work->input[2], 8, work->input + 3, work->input + delivered};
    return work->literalMode ? DecodeTokens<true>(work, in) : DecodeTokens<false>(work, in);
}
