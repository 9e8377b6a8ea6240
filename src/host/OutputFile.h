// An output file that appears under its name only when it is complete: it is
// written to a new temporary file TARGET.part beside the target and renamed
// over the target by commit(). Without a commit the temporary file is
// removed, so a failure never leaves half an output behind, and neither does
// an interruption (SIGINT, SIGTERM, SIGHUP).
#pragma once

#include <cstddef>
#include <string>

#include "FileIo.h"
#include "Interrupt.h"

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // error gets a one-line reason that names the file.
    bool create(const std::string& target, std::string* error);
    bool write(const void* data, size_t size, std::string* error);
    // Moves what was written from offset on count bytes further and puts
    // count zero bytes in the gap; writing goes on at the end. Outputs stay
    // below 4 GiB.
    bool insertZeros(uint64_t offset, uint32_t count, std::string* error);
    bool commit(std::string* error);
    // Removes the temporary file; the target is left as it was.
    void discard();

    const std::string& target() const { return target_; }
    uint64_t written() const { return written_; }

private:
    std::string target_;
    std::string temporary_;
    File file_;
    uint64_t written_ = 0;
    RemovedOnInterrupt removedOnInterrupt_;
};
