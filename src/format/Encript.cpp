// The scrambling stream is the runtime's linear congruential generator
// (state := state * 134775813 + 1, byte = top 8 bits of the new state),
// started from a state derived from the key and carried from block to block.
#include "Encript.h"

#include <cstring>

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
#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (count >= kLanes) {
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
    // Square-and-multiply on the jump: bit k of count applies 2^k steps.
    Jump power{kMultiplier, kIncrement};
    for (; count != 0; count >>= 1) {
        if (count & 1) state = state * power.multiplier + power.increment;
        power = {power.multiplier * power.multiplier,
                 power.increment * power.multiplier + power.increment};
    }
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
