// Packed data of one member on its way to the archive: held in memory up to
// a threshold, and beyond it in a scratch file beside the output, so a large
// member never sits whole in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "StreamFiles.h"

class PackedBuffer {
public:
    // scratchBeside: the path that a scratch file is created beside.
    PackedBuffer(size_t memoryLimit, std::string scratchBeside)
        : memoryLimit_(memoryLimit), scratchBeside_(std::move(scratchBeside)) {}

    bool append(const uint8_t* data, size_t size, std::string* error);
    uint64_t size() const { return size_; }
    bool spilled() const { return scratch_.isOpen(); }

    // Hands every byte, in order and in pieces, to take (which may change
    // them in place); false when take or a scratch read fails. Empties the
    // buffer.
    using Taker = std::function<bool(uint8_t* data, size_t size)>;
    bool drain(const Taker& take, std::string* error);

private:
    bool flush(std::string* error);

    size_t memoryLimit_;
    std::string scratchBeside_;
    std::vector<uint8_t> memory_; // the bytes after those in the scratch file
    ScratchFile scratch_;
    uint64_t size_ = 0;
};
