// The scrambling stream is the runtime's linear congruential generator
// (state := state * 134775813 + 1, byte = top 8 bits of the new state),
// started from a state derived from the key and carried from block to block.
#include "Encript.h"

#include <cstring>
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define ENCRIPT_AVX2 1
#endif

namespace {

constexpr uint32_t kMultiplier = 134775813; // 0x08088405
constexpr uint32_t kIncrement = 1;

Scrambler unitStream;        // the stream of SetScrambleKey and DescrambleBlock
uint32_t generatorState = 0; // the program-wide generator that DrawRandom advances

inline uint32_t Step(uint32_t state) {
    return state * kMultiplier + kIncrement;
}

// n steps at once: state(k + n) = multiplier^n * state(k) + increment_n.
struct Jump {
    uint32_t multiplier;
    uint32_t increment;
};
constexpr Jump JumpOf(uint32_t n) {
    Jump j{1, 0};
    for (uint32_t i = 0; i < n; ++i)
        j = {j.multiplier * kMultiplier, j.increment * kMultiplier + kIncrement};
    return j;
}

constexpr uint32_t kLanes = 8;
constexpr Jump kLaneJump = JumpOf(kLanes);

// The state k steps after `state`: square-and-multiply on the jump, bit j of
// k applying 2^j steps.
uint32_t Advance(uint32_t state, uint32_t k) {
    Jump power{kMultiplier, kIncrement};
    for (; k != 0; k >>= 1) {
        if (k & 1) state = state * power.multiplier + power.increment;
        power = {power.multiplier * power.multiplier,
                 power.increment * power.multiplier + power.increment};
    }
    return state;
}

#ifdef ENCRIPT_AVX2
// On x86-64 hosts with AVX2: 32 lanes in four vectors, each lane 32 steps on
// per round, so that the key bytes of 32 body bytes take a few vector
// instructions (a tenth of the instructions of the eight-lane loop below).
// Lanes 0-3 and 4-7 of vector v hold the bytes 4v to 4v + 3 and 16 + 4v to
// 19 + 4v of the round: the two packs that gather the top bytes then leave
// them in order. Answers how many bytes it did (a multiple of 32).
constexpr Jump kRoundJump = JumpOf(32);

[[gnu::target("avx2")]] uint32_t ApplyAvx2(uint8_t* buffer, uint32_t count, uint32_t state) {
    alignas(32) uint32_t lanes[32];
    uint32_t s = state;
    for (uint32_t k = 0; k < 32; ++k) {
        s = Step(s);
        const uint32_t v = k % 16 / 4, lane = k % 4 + (k >= 16 ? 4 : 0);
        lanes[v * 8 + lane] = s;
    }
    __m256i v0 = _mm256_load_si256(reinterpret_cast<const __m256i*>(lanes));
    __m256i v1 = _mm256_load_si256(reinterpret_cast<const __m256i*>(lanes + 8));
    __m256i v2 = _mm256_load_si256(reinterpret_cast<const __m256i*>(lanes + 16));
    __m256i v3 = _mm256_load_si256(reinterpret_cast<const __m256i*>(lanes + 24));
    const __m256i multiplier = _mm256_set1_epi32(int32_t(kRoundJump.multiplier));
    const __m256i increment = _mm256_set1_epi32(int32_t(kRoundJump.increment));
    uint32_t done = 0;
    for (; count - done >= 32; done += 32) {
        const __m256i low =
            _mm256_packus_epi32(_mm256_srli_epi32(v0, 24), _mm256_srli_epi32(v1, 24));
        const __m256i high =
            _mm256_packus_epi32(_mm256_srli_epi32(v2, 24), _mm256_srli_epi32(v3, 24));
        __m256i* at = reinterpret_cast<__m256i*>(buffer + done);
        _mm256_storeu_si256(
            at, _mm256_xor_si256(_mm256_loadu_si256(at), _mm256_packus_epi16(low, high)));
        v0 = _mm256_add_epi32(_mm256_mullo_epi32(v0, multiplier), increment);
        v1 = _mm256_add_epi32(_mm256_mullo_epi32(v1, multiplier), increment);
        v2 = _mm256_add_epi32(_mm256_mullo_epi32(v2, multiplier), increment);
        v3 = _mm256_add_epi32(_mm256_mullo_epi32(v3, multiplier), increment);
    }
    return done;
}
#endif

} // namespace

