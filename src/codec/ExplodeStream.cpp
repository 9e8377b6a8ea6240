#include "ExplodeStream.h"

#include <memory>

#include "Explode.h"

namespace {

struct Callbacks {
    const StreamRead& read;
    const StreamWrite& write;
};

uint32_t ReadThrough(uint8_t* buffer, uint32_t* size, void* param) {
    return static_cast<Callbacks*>(param)->read(buffer, *size);
}

void WriteThrough(uint8_t* buffer, uint32_t* size, void* param) {
    static_cast<Callbacks*>(param)->write(buffer, *size);
}

} // namespace

uint32_t ExplodeStream(const StreamRead& read, const StreamWrite& write) {
    auto work = std::make_unique<ExplodeWork>();
    Callbacks callbacks{read, write};
    return Explode(ReadThrough, WriteThrough, work.get(), &callbacks);
}

bool IsEmptyStream(const uint8_t* data, size_t size) {
    // Mode 0 or 1, dictionary bits 4 to 6, then the end marker's 16 bits
    // (1, 0000000, 11111111) least significant bit first: 0x01 0xFF.
    return size == 4 && data[0] <= 1 && data[1] >= 4 && data[1] <= 6 && data[2] == 0x01 &&
           data[3] == 0xFF;
}

const char* ExplodeResultText(uint32_t result) {
    switch (result) {
    case ExplodeOk: return "the end marker was decoded";
    case ExplodeBadDictSize: return "the dictionary-size byte is not 4, 5 or 6";
    case ExplodeBadMode: return "the literal-mode byte is not 0 or 1";
    case ExplodeBadData: return "the stream is 4 bytes or shorter";
    case ExplodeAbort: return "the stream ends before its end marker";
    default: return "unknown result";
    }
}

std::string StreamFaultText(const uint8_t* head, size_t headSize, size_t size, uint32_t result) {
    if (result == ExplodeBadData) {
        if (headSize >= 2 && (head[1] < 4 || head[1] > 6))
            return ExplodeResultText(ExplodeBadDictSize);
        if (headSize >= 2 && head[0] > 1) return ExplodeResultText(ExplodeBadMode);
        return "it is " + std::to_string(size) +
               " bytes long, too short for a header and an end marker";
    }
    return ExplodeResultText(result);
}
