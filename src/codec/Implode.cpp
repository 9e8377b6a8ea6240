// Implode encoder: hash-chain match finder and a minimum-bit parse.
//
// The prefix codes are fixed by the format, so the exact bit cost of every
// literal and every copy is known before anything is written. The parse is
// therefore a shortest path over the input: price[j] is the fewest bits that
// encode the first j bytes of a segment, relaxed forward by one literal and
// by every copy length the match finder offers at j. Inside a long copy the
// search is skipped up to its last few bytes: that costs a few hundredths of
// a percent of output and saves about a fifth of the time on text.
#include "Implode.h"

#include "ExplodeTables.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace {

constexpr uint32_t kMinCopy = 2;
constexpr uint32_t kMaxCopy = 518;
constexpr uint32_t kMaxShortDistance = 256; // length-2 copies carry only 2 low distance bits

// The code lengths and stream codes are the decoder's own tables, so the two
// sides cannot disagree about the format.
using explode_tables::kAsciiCodeLengths;
using explode_tables::kAsciiCodes;
using explode_tables::kDistanceCodeLengths;
using explode_tables::kDistanceCodes;
using explode_tables::kLengthBases;
using explode_tables::kLengthCodeLengths;
using explode_tables::kLengthCodes;
using explode_tables::kLengthExtraBits;

// The format's sample rows (stream order, first bit in bit 0).
static_assert(kLengthCodes[0] == 0b101 && kLengthCodes[1] == 0b11 && kLengthCodes[15] == 0);
static_assert(kDistanceCodes[0] == 0b11 && kDistanceCodes[1] == 0b1101 &&
              kDistanceCodes[7] == 0b111110 && kDistanceCodes[22] == 0b1000010 &&
              kDistanceCodes[63] == 0);
static_assert(kAsciiCodes[' '] == 0b1111 && kAsciiCodes['e'] == 0b11011 &&
              kAsciiCodes['A'] == 0b110001 && kAsciiCodes['\n'] == 0b1100010 &&
              kAsciiCodes['\r'] == 0b0100010 && kAsciiCodes[0x00] == 0b10010010000 &&
              kAsciiCodes[0x80] == 0b0001001000000 && kAsciiCodes[0xFF] == 0);

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
        m.literal[b] = uint8_t(1 + (m.ascii ? kAsciiCodeLengths[b] : 8));
    for (uint32_t symbol = 0; symbol < 16; ++symbol) {
        const uint32_t first = kLengthBases[symbol] + kMinCopy;
        const uint32_t last = std::min(kMaxCopy, first + (1u << kLengthExtraBits[symbol]) - 1);
        for (uint32_t len = first; len <= last; ++len) {
            m.lengthSymbol[len] = uint8_t(symbol);
            m.length[len] = uint8_t(1 + kLengthCodeLengths[symbol] + kLengthExtraBits[symbol]);
        }
    }
    for (uint32_t d = 1; d <= kMaxShortDistance; ++d)
        m.shortDistance[d] = uint8_t(kDistanceCodeLengths[(d - 1) >> 2] + 2);
    for (uint32_t d = 1; d <= m.dictionarySize; ++d)
        m.distance[d] =
            uint8_t(kDistanceCodeLengths[(d - 1) >> m.dictionaryBits] + m.dictionaryBits);
    return m;
}

void PutLiteral(BitWriter& w, const CostModel& m, uint8_t byte) {
    w.put(0, 1);
    if (m.ascii)
        w.put(kAsciiCodes[byte], kAsciiCodeLengths[byte]);
    else
        w.put(byte, 8);
}

void PutCopy(BitWriter& w, const CostModel& m, uint32_t length, uint32_t distance) {
    const uint32_t symbol = m.lengthSymbol[length];
    w.put(1, 1);
    w.put(kLengthCodes[symbol], kLengthCodeLengths[symbol]);
    if (kLengthExtraBits[symbol] != 0)
        w.put(length - kMinCopy - kLengthBases[symbol], kLengthExtraBits[symbol]);
    const uint32_t lowBits = length == 2 ? 2 : m.dictionaryBits;
    const uint32_t high = (distance - 1) >> lowBits;
    w.put(kDistanceCodes[high], kDistanceCodeLengths[high]);
    w.put((distance - 1) & ((1u << lowBits) - 1), lowBits);
}

