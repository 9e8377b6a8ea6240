#include "Explode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "BitWriter.h"
#include "Crc32.h"
#include "ExplodeTables.h"
#include "TestSupport.h"

namespace {

using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------------------
// Running Explode with recording callbacks.

struct Decoded {
    uint32_t result = 0;
    Bytes output;
    std::vector<uint32_t> writeSizes;
    uint32_t reads = 0;
    bool lastReadWasEmpty = false;
};

struct Feed {
    const Bytes* stream;
    size_t position = 0;
    size_t firstChunk;
    size_t chunk;
    uint32_t overstate = 0; // added to the first read's answer
    ExplodeWork* work;
    Decoded decoded;
};

uint32_t ReadFeed(uint8_t* buffer, uint32_t* size, void* param) {
    Feed& f = *static_cast<Feed*>(param);
    EXPECT_EQ(*size, 2048u);
    EXPECT_EQ(buffer, f.work->input) << "reads go to the work area's input buffer";
    EXPECT_FALSE(f.decoded.lastReadWasEmpty) << "read again after the input ended";
    size_t limit = f.decoded.reads == 0 ? f.firstChunk : f.chunk;
    size_t n = std::min({size_t(*size), limit, f.stream->size() - f.position});
    std::copy_n(f.stream->data() + f.position, n, buffer);
    f.position += n;
    *size = 12345; // must be ignored
    f.decoded.lastReadWasEmpty = n == 0;
    uint32_t answer = uint32_t(n) + (f.decoded.reads == 0 ? f.overstate : 0);
    ++f.decoded.reads;
    return answer;
}

void WriteFeed(uint8_t* buffer, uint32_t* size, void* param) {
    Feed& f = *static_cast<Feed*>(param);
    f.decoded.output.insert(f.decoded.output.end(), buffer, buffer + *size);
    f.decoded.writeSizes.push_back(*size);
    *size = 0; // must be ignored
}

// Decodes in a work area full of leftovers, as a reused one would be.
Decoded Decode(const Bytes& stream, size_t chunk = 2048, size_t firstChunk = 2048,
               uint32_t overstate = 0) {
    auto work = std::make_unique<ExplodeWork>();
    std::memset(work.get(), 0xA5, sizeof(ExplodeWork));
    Feed f{&stream, 0, firstChunk, chunk, overstate, work.get(), {}};
    f.decoded.result = Explode(ReadFeed, WriteFeed, work.get(), &f);
    return f.decoded;
}

// Every full write is 4096 bytes and the final one shorter.
void ExpectBlockedWrites(const Decoded& d) {
    ASSERT_FALSE(d.writeSizes.empty());
    for (size_t i = 0; i + 1 < d.writeSizes.size(); ++i) EXPECT_EQ(d.writeSizes[i], 4096u);
    EXPECT_LT(d.writeSizes.back(), 4096u);
}

// Whatever the read sizes (the first one big enough to hold the header and
// more), the decode is the same. Reads of 1 and 7 bytes never leave room for
// a 64-bit load; reads of 9 and 16 bytes move between the load and the end of
// the block all the time.
void ExpectSameForShortReads(const Bytes& stream, const Decoded& whole) {
    for (size_t chunk : {size_t(1), size_t(7), size_t(9), size_t(16)}) {
        Decoded d = Decode(stream, chunk, 5);
        EXPECT_EQ(d.result, whole.result) << "reads of " << chunk;
        EXPECT_EQ(d.output, whole.output) << "reads of " << chunk;
        EXPECT_EQ(d.writeSizes, whole.writeSizes) << "reads of " << chunk;
    }
}

// ---------------------------------------------------------------------------
// A small encoder for the tests, written from the code tables as published:
// the length codes in stream order, the distance and ASCII codes from their
// code lengths by the canonical rule (ordered by length then value, next code
// = (previous + 1) shifted by the growth in length, all bits inverted).

const char* const kLengthCodeText[16] = {"101",    "11",     "100",     "011",    "0101",  "0100",
                                         "0011",   "00101",  "00100",   "00011",  "00010", "000011",
                                         "000010", "000001", "0000001", "0000000"};
const uint32_t kLengthExtra[16] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};
const uint32_t kLengthBase[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 14, 22, 38, 70, 134, 262};

