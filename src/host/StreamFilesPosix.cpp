#include "StreamFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "HostPlatform.h"

namespace {

std::string Reason(const std::string& path, const char* what) {
    return path + ": " + what + ": " + SystemErrorText(SysError(errno));
}

// read(2) until capacity bytes or the end, retrying interruptions.
bool ReadFully(int fd, uint8_t* buffer, size_t capacity, size_t* got) {
    *got = 0;
    while (*got < capacity) {
        const ssize_t n = ::read(fd, buffer + *got, capacity - *got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        *got += size_t(n);
    }
    return true;
}

} // namespace

InputStream::~InputStream() {
    if (handle_ != -1) ::close(int(handle_));
}

bool InputStream::open(const std::string& path, std::string* error) {
    path_ = path;
    // Without blocking, so that a FIFO is refused instead of waiting for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        *error = Reason(path, "cannot open");
        return false;
    }
    handle_ = fd;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        *error = path + ": " + KindOfFile(path) + ", not a regular file";
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return true;
}

bool InputStream::read(uint8_t* buffer, size_t capacity, size_t* got, std::string* error) {
    if (ReadFully(int(handle_), buffer, capacity, got)) return true;
    *error = Reason(path_, "cannot read");
    return false;
}

bool InputStream::seek(uint64_t offset, std::string* error) {
    if (::lseek(int(handle_), off_t(offset), SEEK_SET) != off_t(-1)) return true;
    *error = Reason(path_, "cannot read");
    return false;
}

ScratchFile::~ScratchFile() {
    close();
}

bool ScratchFile::create(const std::string& beside, std::string* error) {
    close();
    std::vector<char> name(beside.begin(), beside.end());
    for (const char c : std::string(".spool-XXXXXX")) name.push_back(c);
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        *error = Reason(beside, "cannot create a scratch file beside it");
        return false;
    }
    name_ = name.data();
    // Unlinked at once: nothing is left behind, whatever ends the process.
    ::unlink(name_.c_str());
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    handle_ = fd;
    return true;
}

bool ScratchFile::write(const uint8_t* data, size_t size, std::string* error) {
    while (size > 0) {
        const ssize_t n = ::write(int(handle_), data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            *error = Reason(name_, "cannot write the scratch file");
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}

bool ScratchFile::rewind(std::string* error) {
    if (::lseek(int(handle_), 0, SEEK_SET) == 0) return true;
    *error = Reason(name_, "cannot read the scratch file");
    return false;
}

bool ScratchFile::read(uint8_t* buffer, size_t capacity, size_t* got, std::string* error) {
    if (ReadFully(int(handle_), buffer, capacity, got)) return true;
    *error = Reason(name_, "cannot read the scratch file");
    return false;
}

void ScratchFile::close() {
    if (handle_ != -1) ::close(int(handle_));
    handle_ = -1;
}
