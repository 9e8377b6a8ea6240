#include "OutputFile.h"

#include <algorithm>

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
