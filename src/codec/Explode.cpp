// Explode: the implode-format decoder (stream layout and codes in
// ExplodeTables.h, callback contract in Explode.h).
//
// Bit input, as CarefulTail keeps it (BitInput):
//   bits   the unread stream bits, the next one in bit 0. Bits at and above
//          the count are zero.
//   count  how many bits of `bits` are valid, 0 to a machine word's bits.
//   next   the first byte of the input buffer not yet counted in `bits`.
//   end    the end of the bytes that the last read delivered.
// The decoding loop keeps its bits in a machine word (Word below) and `used`,
// the word's bits less the count, in place of the count: then `bits` is the
// word's bytes before `next` shifted right by `used`, and a refill is a plain
// load of the word that starts at the first unused bit.
//
// After every field at least 8 bits stay in view (in `bits` or still in the
// block): a field whose end would leave fewer, with no byte left to pull,
// fails, even though its own bits are all there. The one exception is the end
// marker's extra bits at the very end of the input. So the read callback is
// called at the same points, and as often, as by a decoder that keeps one byte
// of lookahead and no more.
//
// Tokens are decoded in batches. Between batches a full half goes out and
// `bits` is reloaded with one load (57 to 64 bits after it, 25 to 32 on 32-bit
// processors), while a byte of the block stays after the word loaded. A batch
// decodes whole tokens while at least kFastNeed bits are in `bits`: every
// token but a copy longer than 15 bytes (which checks for its own 30, and on
// 32-bit processors may go to the careful tail for them) then finds all its
// fields there, and since a byte of the block is still unread, its lookahead
// too; nothing is checked field by field. Each token is resolved by
// whole-code lookups: flag, length code and extra bits at once; flag and
// literal at once. A copy's distance comes as an offset back from the output
// position, so that the common copy (at least 16 back, at most 15 long) is
// one 16-byte move, and one of 16 to 23 bytes two.
//
// The end of a block (fewer than a word and a byte left) is CarefulTail's: it
// tops `bits` up byte by byte and lets the batch go on while one byte is held
// back; below that, tokens go field by field, each field followed by a skip
// that may pull the next block and may fail, until the next block has come
// and the bits in view are all from it.
//
// Window: the output position starts at 4096 and never falls below it. When a
// batch starts at or past 8192, after a copy longer than 23 bytes and after
// tokens field by field, the second half goes to the write callback and
// everything from 4096 up to the position moves down by 4096, keeping the
// history and what was written beyond. Distances never exceed 4096, so a copy
// never reads before the window.
#include "Explode.h"

#include <cstddef>
#include <cstring>

#include "ExplodeTables.h"