void InitEncript() {
    unitStream.state = 0;
}

void DoneEncript() {}

void SetScrambleKey(const std::string& key) {
    unitStream.setKey(key);
}

void DescrambleBlock(uint8_t* buffer, int32_t length) {
    unitStream.apply(buffer, length);
}

void Scrambler::setKey(const std::string& key) {
    // The length is a 16-bit count; byte i (from 1) lands at bit 8 * (i mod 4).
    uint32_t n = uint32_t(key.size() % 65536);
    uint32_t sum = 0;
    for (uint32_t i = 1; i <= n; ++i) sum += uint32_t(uint8_t(key[i - 1])) << (8 * (i % 4));
    state = sum;
}

// Byte k of the block is XORed with the top byte of the (k+1)-th state after
// `state`. Eight lanes each advance eight steps at a time, so their
// multiplications do not wait on one another, and their key bytes are XORed
// in four at a time; the program-wide generator is never touched,
// which is what saving and restoring it would leave.
void Scrambler::apply(uint8_t* buffer, int32_t length) {
    if (length <= 0) return;
    // A local copy: stores through buffer could otherwise alias the member.
    uint32_t at = state;
    const uint32_t count = uint32_t(length);
    uint32_t i = 0;
#ifdef ENCRIPT_AVX2
    if (count >= 64 && __builtin_cpu_supports("avx2")) {
        i = ApplyAvx2(buffer, count, at);
        at = Advance(at, i);
    }
#endif
#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (count - i >= kLanes) {
        // Two groups of four lanes; a group's top bytes make one 32-bit key.
        uint32_t a0 = Step(at), a1 = Step(a0), a2 = Step(a1), a3 = Step(a2);
        uint32_t b0 = Step(a3), b1 = Step(b0), b2 = Step(b1), b3 = Step(b2);
        const auto keyOf = [](uint32_t l0, uint32_t l1, uint32_t l2, uint32_t l3) {
            return l0 >> 24 | (l1 >> 16 & 0xFF00) | (l2 >> 8 & 0xFF0000) | (l3 & 0xFF000000);
        };
        const auto xorKey = [](uint8_t* p, uint32_t key) {
            uint32_t data;
            std::memcpy(&data, p, sizeof data);
            data ^= key;
            std::memcpy(p, &data, sizeof data);
        };
        const auto advance = [](uint32_t& l) {
            l = l * kLaneJump.multiplier + kLaneJump.increment;
        };
        for (;;) {
            xorKey(buffer + i, keyOf(a0, a1, a2, a3));
            xorKey(buffer + i + 4, keyOf(b0, b1, b2, b3));
            i += kLanes;
            at = b3;
            if (count - i < kLanes) break;
            advance(a0), advance(a1), advance(a2), advance(a3);
            advance(b0), advance(b1), advance(b2), advance(b3);
        }
    }
#endif
    for (; i < count; ++i) {
        at = Step(at);
        buffer[i] ^= uint8_t(at >> 24);
    }
    state = at;
}

void Scrambler::skip(uint32_t count) {
    state = Advance(state, count);
}

uint32_t DrawRandom(uint32_t range) {
    generatorState = Step(generatorState);
    return uint32_t((uint64_t(generatorState) * range) >> 32);
}

uint32_t GetGeneratorState() {
    return generatorState;
}
void SetGeneratorState(uint32_t state) {
    generatorState = state;
}
uint32_t GetScrambleState() {
    return unitStream.state;
}