// Length symbol 15 with all 8 extra bits set, and no distance.
void PutEndMarker(BitWriter& w) {
    w.put(1, 1);
    w.put(kLengthCodes[15], kLengthCodeLengths[15]);
    w.put(0xFF, 8);
}

// Match finder tuning: chain steps per position, the length at which a
// match is taken without looking further, and the bytes the chain hash covers
// (shorter lengths come from tables of the last occurrence).
constexpr uint32_t kChainDepth = 16;
constexpr uint32_t kNiceLength = 200;
constexpr uint32_t kChainBytes = 5;
// The parse does not search inside a copy of kJumpLength or more, except at
// its last kJumpTail bytes, where a better next copy may begin.
constexpr uint32_t kJumpLength = 14;
constexpr uint32_t kJumpTail = 2;
constexpr uint32_t kHashBits = 14;
constexpr uint32_t kChainSize = 8192;          // more than the largest window
constexpr uint32_t kStoredOffset = kChainSize; // keeps a stored position's chain slot
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
// steps with candidates too short to matter). Positions count from the start
// of the input; the bytes come from a view that holds the window before the
// position and the bytes up to the limit.
class MatchFinder {
public:
    explicit MatchFinder(uint32_t window)
        : window_(window), head_(1u << kHashBits, 0), chain_(kChainSize, 0),
          lastNear_((kChainBytes - 3) << kHashBits, 0), lastPair_(1u << 16, 0) {}

    // bytes holds the input from position origin on; positions below limit
    // may be read. Past the limit lies the end of the input, or bytes not yet
    // seen, which no position of the segment parsed next reaches.
    void view(const uint8_t* bytes, size_t origin, size_t limit) {
        bytes_ = bytes;
        origin_ = origin;
        size_ = limit;
    }
    const uint8_t* at(size_t i) const { return bytes_ + (i - origin_); }

    // Looks position i up, then indexes it. Returns the matches of length 3
    // or more, each longer than the one before and at the nearest distance
    // found for its length, bounded by maxLength (the end of the segment);
    // pairDistance gets the distance of the nearest earlier occurrence of the
    // two bytes at i within reach of a length-2 copy, or 0.
    uint32_t next(size_t i, uint32_t maxLength, uint32_t chainDepth, Match* out,
                  uint32_t& pairDistance) {
        if (i + 8 > size_) return nextNearEnd(i, maxLength, out, pairDistance);
        // One load gives every key: the hashes and the pair are computed once
        // for both the look-up and the insertion.
        const uint8_t* here = at(i);
        const uint64_t first8 = Load64(here);
        const uint32_t pair = uint32_t(first8 & 0xFFFF);
        const uint32_t reach = uint32_t(i) + kStoredOffset;
        // No copy reaches before the input.
        const uint32_t maxDistance = uint32_t(std::min<size_t>(window_, i));

        pairDistance = uint16_t(uint32_t(i) - lastPair_[pair]);
        if (pairDistance == 0 || pairDistance > kMaxShortDistance || pairDistance > i ||
            Load16(here - pairDistance) != pair)
            pairDistance = 0;
        lastPair_[pair] = uint16_t(i);

        // Lengths below kChainBytes: the last occurrence of each prefix is the
        // nearest match of at least that length.
        uint32_t found = 0;
        uint32_t best = 2;
        probeNear<3>(here, first8, reach, maxDistance, maxLength, best, out, found);
        probeNear<4>(here, first8, reach, maxDistance, maxLength, best, out, found);

        uint32_t& head = head_[Hash<kChainBytes>(first8)];
        uint32_t candidate = head;
        chain_[i & (kChainSize - 1)] = head;
        head = reach;
        if (maxLength < kChainBytes || best >= kNiceLength || best == maxLength) return found;
        // Every candidate is farther than the one before, so it counts only
        // if it is longer: the 4 bytes that end at the new length are compared
        // first, which rejects most candidates with one load.
        best = std::max(best, kChainBytes - 1);
        for (uint32_t depth = chainDepth; depth != 0; --depth) {
            const uint32_t distance = reach - candidate;
            if (distance > maxDistance) break;
            const uint8_t* there = here - distance;
            if (Load32(there + best - 3) == Load32(here + best - 3)) {
                const uint32_t length = CommonLength(there, here, maxLength);
                if (length > best) {
                    best = length;
                    out[found++] = {length, distance};
                    if (length >= kNiceLength || length == maxLength) break;
                }
            }
            candidate = chain_[(reach - distance) & (kChainSize - 1)];
        }
        return found;
    }