std::vector<std::string> CanonicalCodeText(const std::vector<int>& lengths) {
    std::vector<int> order(lengths.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = int(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return lengths[a] < lengths[b]; });
    std::vector<std::string> text(lengths.size());
    uint32_t code = 0;
    int previous = lengths[order[0]];
    for (size_t k = 0; k < order.size(); ++k) {
        int s = order[k];
        if (k > 0) code = (code + 1) << (lengths[s] - previous);
        previous = lengths[s];
        for (int bit = lengths[s] - 1; bit >= 0; --bit) text[s] += ((code >> bit) & 1) ? '0' : '1';
    }
    return text;
}

const std::vector<std::string>& DistanceCodeText() {
    static const std::vector<std::string> text = [] {
        std::vector<int> lengths(64);
        for (int s = 0; s < 64; ++s)
            lengths[s] = s == 0 ? 2 : s <= 2 ? 4 : s <= 6 ? 5 : s <= 21 ? 6 : s <= 47 ? 7 : 8;
        return CanonicalCodeText(lengths);
    }();
    return text;
}

const std::vector<std::string>& AsciiCodeText() {
    static const std::vector<std::string> text = [] {
        const auto& l = explode_tables::kAsciiCodeLengths;
        return CanonicalCodeText(std::vector<int>(l.begin(), l.end()));
    }();
    return text;
}

struct Encoder {
    bool ascii;
    uint32_t dictionaryBits;
    BitWriter w;

    Encoder(bool asciiMode, uint32_t dictBits) : ascii(asciiMode), dictionaryBits(dictBits) {
        w.byte(ascii ? 1 : 0);     // header: literal mode
        w.byte(uint8_t(dictBits)); // header: dictionary-size bits
    }
    void literal(uint8_t b) {
        w.bits(1, 0); // literal flag
        if (ascii)
            w.code(AsciiCodeText()[b]);
        else
            w.bits(8, b);
    }
    void copy(uint32_t length, uint32_t distance) {
        int s = 15;
        while (kLengthBase[s] + 2 > length) --s;
        w.bits(1, 1);                                         // copy flag
        w.code(kLengthCodeText[s]);                           // length symbol
        w.bits(kLengthExtra[s], length - 2 - kLengthBase[s]); // extra length bits
        uint32_t lowBits = length == 2 ? 2 : dictionaryBits;
        w.code(DistanceCodeText()[(distance - 1) >> lowBits]);   // distance symbol
        w.bits(lowBits, (distance - 1) & ((1u << lowBits) - 1)); // low distance bits
    }
    void end() {
        w.bits(1, 1);      // copy flag
        w.code("0000000"); // length symbol 15
        w.bits(8, 255);    // extra bits all ones: the end marker
    }
    Bytes bytes() const { return w.bytes(); }
};

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// ---------------------------------------------------------------------------

TEST(Explode, WorkAreaFitsWhatTheArchiveReaderSetsAside) {
    if (sizeof(void*) == 4) {
        EXPECT_EQ(sizeof(ExplodeWork), kExplodeWorkSize);
    }
    EXPECT_GE(sizeof(ExplodeWork), kExplodeWorkSize);
}

TEST(Explode, EndMarkerAloneGivesOkAndOneEmptyWrite) {
    for (uint8_t mode : {0, 1}) {
        BitWriter w;
        w.byte(mode);      // header: literal mode
        w.byte(4);         // header: 1024-byte window
        w.bits(1, 1);      // copy flag
        w.code("0000000"); // length symbol 15
        w.bits(8, 255);    // extra bits: end marker
        w.byte(0);         // one byte more, so the first read has 5
        Bytes stream = w.bytes();
        ASSERT_EQ(stream.size(), 5u);
        Decoded d = Decode(stream);
        EXPECT_EQ(d.result, ExplodeOk);
        EXPECT_EQ(d.writeSizes, std::vector<uint32_t>{0});
        EXPECT_FALSE(d.lastReadWasEmpty) << "the byte after the marker tops the bits up";
    }
}

TEST(Explode, HeaderPlusEndMarkerAloneIsBadDataWithoutWrite) {
    Bytes stream = {0x00, 0x06, 0x01, 0xFF}; // header, then 1 0000000 11111111
    Decoded d = Decode(stream);
    EXPECT_EQ(d.result, ExplodeBadData);
    EXPECT_TRUE(d.writeSizes.empty());
    EXPECT_EQ(d.reads, 1u);
}

