#include "Crc32.h"

#include "ArchiveBuilder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

TEST(Crc32, CheckValueOfTheNineDigitsWithoutFinalInversion) {
    const char* digits = "123456789";
    uint32_t crc = UpdateCrc32(reinterpret_cast<const uint8_t*>(digits), 9, 0xFFFFFFFF);
    EXPECT_EQ(crc, 0x340BC6D9u);
    EXPECT_EQ(~crc, 0xCBF43926u); // the standard check value
}

TEST(Crc32, NoBytesLeaveTheRegisterUnchanged) {
    EXPECT_EQ(UpdateCrc32(nullptr, 0, 0xFFFFFFFF), 0xFFFFFFFFu);
    uint8_t byte = 0x5A;
    EXPECT_EQ(UpdateCrc32(&byte, 0, 0x12345678), 0x12345678u);
}

TEST(Crc32, SplitBufferGivesTheSameRegister) {
    std::vector<uint8_t> data(1000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 131 + 7);
    uint32_t whole = UpdateCrc32(data.data(), uint32_t(data.size()), 0xFFFFFFFF);
    for (uint32_t split : {0u, 1u, 3u, 500u, 999u, 1000u}) {
        uint32_t crc = UpdateCrc32(data.data(), split, 0xFFFFFFFF);
        crc = UpdateCrc32(data.data() + split, uint32_t(data.size()) - split, crc);
        EXPECT_EQ(crc, whole) << split;
    }
    uint32_t byByte = 0xFFFFFFFF;
    for (uint8_t b : data) byByte = UpdateCrc32(&b, 1, byByte);
    EXPECT_EQ(byByte, whole);
}

} // namespace

namespace {

TEST(Crc32, FastLoopsAgreeWithOneBitAtATimeAtAnyLengthAlignmentAndSplit) {
    std::mt19937 random(20261210);
    std::vector<uint8_t> data(4096 + 16);
    for (uint8_t& b : data) b = uint8_t(random());
    for (int round = 0; round < 300; ++round) {
        // Short lengths around the 8-byte step as often as long ones.
        const size_t length = round % 2 ? random() % 4096 : random() % 24;
        const size_t offset = random() % 16;
        const size_t split = length == 0 ? 0 : random() % (length + 1);
        const uint32_t start = round % 3 ? uint32_t(random()) : 0xFFFFFFFFu;
        const uint8_t* p = data.data() + offset;
        const uint32_t expected = TestCrc(p, length, start);
        EXPECT_EQ(UpdateCrc32(p, uint32_t(length), start), expected)
            << "length " << length << " offset " << offset;
        const uint32_t first = UpdateCrc32(p, uint32_t(split), start);
        EXPECT_EQ(UpdateCrc32(p + split, uint32_t(length - split), first), expected)
            << "length " << length << " split " << split;
    }
}

} // namespace
