// Scrambling stream of the archive body: a linear congruential generator
// seeded from a key; XOR, so the same call scrambles and descrambles.
#pragma once

#include <cstdint>
#include <string>

// One scrambling stream. The archive reader keeps one of its own; the unit's
// functions below work on the unit's stream.
struct Scrambler {
    uint32_t state = 0; // the generator state between blocks

    void setKey(const std::string& key);
    // XORs the next length bytes of the stream into buffer.
    void apply(uint8_t* buffer, int32_t length);
    // Moves the stream count bytes on without producing them, in about 32
    // steps: a reader can start descrambling in the middle of the body.
    void skip(uint32_t count);
};

void InitEncript();
void DoneEncript();

void SetScrambleKey(const std::string& key);
void DescrambleBlock(uint8_t* buffer, int32_t length);

// The program-wide generator, which the descrambler borrows and restores.
uint32_t DrawRandom(uint32_t range);

// For tests: the program-wide generator's state, and the stream's state.
uint32_t GetGeneratorState();
void SetGeneratorState(uint32_t state);
uint32_t GetScrambleState();
