// Implode encoder: hash-chain match finder and a minimum-bit parse.
//
// The prefix codes are fixed by the format, so the exact bit cost of every
// literal and every copy is known before anything is written. The parse is
// therefore a shortest path over the input: price[j] is the fewest bits that
// encode the first j bytes of a segment, relaxed forward by one literal and
// by every copy length the match finder offers at j.
#include "Implode.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace {

constexpr uint32_t kMinCopy = 2;
constexpr uint32_t kMaxCopy = 518;
constexpr uint32_t kMaxShortDistance = 256; // length-2 copies carry only 2 low distance bits

// Length symbols 0..15: code length, extra bits and base (length = base + extra + 2).
constexpr uint8_t kLengthCodeBits[16] = {3, 2, 3, 3, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 7, 7};
constexpr uint8_t kLengthExtraBits[16] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};
constexpr uint16_t kLengthBase[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 14, 22, 38, 70, 134, 262};

// Distance symbols 0..63 (the high part of distance - 1).
constexpr uint8_t kDistanceCodeBits[64] = {
    2, 4, 4, 5, 5, 5, 5, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, //  0..21
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, // 22..43
    7, 7, 7, 7, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8,       // 44..63
};

// The fixed text code of ASCII mode, by byte value.
constexpr uint8_t kAsciiCodeBits[256] = {
    11, 12, 12, 12, 12, 12, 12, 12, 12, 8,  7,  12, 12, 7,  12, 12, // 0x00
    12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 13, 12, 12, 12, 12, 12, // 0x10
    4,  10, 8,  12, 10, 12, 10, 8,  7,  7,  8,  9,  7,  6,  7,  8,  // 0x20
    7,  6,  7,  7,  7,  7,  8,  7,  7,  8,  8,  12, 11, 7,  9,  11, // 0x30
    12, 6,  7,  6,  6,  5,  7,  8,  8,  6,  11, 9,  6,  7,  6,  6,  // 0x40
    7,  11, 6,  6,  6,  7,  9,  8,  9,  9,  11, 8,  11, 9,  12, 8,  // 0x50
    12, 5,  6,  6,  6,  5,  6,  6,  6,  5,  11, 7,  5,  6,  5,  5,  // 0x60
    6,  10, 5,  5,  5,  5,  8,  7,  8,  8,  10, 11, 11, 12, 12, 12, // 0x70
    13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, // 0x80
    13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, // 0x90
    13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, // 0xA0
    12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, // 0xB0
    12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, // 0xC0
    12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, // 0xD0
    13, 12, 13, 13, 13, 12, 13, 13, 13, 12, 13, 13, 13, 13, 12, 13, // 0xE0
    13, 13, 12, 12, 12, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, // 0xF0
};

// Codes as integers whose bit 0 is the first stream bit. The format's rule:
// canonical codes in order of (length, symbol), every bit inverted, sent
// most significant bit first.
template <size_t N> struct Codes { std::array<uint16_t, N> value{}; };

template <size_t N> constexpr Codes<N> CanonicalCodes(const uint8_t (&bits)[N]) {
    Codes<N> out{};
    uint32_t code = 0;
    uint32_t previousLength = 0;
    for (uint32_t length = 1; length <= 16; ++length) {
        for (size_t symbol = 0; symbol < N; ++symbol) {
            if (bits[symbol] != length) continue;
            if (previousLength != 0) code = (code + 1) << (length - previousLength);
            previousLength = length;
            const uint32_t inverted = ~code & ((1u << length) - 1);
            uint32_t streamOrder = 0;
            for (uint32_t b = 0; b < length; ++b)
                if (inverted >> (length - 1 - b) & 1) streamOrder |= 1u << b;
            out.value[symbol] = uint16_t(streamOrder);
        }
    }
    return out;
}

