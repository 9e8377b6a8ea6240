#include "InputFile.h"

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* data, std::string* error) {
    data->clear();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        *error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    std::vector<uint8_t> block(1 << 16);
    size_t n;
    while ((n = std::fread(block.data(), 1, block.size(), f)) > 0) {
        data->insert(data->end(), block.begin(), block.begin() + ptrdiff_t(n));
        if (data->size() > 0xFFFFFFFEu) {
            std::fclose(f);
            *error = path + ": too large (4 GiB or more)";
            return false;
        }
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        *error = path + ": cannot read";
        return false;
    }
    return true;
}