TEST(Explode, BadHeaderBytesAreReportedDictionaryFirst) {
    struct Case {
        uint8_t mode, dict;
        uint32_t result;
    };
    for (Case c : {Case{0, 3, ExplodeBadDictSize}, Case{0, 7, ExplodeBadDictSize},
                   Case{2, 3, ExplodeBadDictSize}, Case{9, 7, ExplodeBadDictSize},
                   Case{0, 0, ExplodeBadDictSize}, Case{2, 6, ExplodeBadMode},
                   Case{255, 4, ExplodeBadMode}, Case{1, 5, ExplodeOk}}) {
        Bytes stream = {c.mode, c.dict, 0x01, 0xFF, 0x00};
        Decoded d = Decode(stream);
        EXPECT_EQ(d.result, c.result) << int(c.mode) << " " << int(c.dict);
        EXPECT_EQ(d.writeSizes.size(), c.result == ExplodeOk ? 1u : 0u);
    }
}

TEST(Explode, StreamEndingInTheEndMarkersByteIsComplete) {
    BitWriter w;
    w.byte(0);         // header: binary literals
    w.byte(6);         // header: 4096-byte window
    w.bits(1, 0);      // literal flag
    w.bits(8, 'Q');    // literal
    w.bits(1, 1);      // copy flag
    w.code("0000000"); // length symbol 15
    w.bits(8, 255);    // extra bits: end marker, ending in the last byte
    Bytes stream = w.bytes();
    ASSERT_EQ(stream.size(), 6u);
    Decoded d = Decode(stream);
    EXPECT_EQ(d.result, ExplodeOk);
    EXPECT_EQ(d.output, Text("Q"));
    EXPECT_TRUE(d.lastReadWasEmpty) << "topping up after the marker asks for one more byte";
    EXPECT_EQ(d.reads, 2u);
    ExpectSameForShortReads(stream, d);
}

TEST(Explode, CopyAtDistanceOneRepeatsThePreviousByte518Times) {
    BitWriter w;
    w.byte(0);         // header: binary literals
    w.byte(6);         // header: 4096-byte window
    w.bits(1, 0);      // literal flag
    w.bits(8, 'x');    // literal
    w.bits(1, 1);      // copy flag
    w.code("0000000"); // length symbol 15 (base 262)
    w.bits(8, 254);    // extra bits: 262 + 254 + 2 = 518
    w.code("11");      // distance symbol 0
    w.bits(6, 0);      // low distance bits: distance 1
    w.bits(1, 1);      // copy flag
    w.code("0000000"); // length symbol 15
    w.bits(8, 255);    // end marker
    Bytes stream = w.bytes();
    Decoded d = Decode(stream);
    EXPECT_EQ(d.result, ExplodeOk);
    EXPECT_EQ(d.output, Bytes(519, 'x'));
    EXPECT_EQ(d.writeSizes, std::vector<uint32_t>{519});
    ExpectSameForShortReads(stream, d);
}

TEST(Explode, CopyLongerThanDistanceRepeats) {
    BitWriter w;
    w.byte(0); // header: binary literals
    w.byte(4); // header: 1024-byte window
    for (char c : std::string("abcd")) {
        w.bits(1, 0);          // literal flag
        w.bits(8, uint8_t(c)); // literal
    }
    w.bits(1, 1);      // copy flag
    w.code("00011");   // length symbol 9 (base 10)
    w.bits(2, 0);      // extra bits: length 12
    w.code("11");      // distance symbol 0
    w.bits(4, 3);      // low distance bits: distance 4
    w.bits(1, 1);      // copy flag
    w.code("0000000"); // length symbol 15
    w.bits(8, 255);    // end marker
    Bytes stream = w.bytes();
    Decoded d = Decode(stream);
    EXPECT_EQ(d.result, ExplodeOk);
    EXPECT_EQ(d.output, Text("abcdabcdabcdabcd"));
    ExpectSameForShortReads(stream, d);
}