// Sum of 2^-length, scaled by 2^16: a complete prefix code gives exactly 65536.
template <size_t N> constexpr uint32_t KraftSum(const uint8_t (&bits)[N]) {
    uint32_t sum = 0;
    for (size_t i = 0; i < N; ++i) sum += 1u << (16 - bits[i]);
    return sum;
}

constexpr Codes<16> kLengthCodes = CanonicalCodes(kLengthCodeBits);
constexpr Codes<64> kDistanceCodes = CanonicalCodes(kDistanceCodeBits);
constexpr Codes<256> kAsciiCodes = CanonicalCodes(kAsciiCodeBits);

static_assert(KraftSum(kLengthCodeBits) == 65536 && KraftSum(kDistanceCodeBits) == 65536 &&
                  KraftSum(kAsciiCodeBits) == 65536,
              "a code table does not fill its code space");
// The format's sample rows (stream order, first bit in bit 0).
static_assert(kLengthCodes.value[0] == 0b101 && kLengthCodes.value[1] == 0b11 &&
              kLengthCodes.value[15] == 0);
static_assert(kDistanceCodes.value[0] == 0b11 && kDistanceCodes.value[1] == 0b1101 &&
              kDistanceCodes.value[7] == 0b111110 && kDistanceCodes.value[22] == 0b1000010 &&
              kDistanceCodes.value[63] == 0);
static_assert(kAsciiCodes.value[' '] == 0b1111 && kAsciiCodes.value['e'] == 0b11011 &&
              kAsciiCodes.value['A'] == 0b110001 && kAsciiCodes.value['\n'] == 0b1100010 &&
              kAsciiCodes.value['\r'] == 0b0100010 && kAsciiCodes.value[0x00] == 0b10010010000 &&
              kAsciiCodes.value[0x80] == 0b0001001000000 && kAsciiCodes.value[0xFF] == 0);

// LSB-first bit output; fields are little-endian, codes go in stream order.
struct BitWriter {
    std::vector<uint8_t>& out;
    uint64_t pending = 0;
    uint32_t count = 0;

    void put(uint32_t value, uint32_t bits) {
        pending |= uint64_t(value) << count;
        count += bits;
        while (count >= 8) {
            out.push_back(uint8_t(pending));
            pending >>= 8;
            count -= 8;
        }
    }
    void finish() {
        if (count > 0) out.push_back(uint8_t(pending));
        pending = 0;
        count = 0;
    }
};

// Bit costs and symbol lookups for one literal mode and dictionary size.
struct CostModel {
    uint32_t dictionaryBits = 6; // low distance bits of copies longer than 2
    uint32_t dictionarySize = 4096;
    bool ascii = false;
    std::array<uint8_t, 256> literal{};         // flag + literal code
    std::array<uint8_t, kMaxCopy + 1> length{}; // flag + length code + extra bits
    std::array<uint8_t, kMaxCopy + 1> lengthSymbol{};
    std::array<uint8_t, kMaxShortDistance + 1> shortDistance{}; // length-2 copies
    std::array<uint8_t, 4096 + 1> distance{};                   // longer copies
};

CostModel MakeCostModel(ImplodeChoice choice) {
    CostModel m;
    m.dictionarySize = choice.dictionarySize;
    m.dictionaryBits = choice.dictionarySize == 1024 ? 4 : choice.dictionarySize == 2048 ? 5 : 6;
    m.ascii = choice.literals == ImplodeLiterals::Ascii;
    for (uint32_t b = 0; b < 256; ++b)
        m.literal[b] = uint8_t(1 + (m.ascii ? kAsciiCodeBits[b] : 8));
    for (uint32_t symbol = 0; symbol < 16; ++symbol) {
        const uint32_t first = kLengthBase[symbol] + kMinCopy;
        const uint32_t last = std::min(kMaxCopy, first + (1u << kLengthExtraBits[symbol]) - 1);
        for (uint32_t len = first; len <= last; ++len) {
            m.lengthSymbol[len] = uint8_t(symbol);
            m.length[len] = uint8_t(1 + kLengthCodeBits[symbol] + kLengthExtraBits[symbol]);
        }
    }
    for (uint32_t d = 1; d <= kMaxShortDistance; ++d)
        m.shortDistance[d] = uint8_t(kDistanceCodeBits[(d - 1) >> 2] + 2);
    for (uint32_t d = 1; d <= m.dictionarySize; ++d)
        m.distance[d] = uint8_t(kDistanceCodeBits[(d - 1) >> m.dictionaryBits] + m.dictionaryBits);
    return m;
}