    // Indexes position i without looking it up.
    void insert(size_t i) {
        if (i + 8 > size_) return insertNearEnd(i);
        const uint64_t first8 = Load64(at(i));
        const uint32_t stored = uint32_t(i) + kStoredOffset;
        lastPair_[first8 & 0xFFFF] = uint16_t(i);
        lastNear_[Hash<3>(first8)] = stored;
        lastNear_[1u << kHashBits | Hash<4>(first8)] = stored;
        uint32_t& head = head_[Hash<kChainBytes>(first8)];
        chain_[i & (kChainSize - 1)] = head;
        head = stored;
    }

private:
    // The last three positions: too short for a 4-byte load or a chain.
    uint32_t nextNearEnd(size_t i, uint32_t maxLength, Match* out, uint32_t& pairDistance) {
        pairDistance = 0;
        uint32_t found = 0;
        const uint8_t* here = at(i);
        if (i + 2 <= size_) {
            const uint32_t pair = Pair(here);
            const uint32_t d = uint16_t(uint32_t(i) - lastPair_[pair]);
            if (d != 0 && d <= kMaxShortDistance && d <= i && Pair(here - d) == pair)
                pairDistance = d;
        }
        if (maxLength >= 3 && i + 3 <= size_) {
            const uint32_t key = Triple(here);
            const uint32_t distance = uint32_t(i) + kStoredOffset - lastNear_[Hash<3>(key)];
            if (distance <= std::min<size_t>(window_, i) && Triple(here - distance) == key)
                out[found++] = {CommonLength(here - distance, here, maxLength), distance};
        }
        insertNearEnd(i);
        return found;
    }

    void insertNearEnd(size_t i) {
        if (i + 2 > size_) return;
        lastPair_[Pair(at(i))] = uint16_t(i);
        if (i + 3 > size_) return;
        lastNear_[Hash<3>(Triple(at(i)))] = uint32_t(i) + kStoredOffset;
    }

    static uint32_t Load32(const uint8_t* p) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
    static uint32_t Load16(const uint8_t* p) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    // The same keys as the low bytes of Load32, read byte by byte.
    static uint32_t Pair(const uint8_t* p) { return Load16(p); }
    static uint32_t Triple(const uint8_t* p) { return Load16(p) | uint32_t(p[2]) << 16; }
    static uint64_t Load64(const uint8_t* p) {
        uint64_t v;
        std::memcpy(&v, p, 8);
        return v;
    }
    // Hash of the low n bytes of v.
    template <uint32_t n> static uint32_t Hash(uint64_t v) {
        return uint32_t(((v << (64 - 8 * n)) * 0x9E3779B97F4A7C15ull) >> (64 - kHashBits));
    }

