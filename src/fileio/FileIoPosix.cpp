// The file layer on POSIX: "\" in paths becomes "/", read-only is the
// absence of write permission, the other attribute bits have no effect.
#include "FileIo.h"

#include <cerrno>
#include <climits>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FileIoInternal.h"
#include "Global.h"

const SysError kLinkInTheWay = ELOOP;
const SysError kNotRegularFile = EINVAL;

bool IsDiskFull(SysError code) {
    return code == ENOSPC || code == EDQUOT;
}

namespace {

std::string SystemPath(const std::string& path) {
    std::string result = path;
    for (char& c : result)
        if (c == '\\') c = '/';
    return result;
}

std::string LayerPath(const std::string& path) {
    std::string result = path;
    for (char& c : result)
        if (c == '/') c = '\\';
    return result;
}

SysError LastError() {
    return errno != 0 ? SysError(errno) : SysError(EIO);
}

EntryKind ProbeEntry(const std::string& systemPath) {
    struct stat info;
    if (::lstat(systemPath.c_str(), &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? EntryKind::Missing : EntryKind::Other;
    // A file with a second name may share its contents with a file outside.
    const bool hardLinked = S_ISREG(info.st_mode) && info.st_nlink > 1;
    return S_ISLNK(info.st_mode) || hardLinked ? EntryKind::Link : EntryKind::Other;
}

// 0, or kLinkInTheWay when a link below the link-free root is in the way.
SysError CheckNoLink(const std::string& systemPath) {
    return CheckNoLinkBelowRoot(systemPath, "/", ProbeEntry);
}

int Descriptor(intptr_t handle) {
    return int(handle);
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// The local time of a DOS date and time, or false when a field is out of range
// (the same fields the Win32 conversion rejects).
bool DosDateTimeToUnixTime(uint32_t dosDateTime, time_t* result) {
    const uint32_t date = dosDateTime >> 16;
    const uint32_t time = dosDateTime & 0xFFFF;
    std::tm fields{};
    const int year = int(date >> 9) + 1980;
    const int month = int(date >> 5 & 15);
    const int day = int(date & 31);
    const int hour = int(time >> 11);
    const int minute = int(time >> 5 & 63);
    const int second = int(time & 31) * 2;
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59)
        return false;
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1;
    const time_t converted = std::mktime(&fields);
    if (converted == time_t(-1)) return false;
    *result = converted;
    return true;
}

} // namespace

std::string SystemSpelling(const std::string& path) {
    return SystemPath(path);
}

File::~File() {
    close();
}

void File::record(SysError code) {
    if (error_ == 0) error_ = code;
}

void File::open(const std::string& path, FileOpen mode) {
    if (error_ != 0) return;
    close();
    const std::string systemPath = SystemPath(path);
    int flags = O_CLOEXEC;
    switch (mode) {
    case FileOpen::ReadShared: flags |= O_RDONLY; break;
    // Without O_NONBLOCK opening a FIFO would wait for a writer.
    case FileOpen::ReadRegular: flags |= O_RDONLY | O_NONBLOCK | O_NOCTTY; break;
    case FileOpen::ReadWriteShared: flags |= O_RDWR; break;
    case FileOpen::CreateAlways: flags |= O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW; break;
    case FileOpen::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW; break;
    }
    if (mode != FileOpen::ReadShared && mode != FileOpen::ReadRegular) {
        if (const SysError code = CheckNoLink(systemPath)) {
            record(code);
            return;
        }
    }
    const int fd = ::open(systemPath.c_str(), flags, 0666);
    if (fd < 0) {
        record(LastError());
        return;
    }
    struct stat status;
    if (mode == FileOpen::ReadRegular && (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))) {
        ::close(fd);
        record(kNotRegularFile);
        return;
    }
    handle_ = fd;
    watched_ = (flags & O_CREAT) != 0;
    if (watched_) ReportCreatedFile(systemPath.c_str());
}

void File::close() {
    if (handle_ == kNoHandle) return;
    const int fd = Descriptor(handle_);
    handle_ = kNoHandle;
    if (watched_) ReportCreatedFile(nullptr);
    watched_ = false;
    if (::close(fd) != 0) record(LastError());
}

uint32_t File::read(void* buffer, uint32_t count) {
    if (error_ != 0 || count == 0) return 0;
    if (handle_ == kNoHandle) {
        record(EBADF);
        return 0;
    }
    uint32_t done = 0;
    while (done < count) {
        const ssize_t n =
            ::read(Descriptor(handle_), static_cast<char*>(buffer) + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            record(LastError());
            break;
        }
        if (n == 0) break;
        done += uint32_t(n);
    }
    return done;
}

void File::write(const void* buffer, uint32_t count) {
    if (error_ != 0 || count == 0) return;
    if (handle_ == kNoHandle) {
        record(EBADF);
        return;
    }
    uint32_t done = 0;
    while (done < count) {
        const ssize_t n =
            ::write(Descriptor(handle_), static_cast<const char*>(buffer) + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            record(LastError());
            return;
        }
        if (n == 0) {
            record(ENOSPC);
            return;
        }
        done += uint32_t(n);
    }
}

void File::seek(uint32_t offset) {
    if (error_ != 0) return;
    if (handle_ == kNoHandle) {
        record(EBADF);
        return;
    }
    if (::lseek(Descriptor(handle_), off_t(offset), SEEK_SET) == off_t(-1)) record(LastError());
}

uint32_t File::position() {
    if (error_ != 0) return 0;
    if (handle_ == kNoHandle) {
        record(EBADF);
        return 0;
    }
    const off_t at = ::lseek(Descriptor(handle_), 0, SEEK_CUR);
    if (at == off_t(-1)) {
        record(LastError());
        return 0;
    }
    return uint32_t(at);
}

uint32_t File::size() {
    if (error_ != 0) return 0;
    if (handle_ == kNoHandle) {
        record(EBADF);
        return 0;
    }
    struct stat info;
    if (::fstat(Descriptor(handle_), &info) != 0) {
        record(LastError());
        return 0;
    }
    // Files of 4 GiB and more are beyond the archive format's 32-bit offsets.
    if (uint64_t(info.st_size) > UINT32_MAX) {
        record(EFBIG);
        return 0;
    }
    return uint32_t(info.st_size);
}

bool File::atEnd() {
    if (error_ != 0 || handle_ == kNoHandle) return true;
    const uint32_t at = position();
    const uint32_t length = size();
    return error_ != 0 || at >= length;
}

SysError File::setDosTime(uint32_t dosDateTime) {
    if (handle_ == kNoHandle) return EBADF;
    time_t local;
    if (!DosDateTimeToUnixTime(dosDateTime, &local)) return EINVAL;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = local;
    times[1].tv_nsec = 0;
    if (::futimens(Descriptor(handle_), times) != 0) return LastError();
    return 0;
}

SysError File::takeError() {
    const SysError code = error_;
    error_ = 0;
    return code;
}

SysError QueryFileAttributes(const std::string& path, uint32_t* attributes) {
    struct stat info;
    if (::stat(SystemPath(path).c_str(), &info) != 0) return LastError();
    uint32_t mask = 0;
    if (S_ISDIR(info.st_mode)) mask |= kAttrDirectory;
    if ((info.st_mode & S_IWUSR) == 0) mask |= kAttrReadOnly;
    *attributes = mask;
    return 0;
}

SysError ChangeFileAttributes(const std::string& path, uint32_t attributes) {
    const std::string systemPath = SystemPath(path);
    if (const SysError code = CheckNoLink(systemPath)) return code;
    struct stat info;
    if (::lstat(systemPath.c_str(), &info) != 0) return LastError();
    // A link (only outside a link-free root) is followed as before; anything
    // else is changed without following a link swapped in since the lstat.
    const bool link = S_ISLNK(info.st_mode);
    if (link && ::stat(systemPath.c_str(), &info) != 0) return LastError();
    mode_t mode = info.st_mode & 07777;
    if (attributes & kAttrReadOnly)
        mode &= ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH);
    else
        mode |= S_IWUSR;
    if (mode == (info.st_mode & 07777)) return 0;
    const int changed = link ? ::chmod(systemPath.c_str(), mode)
                             : ::fchmodat(AT_FDCWD, systemPath.c_str(), mode, AT_SYMLINK_NOFOLLOW);
    return changed == 0 ? 0 : LastError();
}

