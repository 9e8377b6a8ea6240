// Explode on arbitrary input, handed out once in whole blocks and once in
// short reads whose sizes follow from the input. Both decodes must keep the
// callback contract and give the same result, writes and bytes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "Explode.h"

namespace {

struct Feed {
    const uint8_t* data;
    size_t size;
    size_t position;
    uint32_t chunkSeed; // 0: whole blocks
    uint32_t reads;
    bool ended;
    std::vector<uint8_t> output;
    std::vector<uint32_t> writes;
};

void Check(bool condition) {
    if (!condition) std::abort();
}

uint32_t Read(uint8_t* buffer, uint32_t* size, void* param) {
    Feed& f = *static_cast<Feed*>(param);
    Check(*size == kExplodeInputSize);
    Check(!f.ended); // never asked again once the input has ended
    size_t n = std::min<size_t>(*size, f.size - f.position);
    if (f.chunkSeed != 0) {
        // Short reads of 1 to 16 bytes, varying from call to call; the first
        // one holds the header and at least three bytes more.
        size_t chunk = 1 + ((f.chunkSeed >> (f.reads % 29)) + f.reads) % 16;
        n = std::min(n, f.reads == 0 ? chunk + 4 : chunk);
    }
    std::memcpy(buffer, f.data + f.position, n);
    f.position += n;
    ++f.reads;
    f.ended = n == 0;
    return uint32_t(n);
}

void Write(uint8_t* buffer, uint32_t* size, void* param) {
    Feed& f = *static_cast<Feed*>(param);
    Check(*size <= kExplodeBlockSize);
    Check(f.writes.empty() || f.writes.back() == kExplodeBlockSize); // nothing after the last
    f.writes.push_back(*size);
    f.output.insert(f.output.end(), buffer, buffer + *size);
}

uint32_t Run(Feed& f, ExplodeWork* work) {
    uint32_t result = Explode(Read, Write, work, &f);
    Check(result <= ExplodeAbort);
    if (result == ExplodeOk || result == ExplodeAbort) {
        Check(!f.writes.empty() && f.writes.back() < kExplodeBlockSize);
    } else {
        Check(f.writes.empty());
        Check(f.reads == 1);
    }
    if (result == ExplodeAbort) Check(f.ended);
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto work = std::make_unique<ExplodeWork>();

    Feed whole{data, size, 0, 0, 0, false, {}, {}};
    uint32_t result = Run(whole, work.get());
    if (size < 5) return 0; // short reads need a 5-byte first read
    uint32_t seed = uint32_t(size) * 2654435761u ^ data[size / 2] ^ data[size - 1] << 8;
    if (seed == 0) seed = 1;

    // The first read gets at least the header and three bytes.
    Feed pieces{data, size, 0, seed, 0, false, {}, {}};
    std::memset(work.get(), 0x5A, sizeof(ExplodeWork));
    uint32_t again = Run(pieces, work.get());
    Check(again == result);
    Check(pieces.output == whole.output);
    Check(pieces.writes == whole.writes);
    return 0;
}
