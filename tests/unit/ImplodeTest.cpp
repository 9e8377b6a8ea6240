// The implode encoder: every stream it writes decodes through Explode to the
// very input, in both literal modes and all three dictionary sizes; copies
// stay inside the limits of their length; the parse takes the cheap copies.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Explode.h"
#include "ExplodeStream.h"
#include "Implode.h"
#include "TestSupport.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Decoded {
    uint32_t result;
    Bytes plain;
};

Decoded Decode(const Bytes& stream) {
    size_t at = 0;
    Decoded out{0, {}};
    out.result = ExplodeStream(
        [&](uint8_t* buffer, uint32_t capacity) {
            const size_t n = std::min<size_t>(capacity, stream.size() - at);
            std::copy(stream.begin() + ptrdiff_t(at), stream.begin() + ptrdiff_t(at + n), buffer);
            at += n;
            return uint32_t(n);
        },
        [&](const uint8_t* data, uint32_t size) {
            out.plain.insert(out.plain.end(), data, data + size);
        });
    if (IsEmptyStream(stream.data(), stream.size())) out.result = ExplodeOk;
    return out;
}

// Deterministic bytes: a small linear congruential generator.
Bytes Noise(size_t size, uint32_t seed) {
    Bytes out(size);
    for (uint8_t& b : out) {
        seed = seed * 1103515245u + 12345u;
        b = uint8_t(seed >> 16);
    }
    return out;
}

std::string ChoiceName(const ImplodeChoice& c) {
    return std::string(c.literals == ImplodeLiterals::Ascii ? "ascii" : "binary") + "/" +
           std::to_string(c.dictionarySize);
}

struct Case {
    const char* name;
    Bytes data;
};

std::vector<Case> RoundTripCases() {
    const Bytes text = ReadFixture("dcl/text8193.plain");
    std::vector<Case> cases;
    cases.push_back({"one byte", {'A'}});
    Bytes all(256);
    for (int i = 0; i < 256; ++i) all[size_t(i)] = uint8_t(i);
    cases.push_back({"every byte value", all});
    cases.push_back({"long run", Bytes(100000, 'a')});
    cases.push_back({"8191 bytes", Bytes(text.begin(), text.begin() + 8191)});
    cases.push_back({"8192 bytes", Bytes(text.begin(), text.begin() + 8192)});
    cases.push_back({"8193 bytes", text});
    // Runs of 518 and more at distance 1, and period-3 repeats in between.
    Bytes runs;
    for (int k = 0; k < 20; ++k) {
        runs.insert(runs.end(), size_t(517 + k), uint8_t(k));
        for (int j = 0; j < 700; ++j) runs.push_back(uint8_t("xyz"[j % 3]));
    }
    cases.push_back({"runs and repeats", runs});
    // A block repeated beyond every dictionary: only nearer copies are allowed.
    Bytes far = Noise(3000, 7);
    const Bytes again = far;
    far.insert(far.end(), again.begin(), again.end());
    cases.push_back({"repeat beyond the window", far});
    // Binary: noise with copies of its own pieces at every distance.
    Bytes binary = Noise(40000, 11);
    for (size_t i = 5000; i < binary.size(); i += 97) {
        const size_t distance = 1 + (i * 31) % 4500;
        for (size_t j = 0; j < 2 + i % 40 && i + j < binary.size(); ++j)
            binary[i + j] = binary[i + j - distance];
    }
    cases.push_back({"binary", binary});
    return cases;
}

} // namespace

TEST(Implode, EmptyInputIsTheHeaderAndTheEndMarker) {
    for (const ImplodeChoice& c : AllImplodeChoices()) {
        const uint8_t bits = c.dictionarySize == 1024 ? 4 : c.dictionarySize == 2048 ? 5 : 6;
        EXPECT_EQ(Implode(nullptr, 0, c), (Bytes{uint8_t(c.literals), bits, 0x01, 0xFF}))
            << ChoiceName(c);
    }
}

TEST(Implode, EveryStreamDecodesToItsInput) {
    for (const Case& test : RoundTripCases()) {
        for (const ImplodeChoice& c : AllImplodeChoices()) {
            const Bytes stream = Implode(test.data.data(), test.data.size(), c);
            ASSERT_EQ(stream[0], uint8_t(c.literals));
            const Decoded d = Decode(stream);
            EXPECT_EQ(d.result, uint32_t(ExplodeOk)) << test.name << " " << ChoiceName(c);
            EXPECT_TRUE(d.plain == test.data) << test.name << " " << ChoiceName(c);
        }
    }
}

TEST(Implode, MatchesRunningToTheEndOfShortInputsDecode) {
    // The last bytes of an input are too few for the wide loads of the match
    // finder; copies that end exactly at the input's end must still be found.
    for (const char* unit : {"a", "ab", "abc", "abcd", "abcdefg"}) {
        std::string text;
        for (size_t size = 1; size <= 40; ++size) {
            text.push_back(unit[(size - 1) % std::char_traits<char>::length(unit)]);
            const Bytes data(text.begin(), text.end());
            for (const ImplodeChoice& c : AllImplodeChoices()) {
                const Decoded d = Decode(Implode(data.data(), data.size(), c));
                EXPECT_EQ(d.result, uint32_t(ExplodeOk)) << unit << " " << size;
                EXPECT_TRUE(d.plain == data) << unit << " " << size << " " << ChoiceName(c);
            }
        }
    }
}

