#include "HostPlatform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What a file that is not regular is, for the message that refuses it.
const char* KindOf(mode_t mode) {
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISSOCK(mode)) return "a socket";
    return "a special file";
}

} // namespace

bool IsTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) == 1;
}

int TerminalColumns(std::FILE* stream) {
    winsize size{};
    return ::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 ? int(size.ws_col) : 0;
}

unsigned ProcessorCount() {
    const long count = ::sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 ? unsigned(count) : 1;
}

std::string SystemErrorText(SysError code) {
    return std::strerror(int(code));
}

SysError ModificationTime(const std::string& path, int64_t* seconds) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return SysError(errno);
    *seconds = int64_t(info.st_mtime);
    return 0;
}

SysError OpenRegularFile(const std::string& path, std::FILE** file, std::string* kind) {
    *file = nullptr;
    kind->clear();
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return SysError(errno);
    // Looked at before it is opened: opening a FIFO waits for a writer, and
    // opening some devices does something.
    if (!S_ISREG(info.st_mode)) {
        *kind = KindOf(info.st_mode);
        return EINVAL;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return SysError(errno);
    // The name may have been given to something else in between.
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        *kind = KindOf(info.st_mode);
        ::close(fd);
        return EINVAL;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    *file = ::fdopen(fd, "rb");
    if (*file == nullptr) {
        const SysError code = SysError(errno);
        ::close(fd);
        return code;
    }
    return 0;
}

std::string KindOfFile(const std::string& path) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return "a special file";
    return KindOf(info.st_mode);
}

SysError RenameOver(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : SysError(errno);
}

bool SameFile(const File& a, const File& b) {
    struct stat first, second;
    if (!a.isOpen() || !b.isOpen() || ::fstat(int(a.systemHandle()), &first) != 0 ||
        ::fstat(int(b.systemHandle()), &second) != 0)
        return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}