    // Lengths below kChainBytes: the last occurrence of each n-byte prefix is
    // the nearest match of at least n bytes.
    template <uint32_t n>
    void probeNear(const uint8_t* here, uint64_t first8, uint32_t reach, uint32_t maxDistance,
                   uint32_t maxLength, uint32_t& best, Match* out, uint32_t& found) {
        uint32_t& last = lastNear_[(n - 3) << kHashBits | Hash<n>(first8)];
        const uint32_t distance = reach - last;
        last = reach;
        if (best >= n || distance > maxDistance || best == maxLength) return;
        // The first 8 bytes are compared at once; most matches end there.
        const uint64_t differ = Load64(here - distance) ^ first8;
        if ((differ << (64 - 8 * n)) != 0) return;
        const uint32_t length = differ != 0
                                    ? std::min(maxLength, uint32_t(__builtin_ctzll(differ)) / 8)
                                    : CommonLength(here - distance, here, maxLength);
        if (length > best) {
            best = length;
            out[found++] = {length, distance};
        }
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

    const uint8_t* bytes_ = nullptr;
    size_t origin_ = 0;
    size_t size_ = 0;
    uint32_t window_;
    // Positions are stored plus kStoredOffset, so the empty entry 0 lies
    // beyond every window.
    std::vector<uint32_t> head_;
    std::vector<uint32_t> chain_;
    std::vector<uint32_t> lastNear_; // one table per length 3 .. kChainBytes - 1
    // Only the low 16 bits of the last position of each pair (a table that
    // stays in cache); the bytes are compared, so an aged entry can't pose as
    // a match.
    std::vector<uint16_t> lastPair_;
};

// A parse node packed into one integer: the fewest bits that reach the
// position above the last step of that path (length, distance). The smaller
// integer is the cheaper path, so relaxing a node is one branch-free min.
using Node = uint64_t;

constexpr Node MakeNode(uint32_t price, uint32_t length, uint32_t distance) {
    return uint64_t(price) << 32 | length << 16 | distance;
}
constexpr Node kUnreached = std::numeric_limits<Node>::max();
constexpr uint32_t PriceOf(Node n) {
    return uint32_t(n >> 32);
}
constexpr Step StepOf(Node n) {
    return {uint16_t(n >> 16), uint16_t(n)};
}

// Fewest-bit parse of the input [start, end) into steps, in input order.
void ParseSegment(MatchFinder& finder, const CostModel& m, size_t start, size_t end,
                  std::vector<Node>& nodes, std::vector<Step>& steps) {
    const uint8_t* data = finder.at(start);
    const uint32_t span = uint32_t(end - start);
    Node* node = nodes.data();
    std::fill(node, node + span + 1, kUnreached);
    node[0] = 0;
    Match matches[kMaxCopy];

    uint32_t j = 0;
    while (j < span) {
        const size_t i = start + j;
        const uint32_t here = PriceOf(node[j]);
        Node* from = node + j;
        from[1] = std::min(from[1], MakeNode(here + m.literal[data[j]], 1, 0));

        const uint32_t room = std::min(kMaxCopy, span - j);
        uint32_t pairDistance = 0;
        const uint32_t found = finder.next(i, room, kChainDepth, matches, pairDistance);
        if (pairDistance != 0 && room >= 2)
            from[2] = std::min(from[2], MakeNode(here + m.length[2] + m.shortDistance[pairDistance],
                                                 2, pairDistance));
        uint32_t length = 3;
        for (uint32_t k = 0; k < found; ++k) {
            const Node base =
                MakeNode(here + m.distance[matches[k].distance], 0, matches[k].distance);
            for (const uint32_t last = matches[k].length; length <= last; ++length)
                from[length] = std::min(from[length], base + MakeNode(m.length[length], length, 0));
        }

        // Inside a long match the positions are only indexed, which keeps
        // long runs linear.
        const uint32_t longest = found ? matches[found - 1].length : 0;
        if (longest >= kJumpLength) {
            // A copy cut short by the longest length ends where the next one
            // begins, as in a long run.
            const uint32_t skip = longest == room ? longest : longest - kJumpTail;
            for (uint32_t k = 1; k < skip; ++k) finder.insert(i + k);
            j += skip;
        } else {
            ++j;
        }
    }

    const size_t first = steps.size();
    for (uint32_t at = span; at > 0; at -= StepOf(node[at]).length)
        steps.push_back(StepOf(node[at]));
    std::reverse(steps.begin() + first, steps.end());
}

// What one encode keeps from segment to segment. Input is parsed in
// segments of kSegment bytes; a segment is parsed once the bytes up to
// kLookahead past its end are known (the match finder's wide loads and hashes
// reach that far), or the input has ended.
struct EncoderCore {
    explicit EncoderCore(ImplodeChoice choice)
        : model(MakeCostModel(choice)), finder(model.dictionarySize), nodes(kSegment + 1) {
        out.push_back(uint8_t(choice.literals));
        out.push_back(uint8_t(model.dictionaryBits));
    }
    EncoderCore(const EncoderCore&) = delete;
    EncoderCore& operator=(const EncoderCore&) = delete;

    // The finder's view must hold [start - window, end + lookahead).
    void encodeSegment(size_t start, size_t end) {
        steps.clear();
        ParseSegment(finder, model, start, end, nodes, steps);
        const uint8_t* data = finder.at(start);
        for (const Step& s : steps) {
            if (s.length == 1)
                PutLiteral(bits, model, *data);
            else
                PutCopy(bits, model, s.length, s.distance);
            data += s.length;
        }
    }
    void finish() {
        PutEndMarker(bits);
        bits.finish();
    }

    CostModel model;
    MatchFinder finder;
    std::vector<Node> nodes;
    std::vector<Step> steps;
    std::vector<uint8_t> out; // whole bytes not yet handed on
    BitWriter bits{out};
};

constexpr size_t kLookahead = 8;
constexpr size_t kHistory = 4096; // the largest window

ImplodeChoice Checked(ImplodeChoice choice) {
    if (!IsImplodeDictionarySize(choice.dictionarySize)) choice.dictionarySize = 4096;
    return choice;
}

} // namespace

