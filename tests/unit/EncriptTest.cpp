#include "Encript.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Body(size_t size) {
    Bytes body(size);
    for (size_t i = 0; i < size; ++i) body[i] = uint8_t(i * 29 + i / 256);
    return body;
}

// Descrambles `body` from the key's starting state in blocks of `block` bytes.
Bytes Descrambled(const std::string& key, Bytes body, size_t block) {
    SetScrambleKey(key);
    for (size_t at = 0; at < body.size(); at += block)
        DescrambleBlock(body.data() + at, int32_t(std::min(block, body.size() - at)));
    return body;
}

TEST(Encript, StreamIsTheTopByteOfEachGeneratorStep) {
    InitEncript();
    Bytes zeros(8, 0);
    SetScrambleKey("");
    DescrambleBlock(zeros.data(), 8);
    EXPECT_EQ(zeros, (Bytes{0x00, 0x08, 0xDC, 0x33, 0x45, 0xAB, 0x51, 0x29}));
}

TEST(Encript, StreamEqualsDrawsFromTheProgramGeneratorStartedAtTheKeyState) {
    SetGeneratorState(0x2468ACE0);
    SetScrambleKey("quorvath");
    uint32_t start = GetScrambleState();
    Bytes stream(1000, 0);
    DescrambleBlock(stream.data(), int32_t(stream.size()));

    SetGeneratorState(start);
    for (size_t i = 0; i < stream.size(); ++i) ASSERT_EQ(stream[i], DrawRandom(256)) << i;
}

TEST(Encript, KeyBytesAddAtEightTimesPositionModFour) {
    struct Case {
        std::string key;
        uint32_t state;
    };
    for (const Case& c : {Case{"", 0}, Case{"A", 0x4100}, Case{"ABCDE", 0x43428644},
                          Case{std::string(5, '\xFF'), 0xFEFF}, Case{"quorvath", 0xE3D6E7DA}}) {
        SetScrambleKey(c.key);
        EXPECT_EQ(GetScrambleState(), c.state) << c.key;
    }
}

TEST(Encript, KeyRulesThatGiveTheSameStartingState) {
    SetScrambleKey(std::string());
    uint32_t none = GetScrambleState();
    SetScrambleKey("");
    EXPECT_EQ(GetScrambleState(), none);

    // Only the length modulo 65536 counts.
    SetScrambleKey(std::string(65536, 'k'));
    EXPECT_EQ(GetScrambleState(), none);

    // Positions 1 and 5 (and 2 and 6) share a class: swapping within it changes nothing.
    SetScrambleKey("abcdefgh");
    uint32_t original = GetScrambleState();
    SetScrambleKey("efghabcd");
    EXPECT_EQ(GetScrambleState(), original);
    SetScrambleKey("bacdefgh");
    EXPECT_NE(GetScrambleState(), original);
}

TEST(Encript, BlockSizesDoNotChangeTheBytes) {
    Bytes body = Body(40000);
    Bytes whole = Descrambled("key", body, body.size());
    EXPECT_NE(whole, body);
    for (size_t block : {size_t(12596), size_t(1), size_t(7), size_t(8), size_t(9), size_t(4097)})
        EXPECT_EQ(Descrambled("key", body, block), whole) << block;
}

TEST(Encript, ScramblingTwiceGivesTheBytesBack) {
    Bytes body = Body(30001);
    EXPECT_EQ(Descrambled("k", Descrambled("k", body, 12596), 999), body);
}

TEST(Encript, SkippingTheStreamStartsItWhereDescramblingWouldBe) {
    const Bytes body = Body(70001);
    const Bytes whole = Descrambled("skip key", body, body.size());
    for (uint32_t from : {0u, 1u, 7u, 8u, 4097u, 65536u, 69999u, 70001u}) {
        Scrambler s;
        s.setKey("skip key");
        s.skip(from);
        Bytes tail(body.begin() + from, body.end());
        s.apply(tail.data(), int32_t(tail.size()));
        EXPECT_TRUE(std::equal(tail.begin(), tail.end(), whole.begin() + from)) << from;
    }
    // The generator's full period is 2^32 steps: 2^32 - 1 of them and one more
    // come back to the start.
    Scrambler s;
    s.state = 0x12345678;
    s.skip(0xFFFFFFFF);
    s.skip(1);
    EXPECT_EQ(s.state, 0x12345678u);
}

TEST(Encript, EmptyOrNegativeBlockChangesNothing) {
    SetScrambleKey("x");
    uint32_t state = GetScrambleState();
    uint8_t byte = 0x77;
    DescrambleBlock(&byte, 0);
    DescrambleBlock(&byte, -5);
    EXPECT_EQ(byte, 0x77);
    EXPECT_EQ(GetScrambleState(), state);
}

TEST(Encript, ProgramGeneratorIsLeftAsItWas) {
    SetGeneratorState(12345);
    uint32_t untouched = DrawRandom(1000);
    uint32_t untouchedNext = DrawRandom(0xFFFFFFFF);

    SetGeneratorState(12345);
    SetScrambleKey("abc");
    Bytes body = Body(5000);
    DescrambleBlock(body.data(), int32_t(body.size()));
    EXPECT_EQ(GetGeneratorState(), 12345u);
    EXPECT_EQ(DrawRandom(1000), untouched);
    EXPECT_EQ(DrawRandom(0xFFFFFFFF), untouchedNext);
}

TEST(Encript, DrawRandomScalesTheNewStateIntoTheRange) {
    SetGeneratorState(0);
    EXPECT_EQ(DrawRandom(256), 0u); // state 1
    EXPECT_EQ(GetGeneratorState(), 1u);
    EXPECT_EQ(DrawRandom(256), 0x08u); // state 0x08088406
    EXPECT_EQ(DrawRandom(1), 0u);
    SetGeneratorState(0xFFFFFFFF); // next state 0xF7F77BFC
    EXPECT_EQ(DrawRandom(0x10000), 0xF7F7u);
}

} // namespace
