#include "Crc32.h"

#include <gtest/gtest.h>

#include <cstring>
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