// Copies go in steps of 16 or 8 bytes where the distance allows, and byte by
// byte below 8: every way must repeat the last `distance` bytes as a byte-by-
// byte copy would, for the lengths around each step and the longest.
TEST(Explode, CopiesAtShortDistancesRepeatLikeByteCopies) {
    for (uint32_t distance : {1u, 2u, 7u, 8u, 9u, 15u, 16u, 17u, 31u, 32u, 33u}) {
        Encoder e(false, 6);
        Bytes expected;
        for (uint32_t i = 0; i < 40; ++i) {
            e.literal(uint8_t('a' + i % 26));
            expected.push_back(uint8_t('a' + i % 26));
        }
        for (uint32_t length : {2u, 3u, 8u, 9u, 16u, 17u, 23u, 24u, 25u, 32u, 33u, 518u}) {
            e.copy(length, distance);
            for (uint32_t i = 0; i < length; ++i)
                expected.push_back(expected[expected.size() - distance]);
        }
        e.end();
        Bytes stream = e.bytes();
        Decoded d = Decode(stream);
        EXPECT_EQ(d.result, ExplodeOk) << distance;
        EXPECT_EQ(d.output, expected) << distance;
        ExpectSameForShortReads(stream, d);
    }
}

// The decoder writes on past 8192 before the half goes out (the longest copy,
// a run of short copies): the blocks are still exactly 4096 bytes and the
// bytes written beyond the half come back as history.
TEST(Explode, CopiesRunningPastTheHalfArriveInWholeBlocks) {
    struct Case {
        uint32_t literals, length, distance, repeats;
    };
    for (Case c : {Case{8191, 518, 1, 1}, Case{8191, 518, 4096, 3}, Case{8150, 23, 23, 40},
                   Case{8185, 200, 100, 2}, Case{4000, 518, 17, 20}}) {
        Encoder e(false, 6);
        Bytes expected;
        for (uint32_t i = 0; i < c.literals; ++i) {
            e.literal(uint8_t(i * 13));
            expected.push_back(uint8_t(i * 13));
        }
        for (uint32_t r = 0; r < c.repeats; ++r) {
            e.copy(c.length, c.distance);
            for (uint32_t i = 0; i < c.length; ++i)
                expected.push_back(expected[expected.size() - c.distance]);
            e.literal('z');
            expected.push_back('z');
        }
        e.end();
        Bytes stream = e.bytes();
        Decoded d = Decode(stream);
        EXPECT_EQ(d.result, ExplodeOk) << c.literals << " " << c.length;
        EXPECT_EQ(d.output, expected) << c.literals << " " << c.length;
        ExpectBlockedWrites(d);
        ExpectSameForShortReads(stream, d);
    }
}

TEST(Explode, LengthTwoCopyReachesBack256WhateverTheDictionary) {
    for (uint8_t dict : {4, 5, 6}) {
        BitWriter w;
        w.byte(0);    // header: binary literals
        w.byte(dict); // header: dictionary-size bits
        Bytes expected;
        for (int b = 0; b < 256; ++b) {
            w.bits(1, 0);           // literal flag
            w.bits(8, uint32_t(b)); // literal
            expected.push_back(uint8_t(b));
        }
        w.bits(1, 1);       // copy flag
        w.code("101");      // length symbol 0: length 2
        w.code("00000000"); // distance symbol 63
        w.bits(2, 3);       // low distance bits (2 for length 2): distance 256
        w.bits(1, 1);       // copy flag
        w.code("0000000");  // length symbol 15
        w.bits(8, 255);     // end marker
        expected.push_back(0);
        expected.push_back(1);
        Decoded d = Decode(w.bytes());
        EXPECT_EQ(d.result, ExplodeOk) << int(dict);
        EXPECT_EQ(d.output, expected) << int(dict);
    }
}

TEST(Explode, Exactly8192BytesArriveAsTwoFullBlocksAndAnEmptyOne) {
    Encoder e(false, 6);
    Bytes expected;
    for (int i = 0; i < 8192; ++i) {
        e.literal(uint8_t(i * 7));
        expected.push_back(uint8_t(i * 7));
    }
    e.end();
    Decoded d = Decode(e.bytes());
    EXPECT_EQ(d.result, ExplodeOk);
    EXPECT_EQ(d.output, expected);
    EXPECT_EQ(d.writeSizes, (std::vector<uint32_t>{4096, 4096, 0}));
}

TEST(Explode, StreamCutInsideATokenAbortsAfterDeliveringWhatCameBefore) {
    BitWriter w;
    w.byte(0); // header: binary literals
    w.byte(6); // header: 4096-byte window
    for (char c : std::string("hello")) {
        w.bits(1, 0);          // literal flag
        w.bits(8, uint8_t(c)); // literal
    }
    w.bits(1, 1);             // copy flag
    w.code("0101");           // length symbol 4, then the stream stops
    Bytes stream = w.bytes(); // 45 + 5 bits: 7 bytes
    Decoded d = Decode(stream);
    EXPECT_EQ(d.result, ExplodeAbort);
    EXPECT_EQ(d.output, Text("hello"));
    EXPECT_EQ(d.writeSizes, std::vector<uint32_t>{5});
    EXPECT_TRUE(d.lastReadWasEmpty);
    ExpectSameForShortReads(stream, d);
}