namespace {

using namespace explode_tables;

constexpr uint32_t kHalf = kExplodeBlockSize;
constexpr uint32_t kLookahead = 8;
// The longest copy that a batch goes on after; a longer one hands the half out.
constexpr uint32_t kLongestBatchCopy = 23;
constexpr uint32_t kLongestToken = 1 + 7 + 8 + 8 + 6; // flag, length code, extra, distance, low
// The bits that a token of a batch starts with: enough for any token but a
// copy longer than 15 bytes, which checks for kLongestToken itself.
constexpr uint32_t kFastNeed = 1 + kCopyIndexBits + 8 + 6; // flag, resolved length, distance, low

// The decoding loop's bit buffer: a machine word. A 32-bit processor has
// neither the registers nor the shifts to keep 64 bits at hand; there a
// refill brings fewer bits, and a long copy may take its fields one by one.
using Word = uintptr_t;
constexpr uint32_t kWordBits = 8 * sizeof(Word);
// The bytes that a batch needs left in the block when it starts: a refill
// loads a word and leaves one byte unread after it.
constexpr std::ptrdiff_t kBatchBytes = sizeof(Word) + 1;

// How far past 8192 the decoder may write before the half goes out. A batch
// starts below 8192. Its tokens start with kFastNeed of at most kWordBits
// bits, so all but the last take at most kWordBits - kFastNeed bits together,
// and at least 5 each: at most 8 tokens (2 with a 32-bit word), each moving
// the position on by at most 23 bytes (after a longer copy the half goes out
// at once). The last one, and the second literal of a binary pair, write at
// most the longest copy and the 7 bytes that the last 8-byte step of
// CopyMatch runs over (a copy in two 16-byte steps writes 32).
constexpr uint32_t kMostPastHalf =
    (kWordBits - kFastNeed) / 5 * kLongestBatchCopy + kExplodeLongestCopy + 7 + 1;
static_assert(kExplodeWindowSize >= 2 * kHalf + kMostPastHalf, "room for a batch past the half");

struct BitInput {
    uint64_t bits;
    uint32_t count;
    const uint8_t* next;
    const uint8_t* end;
};

enum class Stop { None, EndMarker, InputFailure };

[[gnu::always_inline]] inline Word LoadWord(const uint8_t* p) {
    Word v;
    std::memcpy(&v, p, sizeof v);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = sizeof v == 8 ? Word(__builtin_bswap64(v)) : Word(__builtin_bswap32(uint32_t(v)));
#endif
    return v;
}

[[gnu::always_inline]] inline void Copy8(uint8_t* to, const uint8_t* from) {
    uint64_t v;
    std::memcpy(&v, from, 8);
    std::memcpy(to, &v, 8);
}

// On a 32-bit processor without 16-byte registers (the stub), the 16 bytes
// go word by word, each word read just before it is written: gathered first,
// they would pass through the stack. The callers copy from at least 16 back,
// so no word that is read has been written by the same step.
[[gnu::always_inline]] inline void Copy16(uint8_t* to, const uint8_t* from) {
#if defined(__SSE2__) || UINTPTR_MAX > 0xFFFFFFFFu
    uint8_t v[16];
    std::memcpy(v, from, 16);
    std::memcpy(to, v, 16);
#else
    uint32_t w;
    std::memcpy(&w, from, 4), std::memcpy(to, &w, 4);
    std::memcpy(&w, from + 4, 4), std::memcpy(to + 4, &w, 4);
    std::memcpy(&w, from + 8, 4), std::memcpy(to + 8, &w, 4);
    std::memcpy(&w, from + 12, 4), std::memcpy(to + 12, &w, 4);
#endif
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

// Drops n (1 to 8) bits that a field used and keeps 8 in view, pulling one
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

// Copies forward from `distance` back, so a copy longer than its distance
// repeats the last `distance` bytes. May write up to 16 bytes, or length + 7,
// past the copy; the window has room for that.
uint8_t* CopyMatch(uint8_t* out, uint32_t distance, uint32_t length) {
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

// A copy of at most 16 bytes from at least 16 back, in one 16-byte step.
// Writes 16 bytes.
[[gnu::always_inline]] inline uint8_t* CopyFarShort(uint8_t* out, intptr_t back, size_t length) {
    Copy16(out, out + back);
    return out + length;
}

// A copy of at most kLongestBatchCopy bytes from at least 16 back, in two
// 16-byte steps, each reading only bytes written before it. Writes 32 bytes.
[[gnu::always_inline]] inline uint8_t* CopyFar(uint8_t* out, intptr_t back, size_t length) {
    const uint8_t* from = out + back;
    Copy16(out, from);
    Copy16(out + 16, from + 16);
    return out + length;
}

// Hands the full second half to the write callback and slides the window.
[[gnu::noinline]] uint8_t* Flush(ExplodeWork* work, uint8_t* out) {
    uint32_t size = kHalf;
    work->write(work->window + kHalf, &size, work->param);
    std::memmove(work->window, work->window + kHalf, size_t(out - work->window) - kHalf);
    return out - kHalf;
}

// One token field by field, for the end of a block. The lookups count the
// flag bit among the bits they resolve.
[[gnu::noinline]] Stop CarefulToken(ExplodeWork* work, BitInput& in, uint8_t*& out) {
    if (in.bits & 1) {
        uint32_t e = kCopyLookup[uint32_t(in.bits) & 0xFF];
        uint32_t length = e >> 8 == kLengthTwo ? 2 : e >> 8;
        // A resolved entry skips the flag, the code and its extra bits at once.
        if (!Skip(work, in, e & 0xFF)) return Stop::InputFailure;
        if (length >= kLengthUnresolved) {
            uint32_t s = length - kLengthUnresolved;
            uint32_t extra = kLengthExtraBits[s];
            length = kLengthBases[s] + 2 + (uint32_t(in.bits) & ((1u << extra) - 1));
            // Topping up after the end marker may find no byte: the stream is still complete.
            if (!Skip(work, in, extra))
                return length == kEndMarkerLength ? Stop::EndMarker : Stop::InputFailure;
            if (length == kEndMarkerLength) return Stop::EndMarker;
        }
        uint32_t d = kDistanceLookup[in.bits & 0xFF];
        if (!Skip(work, in, d & 0xFF)) return Stop::InputFailure;
        uint32_t lowBits = length == 2 ? kLengthTwoLowBits : work->dictionaryBits;
        uint32_t low = uint32_t(in.bits) & ((1u << lowBits) - 1);
        if (!Skip(work, in, lowBits)) return Stop::InputFailure;
        uint32_t symbol = d >> 8 >> kLengthTwoLowBits;
        out = CopyMatch(out, (symbol << lowBits | low) + 1, length);
        return Stop::None;
    }
    if (!Skip(work, in, 1)) return Stop::InputFailure;
    uint32_t e = uint32_t(in.bits) & 0xFF;
    if (!work->literalMode) {
        if (!Skip(work, in, 8)) return Stop::InputFailure;
    } else if (e & ((1u << kAsciiLongPrefix) - 1)) {
        e = kAsciiLookup[2 * e];
        if (!Skip(work, in, (e & 0xFF) - 1)) return Stop::InputFailure;
        e >>= 8;
    } else {
        // Fields of at most 8 bits: the prefix, up to 8 code bits, the last.
        if (!Skip(work, in, kAsciiLongPrefix)) return Stop::InputFailure;
        uint32_t first = uint32_t(in.bits) & 0xFF;
        e = kAsciiLongLookup[first];
        uint32_t rest = (e & 0xFF) - 1 - kAsciiLongPrefix;
        if (rest > 8) {
            if (!Skip(work, in, 8)) return Stop::InputFailure;
            e = kAsciiLongLookup[first | (uint32_t(in.bits) & 1) << 8];
            rest -= 8;
        }
        if (!Skip(work, in, rest)) return Stop::InputFailure;
        e >>= 8;
    }
    *out++ = uint8_t(e);
    return Stop::None;
}

// Whether the bits in view all come from the current block, as the decoding
// loop needs them: it reloads them from there.
bool FromThisBlock(const ExplodeWork* work, const BitInput& in) {
    return size_t(in.next - work->input) * 8 >= in.count;
}

// The end of a block, for fewer than a word and a byte left, and on 32-bit
// processors a long copy. Byte by byte into `bits`, up to a machine word: while one byte
// is held back (so that the lookahead of every token lies in the block) and
// the longest token is in view, the batch goes on. Otherwise tokens go field
// by field until a batch can start (kBatchBytes left) with all the bits
// in view from the block, which may be the next one, or the decode stops.
[[gnu::noinline]] Stop CarefulTail(ExplodeWork* work, BitInput& in, uint8_t*& out) {
    while (in.count <= kWordBits - 8 && in.end - in.next > 1) {
        in.bits |= uint64_t(*in.next++) << in.count;
        in.count += 8;
    }
    if (in.count >= kLongestToken && FromThisBlock(work, in)) return Stop::None;
    // A field sees all of its bits in `bits`.
    if (in.count <= kWordBits - 8 && in.next < in.end) {
        in.bits |= uint64_t(*in.next++) << in.count;
        in.count += 8;
    }
    uint8_t* const flushPoint = work->window + 2 * kHalf;
    do {
        if (out >= flushPoint) out = Flush(work, out);
        Stop stop = CarefulToken(work, in, out);
        if (stop != Stop::None) return stop;
    } while (in.end - in.next < kBatchBytes || !FromThisBlock(work, in));
    // The batch that follows starts below 8192 too.
    if (out >= flushPoint) out = Flush(work, out);
    return Stop::None;
}

// Distance lookup for copies longer than 2, whose low bits number the
// dictionary-size bits. Entry: bits 0-7 the code length, bits 8-15 the code
// length plus the low bits; beside it minus the distance that the code
// stands for with low bits 0 (the symbol shifted up by the low bits, plus 1).
void BuildDistanceLookup(ExplodeWork* work) {
    const uint32_t lowBits = work->dictionaryBits;
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t d = kDistanceLookup[i];
        uint32_t codeLength = d & 0xFF;
        uint32_t symbol = d >> 8 >> kLengthTwoLowBits;
        work->distanceLookup[i] = uint16_t(codeLength | (codeLength + lowBits) << 8);
        work->distanceBack[i] = int16_t(-int32_t(symbol << lowBits) - 1);
    }
}

// In the decoding loop only the low 8 bits of `used` are the count: the
// fields drop bits by adding whole table entries, whose low 8 bits are the
// bits they used, and no carry ever leaves those 8 bits (`used` stays below
// kWordBits + kLongestToken).
[[gnu::always_inline]] inline uint32_t Count(uint32_t used) {
    return used & 0xFF;
}

// Every shift of `bits` in the loop is by less than 32: a field takes at most
// 14 bits, and a refill shifts by fewer than 8. Masking the count says so to
// the compiler: processors take a shift count modulo the word's bits anyway.
constexpr uint32_t kShiftMask = kWordBits - 1;

// Drops the bits that the low 8 bits of a table entry count (at most 30).
[[gnu::always_inline]] inline void Drop(Word& bits, uint32_t& used, uint32_t entry) {
    bits >>= entry & kShiftMask;
    used += entry;
}

// The distance of a copy longer than 2: its code and the dictionary-size low
// bits, as the offset back from the output position.
[[gnu::always_inline]] inline intptr_t DistanceBack(const ExplodeWork* work, Word& bits,
                                                    uint32_t& used) {
    uint32_t i = uint32_t(bits) & 0xFF;
    uint32_t d = work->distanceLookup[i];
    intptr_t back =
        work->distanceBack[i] - intptr_t(uint32_t(bits >> (d & kShiftMask)) & work->dictionaryMask);
    Drop(bits, used, d >> 8);
    return back;
}

// A literal at the token start: the flag and 8 plain bits, or an ASCII code
// from one of two lookups, as its first four bits say.
template <bool kAscii>
[[gnu::always_inline]] inline void Literal(const Lookups* lookups, Word& bits, uint32_t& used,
                                           uint8_t*& out) {
    if (!kAscii) {
        *out++ = uint8_t(bits >> 1);
        Drop(bits, used, 9);
        return;
    }
    uint32_t e;
    if (bits & ((1u << kAsciiLongPrefix) - 1) << 1)
        e = lookups->ascii[bits & 0x1FF];
    else
        e = lookups->asciiLong[(bits >> (1 + kAsciiLongPrefix)) & 0x1FF];
    *out++ = uint8_t(e >> 8);
    Drop(bits, used, e);
}

template <bool kAscii>
[[gnu::always_inline]] inline uint32_t DecodeTokens(ExplodeWork* work, BitInput in) {
    uint8_t* const flushPoint = work->window + 2 * kHalf;
    // `bits` holds the stream bits of the word's bytes before `next`, less
    // the `used` ones already decoded (so kWordBits - used of them are valid).
    Word bits = Word(in.bits);
    uint32_t used = kWordBits - in.count;
    const uint8_t* next = in.next;
    const uint8_t* end = in.end;
    // The last `next` of a refill: one byte of the block stays unread after
    // the word that it loads (see kBatchBytes).
    uintptr_t lastLoad = uintptr_t(end) - 1;
    uint8_t* out = work->window + kHalf;
    // The lookups' address, held in a register: left to itself the compiler
    // rebuilds the constant address before each lookup, one more instruction
    // per token.
    const Lookups* lookups = &kLookups;
#if defined(__x86_64__) && defined(__GNUC__)
    asm("" : "+r"(lookups));
#endif
    Stop stop = Stop::None;
    for (;;) {
        if (Count(used) > kWordBits - kFastNeed) {
        newBatch:
            if (out >= flushPoint) out = Flush(work, out);
            if (uintptr_t(next) + (Count(used) >> 3) > lastLoad) {
            carefulTail:
                // Copies, so that the locals stay in registers. The count is
                // kWordBits - Count(used), worked out from `used` itself: the
                // compiler would mask `used` before every token otherwise.
                BitInput careful{bits, (kWordBits - used) & (2 * kWordBits - 1), next, end};
                uint8_t* carefulOut = out;
                stop = CarefulTail(work, careful, carefulOut);
                out = carefulOut;
                if (stop != Stop::None) break;
                bits = Word(careful.bits);
                used = kWordBits - careful.count;
                next = careful.next;
                end = careful.end;
                lastLoad = uintptr_t(end) - 1;
                continue;
            }
            // On past the whole bytes used, then load the word before `next`.
            next += Count(used) >> 3;
            used &= 7;
            bits = LoadWord(next - sizeof(Word)) >> used;
        }

        if ((bits & 1) == 0) {
            Literal<kAscii>(lookups, bits, used, out);
            // Bits for one more binary literal are still there.
            if (!kAscii && (bits & 1) == 0) Literal<kAscii>(lookups, bits, used, out);
            continue;
        }
        // Copy: flag, length code and extra bits, distance code and low bits.
        uint32_t index = uint32_t(bits) & 0xFF;
        uint32_t e = lookups->copy[index];
        size_t length;
        intptr_t back; // minus the distance: where the copy starts, seen from `out`
        if (e < (kLongestResolved + 1) << 8) {
            length = lookups->copyLength[index];
            Drop(bits, used, e);
            back = DistanceBack(work, bits, used);
        } else if (e >> 8 == kLengthTwo) {
            Drop(bits, used, e);
            length = 2;
            uint32_t d = lookups->distance[bits & 0xFF];
            back = -1 - intptr_t((d >> 8) + (uint32_t(bits >> (d & kShiftMask)) & 3));
            Drop(bits, used, d + kLengthTwoLowBits);
        } else {
            // Longer than a batch token may be: top up first. A refill of a
            // 32-bit word may still fall short; there the careful tail takes
            // the copy, after the check that a batch starts with.
            if (Count(used) > kWordBits - kLongestToken) {
                if (kWordBits == 64) goto newBatch;
                if (out >= flushPoint) out = Flush(work, out);
                goto carefulTail;
            }
            Drop(bits, used, e);
            uint32_t s = (e >> 8) - kLengthUnresolved;
            uint32_t extra = kLengthExtraBits[s];
            length = kLengthBases[s] + 2 + (uint32_t(bits) & ((1u << extra) - 1));
            if (length == kEndMarkerLength) {
                stop = Stop::EndMarker;
                break;
            }
            Drop(bits, used, extra);
            back = DistanceBack(work, bits, used);
            if (length > kLongestBatchCopy) {
                out = CopyMatch(out, uint32_t(-back), uint32_t(length));
                if (out >= flushPoint) out = Flush(work, out);
                continue;
            }
            if (back <= -16) {
                out = CopyFar(out, back, length);
                continue;
            }
        }
        // Copies of 2 to 15 bytes, or longer ones from less than 16 back.
        if (back <= -16) {
            out = CopyFarShort(out, back, length);
            continue;
        }
        out = CopyMatch(out, uint32_t(-back), uint32_t(length));
    }
    if (out >= flushPoint) out = Flush(work, out);
    uint32_t size = uint32_t(out - work->window) - kHalf;
    work->write(work->window + kHalf, &size, work->param);
    return stop == Stop::EndMarker ? ExplodeOk : ExplodeAbort;
}

// The loop once as it is, and on x86-64 once more for processors with BMI2,
// whose shifts take their count from any register: the same code, compiled
// twice (see Explode below). The sanitizer builds keep to the plain loop, so
// that the tests check the one that the 32-bit stub runs as well.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define EXPLODE_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define EXPLODE_SANITIZED 1
#endif

uint32_t DecodeBinary(ExplodeWork* work, BitInput in) {
    return DecodeTokens<false>(work, in);
}
uint32_t DecodeAscii(ExplodeWork* work, BitInput in) {
    return DecodeTokens<true>(work, in);
}
#if defined(__x86_64__) && defined(__GNUC__) && !defined(EXPLODE_SANITIZED)
#define EXPLODE_BMI2 1
[[gnu::target("bmi2")]] uint32_t DecodeBinaryBmi2(ExplodeWork* work, BitInput in) {
    return DecodeTokens<false>(work, in);
}
[[gnu::target("bmi2")]] uint32_t DecodeAsciiBmi2(ExplodeWork* work, BitInput in) {
    return DecodeTokens<true>(work, in);
}
#endif

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
    BuildDistanceLookup(work);
    BitInput in{work->input[2], 8, work->input + 3, work->input + delivered};
#ifdef EXPLODE_BMI2
    if (__builtin_cpu_supports("bmi2"))
        return work->literalMode ? DecodeAsciiBmi2(work, in) : DecodeBinaryBmi2(work, in);
#endif
    return work->literalMode ? DecodeAscii(work, in) : DecodeBinary(work, in);
}
