// Host files read or written in pieces, for data of any size: a source read
// front to back (with a few reads at chosen offsets first), and a scratch
// file for packed data too large to keep in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Errors are one-line reasons that name the file.
class InputStream {
public:
    InputStream() = default;
    ~InputStream();
    InputStream(const InputStream&) = delete;
    InputStream& operator=(const InputStream&) = delete;

    bool open(const std::string& path, std::string* error);
    // Up to capacity bytes from the current position into buffer; *got is 0
    // at the end.
    bool read(uint8_t* buffer, size_t capacity, size_t* got, std::string* error);
    // Moves the read position to offset from the start.
    bool seek(uint64_t offset, std::string* error);

private:
    std::string path_;
    intptr_t handle_ = -1;
};

// A file that only this process can reach and that disappears when it is
// closed or the process ends, however it ends: it is created beside a given
// path (on the same disk as the output) and at once unlinked on POSIX, or
// opened delete-on-close on Windows.
class ScratchFile {
public:
    ScratchFile() = default;
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    bool create(const std::string& beside, std::string* error);
    bool isOpen() const { return handle_ != -1; }
    bool write(const uint8_t* data, size_t size, std::string* error);
    // Back to the start for reading what was written.
    bool rewind(std::string* error);
    bool read(uint8_t* buffer, size_t capacity, size_t* got, std::string* error);
    void close();

private:
    std::string name_;
    intptr_t handle_ = -1;
};