SysError RemoveFile(const std::string& path) {
    const std::string systemPath = SystemPath(path);
    if (const SysError code = CheckNoLink(systemPath)) return code;
    return ::unlink(systemPath.c_str()) == 0 ? 0 : LastError();
}

SysError MakeDirectory(const std::string& path) {
    const std::string systemPath = SystemPath(path);
    if (const SysError code = CheckNoLink(systemPath)) return code;
    return ::mkdir(systemPath.c_str(), 0777) == 0 ? 0 : LastError();
}

std::string CurrentDirectory() {
    char buffer[261];
    if (::getcwd(buffer, sizeof buffer) == nullptr) return std::string();
    return LayerPath(buffer);
}

std::string OwnProgramPath() {
    char buffer[PATH_MAX + 1];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n <= 0) return std::string();
    return LayerPath(std::string(buffer, size_t(n)));
}

uint32_t UnixTimeToDosDateTime(int64_t unixSeconds) {
    const time_t when = time_t(unixSeconds);
    std::tm fields{};
    if (::localtime_r(&when, &fields) == nullptr)
        return unixSeconds < 0 ? kDosDateTimeEarliest : kDosDateTimeLatest;
    return DosDateTimeOf(fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_hour,
                         fields.tm_min, fields.tm_sec);
}

SysError QueryFileDosTime(const std::string& path, uint32_t* dosDateTime) {
    struct stat info;
    if (::stat(SystemPath(path).c_str(), &info) != 0) return LastError();
    *dosDateTime = UnixTimeToDosDateTime(int64_t(info.st_mtime));
    return 0;
}
