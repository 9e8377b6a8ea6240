// The file layer on Win32: CreateFileA and friends, with the sharing modes
// the payload units ask for.
#include "FileIo.h"

#include <windows.h>

#include <vector>

#include "FileIoInternal.h"

const SysError kLinkInTheWay = ERROR_CANT_RESOLVE_FILENAME;
const SysError kNotRegularFile = ERROR_BAD_FILE_TYPE;

bool IsDiskFull(SysError code) {
    return code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL;
}

namespace {

HANDLE Handle(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

SysError LastError() {
    const DWORD code = GetLastError();
    return code != 0 ? SysError(code) : SysError(ERROR_GEN_FAILURE);
}

EntryKind ProbeEntry(const std::string& systemPath) {
    const DWORD mask = GetFileAttributesA(systemPath.c_str());
    if (mask == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? EntryKind::Missing
                                                                            : EntryKind::Other;
    }
    // Junctions and symbolic links are reparse points; Windows 9x has none.
    return (mask & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? EntryKind::Link : EntryKind::Other;
}

// 0, or kLinkInTheWay when a reparse point below the link-free root is in the way.
SysError CheckNoLink(const std::string& path) {
    return CheckNoLinkBelowRoot(path, "\\/", ProbeEntry);
}

// Windows times count 100 ns steps from 1601; Unix seconds count from 1970.
constexpr int64_t kUnixEpochIn100ns = 116444736000000000LL;

} // namespace

std::string SystemSpelling(const std::string& path) {
    return path;
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
    DWORD access = GENERIC_READ | GENERIC_WRITE;
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    DWORD disposition = OPEN_EXISTING;
    switch (mode) {
    case FileOpen::ReadShared:
    case FileOpen::ReadRegular: access = GENERIC_READ; break;
    case FileOpen::ReadWriteShared: break;
    case FileOpen::CreateAlways:
        share = FILE_SHARE_READ;
        disposition = CREATE_ALWAYS;
        break;
    case FileOpen::CreateNew:
        share = FILE_SHARE_READ;
        disposition = CREATE_NEW;
        break;
    }
    if (mode != FileOpen::ReadShared && mode != FileOpen::ReadRegular) {
        if (const SysError code = CheckNoLink(path)) {
            record(code);
            return;
        }
    }
    const HANDLE handle = CreateFileA(path.c_str(), access, share, nullptr, disposition,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        record(LastError());
        return;
    }
    if (mode == FileOpen::ReadRegular && GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        record(kNotRegularFile);
        return;
    }
    handle_ = reinterpret_cast<intptr_t>(handle);
    watched_ = disposition != OPEN_EXISTING;
    if (watched_) ReportCreatedFile(path.c_str());
}

void File::close() {
    if (handle_ == kNoHandle) return;
    const HANDLE handle = Handle(handle_);
    handle_ = kNoHandle;
    if (watched_) ReportCreatedFile(nullptr);
    watched_ = false;
    if (!CloseHandle(handle)) record(LastError());
}

uint32_t File::read(void* buffer, uint32_t count) {
    if (error_ != 0 || count == 0) return 0;
    if (handle_ == kNoHandle) {
        record(ERROR_INVALID_HANDLE);
        return 0;
    }
    DWORD done = 0;
    if (!ReadFile(Handle(handle_), buffer, count, &done, nullptr)) {
        record(LastError());
        return 0;
    }
    return done;
}

void File::write(const void* buffer, uint32_t count) {
    if (error_ != 0 || count == 0) return;
    if (handle_ == kNoHandle) {
        record(ERROR_INVALID_HANDLE);
        return;
    }
    DWORD done = 0;
    if (!WriteFile(Handle(handle_), buffer, count, &done, nullptr)) {
        record(LastError());
        return;
    }
    if (done != count) record(ERROR_DISK_FULL);
}

void File::seek(uint32_t offset) {
    if (error_ != 0) return;
    if (handle_ == kNoHandle) {
        record(ERROR_INVALID_HANDLE);
        return;
    }
    LONG high = 0;
    SetLastError(NO_ERROR);
    if (SetFilePointer(Handle(handle_), LONG(offset), &high, FILE_BEGIN) ==
            INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR)
        record(LastError());
}

uint32_t File::position() {
    if (error_ != 0) return 0;
    if (handle_ == kNoHandle) {
        record(ERROR_INVALID_HANDLE);
        return 0;
    }
    LONG high = 0;
    SetLastError(NO_ERROR);
    const DWORD low = SetFilePointer(Handle(handle_), 0, &high, FILE_CURRENT);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
        record(LastError());
        return 0;
    }
    return low;
}

uint32_t File::size() {
    if (error_ != 0) return 0;
    if (handle_ == kNoHandle) {
        record(ERROR_INVALID_HANDLE);
        return 0;
    }
    DWORD high = 0;
    SetLastError(NO_ERROR);
    const DWORD low = GetFileSize(Handle(handle_), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        record(LastError());
        return 0;
    }
    // Files of 4 GiB and more are beyond the archive format's 32-bit offsets.
    if (high != 0) {
        record(ERROR_FILE_TOO_LARGE);
        return 0;
    }
    return low;
}

bool File::atEnd() {
    if (error_ != 0 || handle_ == kNoHandle) return true;
    const uint32_t at = position();
    const uint32_t length = size();
    return error_ != 0 || at >= length;
}

SysError File::setDosTime(uint32_t dosDateTime) {
    if (handle_ == kNoHandle) return ERROR_INVALID_HANDLE;
    FILETIME local;
    FILETIME utc;
    if (!DosDateTimeToFileTime(WORD(dosDateTime >> 16), WORD(dosDateTime), &local))
        return LastError();
    if (!LocalFileTimeToFileTime(&local, &utc)) return LastError();
    if (!SetFileTime(Handle(handle_), nullptr, nullptr, &utc)) return LastError();
    return 0;
}

SysError File::takeError() {
    const SysError code = error_;
    error_ = 0;
    return code;
}

SysError QueryFileAttributes(const std::string& path, uint32_t* attributes) {
    const DWORD mask = GetFileAttributesA(path.c_str());
    if (mask == INVALID_FILE_ATTRIBUTES) return LastError();
    *attributes = mask;
    return 0;
}

SysError ChangeFileAttributes(const std::string& path, uint32_t attributes) {
    if (const SysError code = CheckNoLink(path)) return code;
    return SetFileAttributesA(path.c_str(), attributes) ? 0 : LastError();
}

SysError RemoveFile(const std::string& path) {
    if (const SysError code = CheckNoLink(path)) return code;
    return DeleteFileA(path.c_str()) ? 0 : LastError();
}

SysError MakeDirectory(const std::string& path) {
    if (const SysError code = CheckNoLink(path)) return code;
    return CreateDirectoryA(path.c_str(), nullptr) ? 0 : LastError();
}

std::string CurrentDirectory() {
    char buffer[MAX_PATH + 1];
    const DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
    if (n == 0 || n > MAX_PATH) return std::string();
    return std::string(buffer, n);
}

std::string OwnProgramPath() {
    std::vector<char> buffer(MAX_PATH + 1);
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n == 0) return std::string();
        if (n < buffer.size()) return std::string(buffer.data(), n);
        if (buffer.size() >= 32768) return std::string();
        buffer.resize(buffer.size() * 2);
    }
}