void PutLiteral(BitWriter& w, const CostModel& m, uint8_t byte) {
    w.put(0, 1);
    if (m.ascii)
        w.put(kAsciiCodes.value[byte], kAsciiCodeBits[byte]);
    else
        w.put(byte, 8);
}

void PutCopy(BitWriter& w, const CostModel& m, uint32_t length, uint32_t distance) {
    const uint32_t symbol = m.lengthSymbol[length];
    w.put(1, 1);
    w.put(kLengthCodes.value[symbol], kLengthCodeBits[symbol]);
    if (kLengthExtraBits[symbol] != 0)
        w.put(length - kMinCopy - kLengthBase[symbol], kLengthExtraBits[symbol]);
    const uint32_t lowBits = length == 2 ? 2 : m.dictionaryBits;
    const uint32_t high = (distance - 1) >> lowBits;
    w.put(kDistanceCodes.value[high], kDistanceCodeBits[high]);
    w.put((distance - 1) & ((1u << lowBits) - 1), lowBits);
}

// Length symbol 15 with all 8 extra bits set, and no distance.
void PutEndMarker(BitWriter& w) {
    w.put(1, 1);
    w.put(kLengthCodes.value[15], kLengthCodeBits[15]);
    w.put(0xFF, 8);
}

// Match finder tuning: chain steps per position, and the length at which a
// match is taken without looking further (the parse then skips over it).
constexpr uint32_t kChainDepth = 16;
constexpr uint32_t kNiceLength = 200;
constexpr uint32_t kHashBits = 14;
constexpr uint32_t kChainSize = 8192; // more than the largest window
constexpr uint32_t kSegment = 1u << 14;

struct Match {
    uint32_t length;
    uint32_t distance;
};

struct Step {
    uint16_t length; // 1 for a literal
    uint16_t distance;
};

// Finds, for one position, the nearest earlier occurrence of each match
// length: lengths 2 and 3 from tables of the last occurrence, longer ones
// from hash chains over 4 bytes (a chain over fewer bytes would fill its
// steps with candidates too short to matter).
class MatchFinder {
public:
    MatchFinder(const uint8_t* data, size_t size, uint32_t window)
        : data_(data), size_(size), window_(window), head_(1u << kHashBits, 0),
          chain_(kChainSize, 0), lastTriple_(1u << kHashBits, 0), lastPair_(1u << 16, 0) {}

    // Matches of length 3 or more at position i, each longer than the one
    // before and at the nearest distance found for its length. maxLength
    // bounds them (the end of the segment).
    uint32_t findLong(size_t i, uint32_t maxLength, Match* out) const {
        if (maxLength < 3 || i + 3 > size_) return 0;
        const uint8_t* here = data_ + i;
        uint32_t best = 2;
        uint32_t found = 0;
        if (const uint32_t previous = lastTriple_[Hash3(here)]) {
            const size_t q = previous - 1;
            const uint8_t* there = data_ + q;
            if (i - q <= window_ && there[0] == here[0] && there[1] == here[1] &&
                there[2] == here[2]) {
                best = CommonLength(there, here, maxLength);
                out[found++] = {best, uint32_t(i - q)};
                if (best >= kNiceLength || best == maxLength) return found;
            }
        }
        if (maxLength < 4 || i + 4 > size_) return found;
        const uint32_t first4 = Load32(here);
        uint32_t candidate = head_[Hash4(here)];
        for (uint32_t depth = kChainDepth; candidate != 0 && depth != 0; --depth) {
            const size_t q = candidate - 1;
            const size_t distance = i - q;
            if (distance > window_) break;
            const uint8_t* there = data_ + q;
            if (there[best] == here[best] && Load32(there) == first4) {
                const uint32_t length = CommonLength(there, here, maxLength);
                if (length > best) {
                    best = length;
                    out[found++] = {length, uint32_t(distance)};
                    if (length >= kNiceLength || length == maxLength) break;
                }
            }
            candidate = chain_[q & (kChainSize - 1)];
        }
        return found;
    }

