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
    // A name nobody else holds: created as a new file, never through an existing one.
    SysError first = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = target + ".part" + std::to_string(attempt);
        file_.open(candidate, FileOpen::CreateNew);
        const SysError code = file_.takeError();
        if (code == 0) {
            temporary_ = candidate;
            return true;
        }
        if (first == 0) first = code;
    }
    *error = target + ": cannot create the output file: " + SystemErrorText(first);
    return false;
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
    return true;
}

void OutputFile::discard() {
    file_.close();
    file_.takeError();
    if (!temporary_.empty()) RemoveFile(temporary_);
    temporary_.clear();
}
