// Input files of the host side: regular files only, read in sequence up to a
// limit that is checked as the bytes come (a file may grow while it is read).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Refuses a FIFO, a device, a folder or a socket before reading it, and
    // a file already larger than limit; tooLarge ends the message for that.
    bool open(const std::string& path, uint64_t limit, const std::string& tooLarge,
              std::string* error);
    // Up to size bytes into buffer (*got, 0 at the end). False on a read
    // error or once more than limit bytes came, with a one-line reason.
    bool read(void* buffer, size_t size, size_t* got, std::string* error);
    uint64_t consumed() const { return consumed_; }
    // The file's length as it stands now, read from its end instead of
    // reading everything; the limit applies to it as to reading.
    bool lengthToEnd(uint64_t* length, std::string* error);
    // Back to the start (the limit counts from there again).
    void rewind();
    void close();

private:
    std::FILE* file_ = nullptr;
    std::string path_;
    std::string tooLarge_;
    uint64_t limit_ = 0;
    uint64_t consumed_ = 0;
};

// The whole file (less than 4 GiB), or a one-line reason naming it.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* data, std::string* error);