TEST(Implode, LengthTwoCopyReachesBack256) {
    // 0..255 then 0 1: one length-2 copy at distance 256 (14 bits) beats two
    // literals (18 bits): 256 x 9 + 14 + 16 end-marker bits = 292 bytes.
    Bytes data(256);
    for (int i = 0; i < 256; ++i) data[size_t(i)] = uint8_t(i);
    data.push_back(0);
    data.push_back(1);
    for (uint32_t dict : {1024u, 2048u, 4096u}) {
        const Bytes stream = Implode(data.data(), data.size(), {ImplodeLiterals::Binary, dict});
        EXPECT_EQ(stream.size(), 2u + 292u) << dict;
        EXPECT_TRUE(Decode(stream).plain == data) << dict;
    }
}

TEST(Implode, LongRunTakesFullLengthCopies) {
    // One literal, then three copies of 518 at distance 1 (1 + 7 + 8 + 2 + 6
    // bits each): 9 + 72 + 16 bits = 13 bytes after the header.
    const Bytes data(1 + 3 * 518, 'x');
    const Bytes stream = Implode(data.data(), data.size(), {ImplodeLiterals::Binary, 4096});
    EXPECT_EQ(stream.size(), 2u + 13u);
    EXPECT_TRUE(Decode(stream).plain == data);
}

TEST(Implode, IndependentStreamsDecodeAndReencodeNoLonger) {
    int streams = 0;
    for (const std::vector<std::string>& row : ReadFixtureManifest("dcl/MANIFEST.tsv")) {
        ASSERT_GE(row.size(), 3u);
        const std::string& name = row[0];
        const std::string& mode = row[1];
        const uint32_t dict = uint32_t(std::stoul(row[2]));
        const Bytes theirs =
            ReadFixture("dcl/" + name + "." + mode + "." + std::to_string(dict) + ".dcl");
        const Bytes plain = ReadFixture("dcl/" + name + ".plain");
        EXPECT_TRUE(Decode(theirs).plain == plain) << name << " " << mode << " " << dict;
        const ImplodeChoice c{mode == "ascii" ? ImplodeLiterals::Ascii : ImplodeLiterals::Binary,
                              dict};
        const Bytes ours = Implode(plain.data(), plain.size(), c);
        const Decoded d = Decode(ours);
        EXPECT_EQ(d.result, uint32_t(ExplodeOk)) << name << " " << ChoiceName(c);
        EXPECT_TRUE(d.plain == plain) << name << " " << ChoiceName(c);
        EXPECT_LE(ours.size(), theirs.size()) << name << " " << ChoiceName(c);
        ++streams;
    }
    EXPECT_GT(streams, 0);
}

TEST(Implode, SmallestTakesTheShortestCandidate) {
    const Bytes text = ReadFixture("dcl/text8192.plain");
    ImplodeChoice chosen;
    const Bytes best = ImplodeSmallest(text.data(), text.size(), AllImplodeChoices(), &chosen);
    for (const ImplodeChoice& c : AllImplodeChoices())
        EXPECT_LE(best.size(), Implode(text.data(), text.size(), c).size()) << ChoiceName(c);
    EXPECT_EQ(chosen.literals, ImplodeLiterals::Ascii); // the text code wins on English
    EXPECT_TRUE(Decode(best).plain == text);
    // Restricted to one candidate, that one is taken.
    const std::vector<ImplodeChoice> only{{ImplodeLiterals::Binary, 1024}};
    EXPECT_EQ(ImplodeSmallest(text.data(), text.size(), only, &chosen),
              Implode(text.data(), text.size(), only[0]));
    EXPECT_EQ(chosen.dictionarySize, 1024u);
}

TEST(Implode, StreamedInPiecesGivesTheWholeBufferStream) {
    // Segments are parsed once the bytes just past their end are known; the
    // window slides after some 68 KiB. Lengths around a segment (16 KiB) and
    // its 8-byte lookahead, and pieces that split them every which way.
    const Bytes text = ReadFixture("dcl/text8193.plain");
    Bytes mixed;
    while (mixed.size() < 200000) {
        mixed.insert(mixed.end(), text.begin(), text.end());
        const Bytes noise = Noise(5000 + mixed.size() % 3000, uint32_t(mixed.size()));
        mixed.insert(mixed.end(), noise.begin(), noise.end());
        mixed.insert(mixed.end(), 700, 'z');
    }
    const std::vector<size_t> lengths{0,     1,     16383, 16384,  16391,
                                      16392, 16393, 32776, 100000, mixed.size()};
    const std::vector<size_t> pieces{1, 5, 4096, 16392, 70000};
    for (const ImplodeChoice& c : {ImplodeChoice{ImplodeLiterals::Binary, 4096},
                                   ImplodeChoice{ImplodeLiterals::Ascii, 1024}}) {
        for (const size_t length : lengths) {
            const Bytes whole = Implode(mixed.data(), length, c);
            for (const size_t piece : pieces) {
                if (piece == 1 && length > 40000) continue; // slow, and nothing new
                Bytes streamed;
                ImplodeEncoder encoder(c, [&](const uint8_t* data, size_t size) {
                    streamed.insert(streamed.end(), data, data + size);
                });
                for (size_t at = 0; at < length; at += piece)
                    encoder.write(mixed.data() + at, std::min(piece, length - at));
                encoder.finish();
                encoder.finish(); // a second finish adds nothing
                EXPECT_EQ(encoder.consumed(), length);
                EXPECT_TRUE(streamed == whole)
                    << ChoiceName(c) << " length " << length << " in pieces of " << piece;
            }
        }
    }
}