TEST(Explode, TokenIsLostWhenFewerThanEightBitsFollowIt) {
    // 'A' and 'B' take 18 bits of 24: 'B' leaves only 6 bits in view, which the
    // format's decoder counts as running out.
    BitWriter w;
    w.byte(0);      // header: binary literals
    w.byte(6);      // header: 4096-byte window
    w.bits(1, 0);   // literal flag
    w.bits(8, 'A'); // literal
    w.bits(1, 0);   // literal flag
    w.bits(8, 'B'); // literal, then 6 zero bits of padding
    Bytes stream = w.bytes();
    ASSERT_EQ(stream.size(), 5u);
    Decoded d = Decode(stream);
    EXPECT_EQ(d.result, ExplodeAbort);
    EXPECT_EQ(d.output, Text("A"));
    ExpectSameForShortReads(stream, d);

    stream.push_back(0); // 8 more bits: 'B' counts, the zero bits make a third literal fail
    d = Decode(stream);
    EXPECT_EQ(d.result, ExplodeAbort);
    EXPECT_EQ(d.output, Text("AB"));
}

TEST(Explode, EveryCutOfAStreamAbortsWithAPrefixOfItsOutput) {
    Bytes stream = ReadFixture("dcl/text8193.ascii.1024.dcl");
    Bytes plain = ReadFixture("dcl/text8193.plain");
    size_t previous = 0;
    for (size_t size = 5; size < stream.size(); ++size) {
        Bytes cut(stream.begin(), stream.begin() + long(size));
        Decoded d = Decode(cut);
        ASSERT_EQ(d.result, ExplodeAbort) << size;
        ASSERT_LE(d.output.size(), plain.size());
        ASSERT_TRUE(std::equal(d.output.begin(), d.output.end(), plain.begin())) << size;
        ASSERT_GE(d.output.size(), previous) << size;
        previous = d.output.size();
        ExpectBlockedWrites(d);
    }
    EXPECT_GT(previous, plain.size() - 64);
}

TEST(Explode, ReferenceBeyondTheOutputFindsZerosNotLeftovers) {
    Encoder e(false, 6);
    e.copy(10, 100); // nothing has been written yet
    e.literal('z');
    e.end();
    Decoded d = Decode(e.bytes()); // the work area starts full of 0xA5
    EXPECT_EQ(d.result, ExplodeOk);
    Bytes expected(10, 0);
    expected.push_back('z');
    EXPECT_EQ(d.output, expected);
}

TEST(Explode, AsciiCodesOfThePublishedRowsDecode) {
    struct Row {
        const char* code;
        uint8_t byte;
    };
    for (Row r : {Row{"1111", 0x20}, Row{"11011", 0x65}, Row{"100011", 0x41}, Row{"0100011", 0x0A},
                  Row{"0100010", 0x0D}, Row{"00001001001", 0x00}, Row{"0000001001000", 0x80},
                  Row{"0000000000000", 0xFF}}) {
        BitWriter w;
        w.byte(1);         // header: ASCII literals
        w.byte(4);         // header: 1024-byte window
        w.bits(1, 0);      // literal flag
        w.code(r.code);    // literal code
        w.bits(1, 1);      // copy flag
        w.code("0000000"); // length symbol 15
        w.bits(8, 255);    // end marker
        Decoded d = Decode(w.bytes());
        EXPECT_EQ(d.result, ExplodeOk) << r.code;
        EXPECT_EQ(d.output, Bytes{r.byte}) << r.code;
    }
}

TEST(Explode, EveryAsciiLiteralDecodesToItsByte) {
    Encoder e(true, 5);
    Bytes expected;
    for (int b = 0; b < 256; ++b) {
        e.literal(uint8_t(b));
        expected.push_back(uint8_t(b));
    }
    e.end();
    Bytes stream = e.bytes();
    Decoded d = Decode(stream);
    EXPECT_EQ(d.result, ExplodeOk);
    EXPECT_EQ(d.output, expected);
    ExpectSameForShortReads(stream, d);
}

