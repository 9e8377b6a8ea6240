#include "StreamFiles.h"

#include <windows.h>

#include <algorithm>

#include "HostPlatform.h"

namespace {

HANDLE Handle(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

std::string Reason(const std::string& path, const char* what) {
    return path + ": " + what + ": " + SystemErrorText(GetLastError());
}

bool ReadFully(intptr_t handle, uint8_t* buffer, size_t capacity, size_t* got) {
    *got = 0;
    while (*got < capacity) {
        const DWORD ask = DWORD(std::min<size_t>(capacity - *got, 1u << 20));
        DWORD n = 0;
        if (!ReadFile(Handle(handle), buffer + *got, ask, &n, nullptr)) return false;
        if (n == 0) break;
        *got += n;
    }
    return true;
}

bool SeekTo(intptr_t handle, uint64_t offset) {
    LARGE_INTEGER to;
    to.QuadPart = LONGLONG(offset);
    return SetFilePointerEx(Handle(handle), to, nullptr, FILE_BEGIN) != 0;
}

} // namespace

InputStream::~InputStream() {
    if (handle_ != -1) CloseHandle(Handle(handle_));
}

bool InputStream::open(const std::string& path, std::string* error) {
    path_ = path;
    const HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *error = Reason(path, "cannot open");
        return false;
    }
    handle_ = reinterpret_cast<intptr_t>(h);
    if (GetFileType(h) != FILE_TYPE_DISK) {
        *error = path + ": a device, not a regular file";
        return false;
    }
    return true;
}

bool InputStream::read(uint8_t* buffer, size_t capacity, size_t* got, std::string* error) {
    if (ReadFully(handle_, buffer, capacity, got)) return true;
    *error = Reason(path_, "cannot read");
    return false;
}

bool InputStream::seek(uint64_t offset, std::string* error) {
    if (SeekTo(handle_, offset)) return true;
    *error = Reason(path_, "cannot read");
    return false;
}

ScratchFile::~ScratchFile() {
    close();
}

bool ScratchFile::create(const std::string& beside, std::string* error) {
    close();
    // Delete-on-close: the system removes it when the handle goes, also
    // when the process is killed.
    for (DWORD attempt = 0; attempt < 100; ++attempt) {
        name_ = beside + ".spool-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(GetTickCount() + attempt);
        const HANDLE h =
            CreateFileA(name_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            handle_ = reinterpret_cast<intptr_t>(h);
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) break;
    }
    *error = Reason(beside, "cannot create a scratch file beside it");
    return false;
}

bool ScratchFile::write(const uint8_t* data, size_t size, std::string* error) {
    while (size > 0) {
        const DWORD ask = DWORD(std::min<size_t>(size, 1u << 20));
        DWORD n = 0;
        const bool wrote = WriteFile(Handle(handle_), data, ask, &n, nullptr) != 0;
        if (!wrote || n != ask) {
            if (wrote) SetLastError(ERROR_DISK_FULL);
            *error = Reason(name_, "cannot write the scratch file");
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

bool ScratchFile::rewind(std::string* error) {
    if (SeekTo(handle_, 0)) return true;
    *error = Reason(name_, "cannot read the scratch file");
    return false;
}

bool ScratchFile::read(uint8_t* buffer, size_t capacity, size_t* got, std::string* error) {
    if (ReadFully(handle_, buffer, capacity, got)) return true;
    *error = Reason(name_, "cannot read the scratch file");
    return false;
}

void ScratchFile::close() {
    if (handle_ != -1) CloseHandle(Handle(handle_));
    handle_ = -1;
}