bool IsImplodeDictionarySize(uint32_t size) {
    return size == 1024 || size == 2048 || size == 4096;
}

std::vector<uint8_t> Implode(const uint8_t* data, size_t size, ImplodeChoice choice,
                             const ImplodeProgress& progress) {
    // The whole input is the view: no copy into a sliding window.
    EncoderCore core(Checked(choice));
    core.out.reserve(size / 2 + 16);
    core.finder.view(data, 0, size);
    for (size_t start = 0; start < size; start += kSegment) {
        const size_t end = std::min(size, start + kSegment);
        core.encodeSegment(start, end);
        if (progress) progress(end);
    }
    core.finish();
    return std::move(core.out);
}

struct ImplodeEncoder::State {
    State(ImplodeChoice choice, ImplodeSink s)
        : core(choice), sink(std::move(s)), window(kHistory + 4 * kSegment) {}

    // Encodes every segment whose bytes are all known; at the end, the rest.
    void encodeReady(bool atEnd) {
        const size_t end = origin + filled;
        core.finder.view(window.data(), origin, end);
        while (next < end && (atEnd || end - next >= kSegment + kLookahead)) {
            const size_t segmentEnd = std::min(end, next + kSegment);
            core.encodeSegment(next, segmentEnd);
            next = segmentEnd;
        }
        if (!core.out.empty()) sink(core.out.data(), core.out.size());
        core.out.clear();
    }
    // Keeps the window before the next segment and the bytes after it.
    void slide() {
        const size_t keep = next - std::min(next, kHistory);
        const size_t drop = keep - origin;
        std::memmove(window.data(), window.data() + drop, filled - drop);
        filled -= drop;
        origin = keep;
    }

    EncoderCore core;
    ImplodeSink sink;
    std::vector<uint8_t> window; // input from position origin on
    size_t origin = 0;
    size_t filled = 0;
    size_t next = 0; // where the next segment starts
    bool finished = false;
};

ImplodeEncoder::ImplodeEncoder(ImplodeChoice choice, ImplodeSink sink)
    : state_(std::make_unique<State>(Checked(choice), std::move(sink))) {}

ImplodeEncoder::~ImplodeEncoder() = default;

void ImplodeEncoder::write(const uint8_t* data, size_t size) {
    State& s = *state_;
    while (size > 0) {
        // After encodeReady less than a segment and its lookahead is left
        // unparsed, so sliding always makes room.
        if (s.filled == s.window.size()) s.slide();
        const size_t n = std::min(size, s.window.size() - s.filled);
        std::memcpy(s.window.data() + s.filled, data, n);
        s.filled += n;
        data += n;
        size -= n;
        s.encodeReady(false);
    }
}

void ImplodeEncoder::finish() {
    State& s = *state_;
    if (s.finished) return;
    s.finished = true;
    s.encodeReady(true);
    s.core.finish();
    if (!s.core.out.empty()) s.sink(s.core.out.data(), s.core.out.size());
    s.core.out.clear();
}

uint64_t ImplodeEncoder::consumed() const {
    return state_->origin + state_->filled;
}

std::vector<ImplodeChoice> AllImplodeChoices() {
    return {
        {ImplodeLiterals::Binary, 4096}, {ImplodeLiterals::Binary, 2048},
        {ImplodeLiterals::Binary, 1024}, {ImplodeLiterals::Ascii, 4096},
        {ImplodeLiterals::Ascii, 2048},  {ImplodeLiterals::Ascii, 1024},
    };
}

ImplodeChoice LikelyImplodeChoice(const uint8_t* sample, size_t size,
                                  const std::vector<ImplodeChoice>& candidates) {
    if (candidates.empty()) return {};
    std::array<uint64_t, 256> counts{};
    for (size_t i = 0; i < size; ++i) ++counts[sample[i]];
    int64_t asciiSaving = 0; // bits the text code saves over plain bytes
    for (uint32_t b = 0; b < 256; ++b)
        asciiSaving += (8 - int64_t(kAsciiCodeLengths[b])) * int64_t(counts[b]);
    const ImplodeLiterals likely =
        asciiSaving > 0 ? ImplodeLiterals::Ascii : ImplodeLiterals::Binary;
    const ImplodeChoice* best = nullptr;
    for (const ImplodeChoice& c : candidates)
        if (c.literals == likely && (!best || c.dictionarySize > best->dictionarySize)) best = &c;
    return best ? *best : candidates.front();
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