uint32_t UnixTimeToDosDateTime(int64_t unixSeconds) {
    // The file time of 1601 and later is what the system can convert.
    if (unixSeconds < -11644473600LL) return kDosDateTimeEarliest;
    if (unixSeconds > 253402300799LL) return kDosDateTimeLatest; // 9999-12-31 23:59:59
    const uint64_t ticks = uint64_t(unixSeconds * 10000000LL + kUnixEpochIn100ns);
    FILETIME utc;
    utc.dwLowDateTime = DWORD(ticks);
    utc.dwHighDateTime = DWORD(ticks >> 32);
    FILETIME local;
    SYSTEMTIME fields;
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &fields))
        return unixSeconds < 0 ? kDosDateTimeEarliest : kDosDateTimeLatest;
    return DosDateTimeOf(fields.wYear, fields.wMonth, fields.wDay, fields.wHour, fields.wMinute,
                         fields.wSecond);
}

namespace {

uint32_t DosTimeOf(const FILETIME& time) {
    const uint64_t ticks = uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime;
    return UnixTimeToDosDateTime((int64_t(ticks) - kUnixEpochIn100ns) / 10000000LL);
}

} // namespace

SysError QueryFileDosTimeFromEntry(const std::string& path, uint32_t* dosDateTime) {
    // A pattern would find some other name.
    if (path.find_first_of("*?") != std::string::npos) return ERROR_INVALID_NAME;
    WIN32_FIND_DATAA entry;
    const HANDLE search = FindFirstFileA(path.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return LastError();
    FindClose(search);
    *dosDateTime = DosTimeOf(entry.ftLastWriteTime);
    return 0;
}

// GetFileAttributesExA came with Windows 98 and NT 4.0, so it is looked up:
// a program that imported it would not start on Windows 95. There the
// directory entry has the same time.
SysError QueryFileDosTime(const std::string& path, uint32_t* dosDateTime) {
    using GetFileAttributesExFn = BOOL(WINAPI*)(LPCSTR, GET_FILEEX_INFO_LEVELS, LPVOID);
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const FARPROC proc =
        kernel != nullptr ? GetProcAddress(kernel, "GetFileAttributesExA") : nullptr;
    const auto getAttributes =
        reinterpret_cast<GetFileAttributesExFn>(reinterpret_cast<void (*)()>(proc));
    if (getAttributes == nullptr) return QueryFileDosTimeFromEntry(path, dosDateTime);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!getAttributes(path.c_str(), GetFileExInfoStandard, &data)) return LastError();
    *dosDateTime = DosTimeOf(data.ftLastWriteTime);
    return 0;
}
