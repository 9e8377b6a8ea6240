#include "InputFile.h"

#include "HostPlatform.h"

InputFile::~InputFile() {
    close();
}

void InputFile::close() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
}

void InputFile::rewind() {
    if (file_ != nullptr) std::rewind(file_);
    consumed_ = 0;
}

bool InputFile::open(const std::string& path, uint64_t limit, const std::string& tooLarge,
                     std::string* error) {
    close();
    path_ = path;
    tooLarge_ = tooLarge;
    limit_ = limit;
    consumed_ = 0;
    std::string kind;
    if (const SysError code = OpenRegularFile(path, &file_, &kind)) {
        *error = kind.empty() ? path + ": cannot open: " + SystemErrorText(code)
                              : path + ": " + kind + ", not a regular file";
        return false;
    }
    if (std::fseek(file_, 0, SEEK_END) == 0) {
        const long long size = std::ftell(file_);
        std::rewind(file_);
        if (size > 0 && uint64_t(size) > limit) {
            *error = path + ": " + tooLarge;
            close();
            return false;
        }
    }
    return true;
}

bool InputFile::read(void* buffer, size_t size, size_t* got, std::string* error) {
    *got = 0;
    if (file_ == nullptr) {
        *error = path_ + ": cannot read: not open";
        return false;
    }
    const size_t n = std::fread(buffer, 1, size, file_);
    if (n < size && std::ferror(file_)) {
        *error = path_ + ": cannot read";
        return false;
    }
    consumed_ += n;
    if (consumed_ > limit_) {
        *error = path_ + ": " + tooLarge_;
        return false;
    }
    *got = n;
    return true;
}

bool InputFile::lengthToEnd(uint64_t* length, std::string* error) {
    const bool atEnd = file_ != nullptr && std::fseek(file_, 0, SEEK_END) == 0;
    const long end = atEnd ? std::ftell(file_) : -1;
    if (end < 0) {
        *error = path_ + ": cannot read";
        return false;
    }
    if (uint64_t(end) > limit_) {
        *error = path_ + ": " + tooLarge_;
        return false;
    }
    *length = uint64_t(end);
    return true;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* data, std::string* error) {
    data->clear();
    InputFile in;
    if (!in.open(path, 0xFFFFFFFEu, "too large (4 GiB or more)", error)) return false;
    std::vector<uint8_t> block(1 << 16);
    size_t n = 0;
    do {
        if (!in.read(block.data(), block.size(), &n, error)) return false;
        data->insert(data->end(), block.begin(), block.begin() + std::ptrdiff_t(n));
    } while (n > 0);
    return true;
}
