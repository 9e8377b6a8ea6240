// Builds bit streams by hand for tests: bits go out least significant first
// within each byte, so one commented line per field shows what a stream means:
//
//   BitWriter w;
//   w.byte(0);               // header: binary literals
//   w.byte(6);               // header: 4096-byte window
//   w.bits(1, 0);            // literal flag
//   w.bits(8, 'A');          // the literal
//   w.code("1");             // copy flag
//   w.code("0000000");       // length symbol 15
//   w.bits(8, 255);          // extra bits: the end marker
//   std::vector<uint8_t> stream = w.bytes();
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class BitWriter {
public:
    // A fixed-width field: count bits of value, its least significant bit first.
    BitWriter& bits(uint32_t count, uint32_t value) {
        for (uint32_t i = 0; i < count; ++i) put((value >> i) & 1);
        return *this;
    }

    // A prefix code written in stream order, e.g. "1011" puts 1, 0, 1, 1.
    BitWriter& code(const std::string& streamBits) {
        for (char c : streamBits) put(c == '1');
        return *this;
    }

    // A code held as an integer whose bit 0 is the first stream bit.
    BitWriter& codeBits(uint32_t count, uint32_t streamOrder) { return bits(count, streamOrder); }

    // A whole byte; the stream must be at a byte boundary.
    BitWriter& byte(uint8_t value) { return bits(8, value); }

    // Zero bits up to the next byte boundary.
    BitWriter& pad() {
        while (bitCount_ % 8 != 0) put(false);
        return *this;
    }

    uint64_t bitCount() const { return bitCount_; }

    // The stream so far, the last byte filled up with zero bits.
    std::vector<uint8_t> bytes() const { return bytes_; }

private:
    void put(bool bit) {
        if (bitCount_ % 8 == 0) bytes_.push_back(0);
        if (bit) bytes_.back() |= uint8_t(1u << (bitCount_ % 8));
        ++bitCount_;
    }

    std::vector<uint8_t> bytes_;
    uint64_t bitCount_ = 0;
};