// Random literals and copies of every length and reachable distance, checked
// against a plain LZ77 expansion, in both modes and all window sizes.
TEST(Explode, RandomTokensMatchPlainExpansion) {
    std::mt19937 random(20261210);
    for (bool ascii : {false, true}) {
        for (uint32_t dict : {4u, 5u, 6u}) {
            Encoder e(ascii, dict);
            Bytes expected;
            uint32_t window = 64u << dict;
            for (int token = 0; token < 6000; ++token) {
                if (expected.empty() || random() % 3 == 0) {
                    uint8_t b = uint8_t(random() % 4 ? 'a' + random() % 26 : random());
                    e.literal(b);
                    expected.push_back(b);
                    continue;
                }
                uint32_t length = token % 5 == 0 ? 2 + random() % 517 : 2 + random() % 20;
                uint32_t reach = length == 2 ? 256 : window;
                uint32_t distance = 1 + random() % std::min<size_t>(reach, expected.size());
                e.copy(length, distance);
                for (uint32_t i = 0; i < length; ++i)
                    expected.push_back(expected[expected.size() - distance]);
            }
            e.end();
            Bytes stream = e.bytes();
            Decoded d = Decode(stream);
            EXPECT_EQ(d.result, ExplodeOk) << ascii << dict;
            EXPECT_EQ(d.output, expected) << ascii << dict;
            ExpectBlockedWrites(d);
            ExpectSameForShortReads(stream, d);
        }
    }
}

// Streams from an independent encoder, listed in MANIFEST.tsv with the
// standard CRC-32 of their plain bytes.
TEST(Explode, IndependentEncoderStreamsDecodeToTheirPlainFiles) {
    int streams = 0;
    for (const std::vector<std::string>& row : ReadFixtureManifest("dcl/MANIFEST.tsv")) {
        ASSERT_GE(row.size(), 6u);
        const std::string& name = row[0];
        const size_t plainSize = std::stoul(row[3]);
        const size_t packedSize = std::stoul(row[4]);
        const std::string& crcText = row[5];
        std::string file = name + "." + row[1] + "." + row[2] + ".dcl";
        SCOPED_TRACE(file);
        Bytes stream = ReadFixture("dcl/" + file);
        Bytes plain = ReadFixture("dcl/" + name + ".plain");
        ASSERT_EQ(stream.size(), packedSize);
        ASSERT_EQ(plain.size(), plainSize);
        ++streams;

        Decoded d = Decode(stream);
        if (plainSize == 0 && packedSize == 4) {
            // The compressed form of an empty file; the archive reader accepts it.
            EXPECT_EQ(d.result, ExplodeBadData);
            EXPECT_TRUE(d.writeSizes.empty());
            continue;
        }
        EXPECT_EQ(d.result, ExplodeOk);
        EXPECT_EQ(d.output, plain);
        uint32_t crc = ~UpdateCrc32(d.output.data(), uint32_t(d.output.size()), 0xFFFFFFFF);
        EXPECT_EQ(crc, std::stoul(crcText, nullptr, 16));
        ExpectBlockedWrites(d);
        EXPECT_EQ(d.writeSizes.size(), plainSize / 4096 + 1);
        EXPECT_EQ(d.reads, packedSize / 2048 + 2) << "one read per block, one that finds the end";
        ExpectSameForShortReads(stream, d);
    }
    EXPECT_GT(streams, 0);
}

TEST(Explode, ByteAfterTheEndMarkerSavesTheLastRead) {
    Bytes stream = ReadFixture("dcl/text8193.binary.4096.dcl");
    Bytes plain = ReadFixture("dcl/text8193.plain");
    stream.push_back(0);
    Decoded d = Decode(stream);
    EXPECT_EQ(d.result, ExplodeOk);
    EXPECT_EQ(d.output, plain);
    EXPECT_EQ(d.reads, 2u);
    EXPECT_FALSE(d.lastReadWasEmpty);
}

TEST(Explode, ReadAnswerAboveTheBufferSizeIsTakenAsAFullBuffer) {
    Bytes stream = ReadFixture("dcl/text8193.binary.4096.dcl");
    Bytes plain = ReadFixture("dcl/text8193.plain");
    Decoded d = Decode(stream, 2048, 2048, 100000);
    EXPECT_EQ(d.result, ExplodeOk);
    EXPECT_EQ(d.output, plain);
}

} // namespace