    // Distance of the nearest earlier occurrence of the two bytes at i, or 0.
    uint32_t findPair(size_t i) const {
        if (i + 2 > size_) return 0;
        // Only the low 16 bits of the position are kept (a table that stays in
        // cache); the bytes are compared, so an aged entry can't pose as a match.
        const uint32_t distance = uint16_t(uint32_t(i) - lastPair_[Pair(data_ + i)]);
        if (distance == 0 || distance > kMaxShortDistance || distance > i) return 0;
        const uint8_t* there = data_ + i - distance;
        return there[0] == data_[i] && there[1] == data_[i + 1] ? distance : 0;
    }

    void insert(size_t i) {
        if (i + 2 > size_) return;
        const uint32_t stored = uint32_t(i + 1);
        lastPair_[Pair(data_ + i)] = uint16_t(i);
        if (i + 3 > size_) return;
        lastTriple_[Hash3(data_ + i)] = stored;
        if (i + 4 > size_) return;
        uint32_t& head = head_[Hash4(data_ + i)];
        chain_[i & (kChainSize - 1)] = head;
        head = stored;
    }

private:
    static uint32_t Load32(const uint8_t* p) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
    static uint32_t Pair(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }
    static uint32_t Hash3(const uint8_t* p) {
        const uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
        return (v * 2654435761u) >> (32 - kHashBits);
    }
    static uint32_t Hash4(const uint8_t* p) {
        return (Load32(p) * 2654435761u) >> (32 - kHashBits);
    }
    static uint32_t CommonLength(const uint8_t* a, const uint8_t* b, uint32_t limit) {
        uint32_t n = 0;
        while (n + 8 <= limit) {
            uint64_t x, y;
            std::memcpy(&x, a + n, 8);
            std::memcpy(&y, b + n, 8);
            if (x != y) return n + uint32_t(__builtin_ctzll(x ^ y)) / 8; // little-endian hosts
            n += 8;
        }
        while (n < limit && a[n] == b[n]) ++n;
        return n;
    }

    const uint8_t* data_;
    size_t size_;
    uint32_t window_;
    // Positions are stored plus one, so 0 means none.
    std::vector<uint32_t> head_;
    std::vector<uint32_t> chain_;
    std::vector<uint32_t> lastTriple_;
    std::vector<uint16_t> lastPair_; // low 16 bits of the last position of each pair
};

