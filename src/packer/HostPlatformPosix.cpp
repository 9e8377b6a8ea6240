#include "HostPlatform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

bool IsTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) == 1;
}

int TerminalColumns(std::FILE* stream) {
    winsize size{};
    return ::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 ? int(size.ws_col) : 0;
}

std::string ExecutablePath() {
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
    return length > 0 && size_t(length) < sizeof path ? std::string(path, size_t(length))
                                                      : std::string();
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

SysError RenameOver(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : SysError(errno);
}

bool LocalTimeFields(int64_t seconds, std::tm* fields) {
    const time_t t = time_t(seconds);
    return int64_t(t) == seconds && ::localtime_r(&t, fields) != nullptr;
}
