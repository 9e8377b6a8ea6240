#include "OutputFile.h"

#include <algorithm>
#include <vector>

#include "HostPlatform.h"

OutputFile::~OutputFile() {
    discard();
}

bool OutputFile::create(const std::string& target, std::string* error) {
    discard();
    target_ = target;
    written_ = 0;
    // One name per output: what a killed run left there is replaced (the
    // name itself is removed, never written through), not added to.
    const std::string candidate = target + ".part";
    RemoveFile(candidate);
    file_.open(candidate, FileOpen::CreateNew);
    if (const SysError code = file_.takeError()) {
        *error = target + ": cannot create the output file: " + SystemErrorText(code);
        return false;
    }
    temporary_ = candidate;
    removedOnInterrupt_.set(SystemSpelling(candidate));
    return true;
}

bool OutputFile::write(const void* data, size_t size, std::string* error) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const uint32_t chunk = uint32_t(std::min<size_t>(size, 1u << 20));
        file_.write(bytes, chunk);
        if (const SysError code = file_.takeError()) {
            *error = target_ + ": cannot write: " + SystemErrorText(code);
            return false;
        }
        bytes += chunk;
        size -= chunk;
        written_ += chunk;
    }
    return true;
}

bool OutputFile::insertZeros(uint64_t offset, uint32_t count, std::string* error) {
    if (written_ + count > 0xFFFFFFFFu) {
        *error = target_ + ": cannot write: the output would reach 4 GiB";
        return false;
    }
    offset = std::min(offset, written_);
    // From the top down, so that no byte is overwritten before it is moved.
    std::vector<uint8_t> block(size_t(1) << 16);
    uint32_t top = uint32_t(written_);
    while (top > offset && !file_.pendingError()) {
        const uint32_t n = std::min(uint32_t(block.size()), top - uint32_t(offset));
        top -= n;
        file_.seek(top);
        if (file_.read(block.data(), n) != n && !file_.pendingError()) {
            *error = target_ + ": cannot read back what was written";
            return false;
        }
        file_.seek(top + count);
        file_.write(block.data(), n);
    }
    std::fill(block.begin(), block.end(), uint8_t(0));
    file_.seek(uint32_t(offset));
    for (uint32_t left = count; left > 0;) {
        const uint32_t n = std::min(left, uint32_t(block.size()));
        file_.write(block.data(), n);
        left -= n;
    }
    written_ += count;
    file_.seek(uint32_t(written_));
    if (const SysError code = file_.takeError()) {
        *error = target_ + ": cannot write: " + SystemErrorText(code);
        return false;
    }
    return true;
}

bool OutputFile::commit(std::string* error) {
    file_.close();
    if (const SysError code = file_.takeError()) {
        *error = target_ + ": cannot write: " + SystemErrorText(code);
        discard();
        return false;
    }
    if (const SysError code = RenameOver(temporary_, target_)) {
        *error = target_ + ": cannot replace the output file: " + SystemErrorText(code);
        discard();
        return false;
    }
    temporary_.clear();
    removedOnInterrupt_.clear();
    return true;
}

void OutputFile::discard() {
    file_.close();
    file_.takeError();
    if (!temporary_.empty()) RemoveFile(temporary_);
    temporary_.clear();
    removedOnInterrupt_.clear();
}
