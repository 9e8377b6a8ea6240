#include "PackedBuffer.h"

#include <algorithm>

namespace {

constexpr size_t kDrainBlock = 1 << 16;

} // namespace

bool PackedBuffer::append(const uint8_t* data, size_t size, std::string* error) {
    size_ += size;
    while (size > 0) {
        if (memory_.size() >= memoryLimit_ && !flush(error)) return false;
        // Past the limit the memory is only a write block for the scratch file.
        const size_t most = std::max(memoryLimit_, kDrainBlock);
        const size_t n = std::min(size, most - memory_.size());
        // Grown by doubling as usual, but never past the limit.
        if (memory_.capacity() < memory_.size() + n)
            memory_.reserve(std::min(most, std::max(memory_.size() + n, 2 * memory_.capacity())));
        memory_.insert(memory_.end(), data, data + n);
        data += n;
        size -= n;
    }
    return true;
}

bool PackedBuffer::flush(std::string* error) {
    if (!scratch_.isOpen() && !scratch_.create(scratchBeside_, error)) return false;
    if (!scratch_.write(memory_.data(), memory_.size(), error)) return false;
    memory_.clear();
    return true;
}

bool PackedBuffer::drain(const Taker& take, std::string* error) {
    bool ok = true;
    if (scratch_.isOpen()) {
        ok = flush(error) && scratch_.rewind(error);
        memory_.resize(kDrainBlock);
        size_t got = 0;
        while (ok && (ok = scratch_.read(memory_.data(), memory_.size(), &got, error)) && got > 0)
            ok = take(memory_.data(), got);
        scratch_.close();
    } else if (!memory_.empty()) {
        ok = take(memory_.data(), memory_.size());
    }
    std::vector<uint8_t>().swap(memory_);
    size_ = 0;
    return ok;
}