// Fewest-bit parse of data[start, end) into steps, in input order.
void ParseSegment(MatchFinder& finder, const CostModel& m, const uint8_t* data, size_t start,
                  size_t end, std::vector<uint32_t>& price, std::vector<Step>& arrival,
                  std::vector<Step>& steps) {
    constexpr uint32_t kUnreached = std::numeric_limits<uint32_t>::max();
    const uint32_t span = uint32_t(end - start);
    std::fill(price.begin(), price.begin() + span + 1, kUnreached);
    price[0] = 0;
    Match matches[kMaxCopy];

    auto relax = [&](uint32_t to, uint32_t cost, uint32_t length, uint32_t distance) {
        if (cost < price[to]) {
            price[to] = cost;
            arrival[to] = {uint16_t(length), uint16_t(distance)};
        }
    };

    uint32_t j = 0;
    while (j < span) {
        const size_t i = start + j;
        const uint32_t here = price[j];
        relax(j + 1, here + m.literal[data[i]], 1, 0);

        const uint32_t room = std::min(kMaxCopy, span - j);
        if (room >= 2) {
            if (const uint32_t d = finder.findPair(i))
                relax(j + 2, here + m.length[2] + m.shortDistance[d], 2, d);
        }
        const uint32_t found = finder.findLong(i, room, matches);
        uint32_t length = 3;
        for (uint32_t k = 0; k < found; ++k) {
            const uint32_t distanceCost = m.distance[matches[k].distance];
            for (; length <= matches[k].length; ++length)
                relax(j + length, here + m.length[length] + distanceCost, length,
                      matches[k].distance);
        }
        finder.insert(i);

        // A long match is taken as it stands: the positions it covers are
        // only indexed, which keeps long runs linear.
        const uint32_t longest = found ? matches[found - 1].length : 0;
        if (longest >= kNiceLength) {
            for (uint32_t k = 1; k < longest; ++k) finder.insert(i + k);
            j += longest;
        } else {
            ++j;
        }
    }

    const size_t first = steps.size();
    for (uint32_t at = span; at > 0; at -= arrival[at].length) steps.push_back(arrival[at]);
    std::reverse(steps.begin() + first, steps.end());
}

} // namespace

bool IsImplodeDictionarySize(uint32_t size) {
    return size == 1024 || size == 2048 || size == 4096;
}

std::vector<uint8_t> Implode(const uint8_t* data, size_t size, ImplodeChoice choice,
                             const ImplodeProgress& progress) {
    if (!IsImplodeDictionarySize(choice.dictionarySize)) choice.dictionarySize = 4096;
    const CostModel m = MakeCostModel(choice);

    std::vector<uint8_t> out;
    out.reserve(size / 2 + 16);
    out.push_back(uint8_t(choice.literals));
    out.push_back(uint8_t(m.dictionaryBits));
    BitWriter w{out};

    MatchFinder finder(data, size, m.dictionarySize);
    const size_t segment = std::min<size_t>(size, kSegment);
    std::vector<uint32_t> price(segment + 1);
    std::vector<Step> arrival(segment + 1);
    std::vector<Step> steps;
    for (size_t start = 0; start < size; start += segment) {
        const size_t end = std::min(size, start + segment);
        steps.clear();
        ParseSegment(finder, m, data, start, end, price, arrival, steps);
        size_t at = start;
        for (const Step& s : steps) {
            if (s.length == 1)
                PutLiteral(w, m, data[at]);
            else
                PutCopy(w, m, s.length, s.distance);
            at += s.length;
        }
        if (progress) progress(end);
    }
    PutEndMarker(w);
    w.finish();
    return out;
}

std::vector<ImplodeChoice> AllImplodeChoices() {
    return {
        {ImplodeLiterals::Binary, 4096}, {ImplodeLiterals::Binary, 2048},
        {ImplodeLiterals::Binary, 1024}, {ImplodeLiterals::Ascii, 4096},
        {ImplodeLiterals::Ascii, 2048},  {ImplodeLiterals::Ascii, 1024},
    };
}

std::vector<uint8_t> ImplodeSmallest(const uint8_t* data, size_t size,
                                     const std::vector<ImplodeChoice>& candidates,
                                     ImplodeChoice* chosen, const ImplodeProgress& progress) {
    std::vector<uint8_t> best;
    ImplodeChoice bestChoice = candidates.empty() ? ImplodeChoice{} : candidates.front();
    size_t doneBefore = 0;
    for (const ImplodeChoice& c : candidates) {
        std::vector<uint8_t> stream = Implode(data, size, c, [&](size_t done) {
            if (progress) progress(doneBefore + done);
        });
        doneBefore += size;
        if (best.empty() || stream.size() < best.size()) {
            best = std::move(stream);
            bestChoice = c;
        }
    }
    if (best.empty()) best = Implode(data, size, bestChoice);
    if (chosen) *chosen = bestChoice;
    return best;
}
