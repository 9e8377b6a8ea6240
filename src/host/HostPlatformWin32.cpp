#include "HostPlatform.h"

#include <io.h>
#include <windows.h>

bool IsTerminal(std::FILE* stream) {
    return _isatty(_fileno(stream)) != 0;
}

int TerminalColumns(std::FILE* stream) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    const HANDLE console = HANDLE(_get_osfhandle(_fileno(stream)));
    if (!GetConsoleScreenBufferInfo(console, &info)) return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

unsigned ProcessorCount() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? unsigned(info.dwNumberOfProcessors) : 1;
}

std::string SystemErrorText(SysError code) {
    char text[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                          text[length - 1] == '.' || text[length - 1] == ' '))
        --length;
    if (length == 0) return "system error " + std::to_string(code);
    return std::string(text, length);
}

SysError ModificationTime(const std::string& path, int64_t* seconds) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return GetLastError();
    // FILETIME counts 100 ns steps since 1601-01-01 UTC.
    const int64_t ticks = int64_t(uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32 |
                                  data.ftLastWriteTime.dwLowDateTime);
    *seconds = (ticks - 116444736000000000LL) / 10000000;
    return 0;
}

SysError OpenRegularFile(const std::string& path, std::FILE** file, std::string* kind) {
    *file = nullptr;
    kind->clear();
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError();
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        *kind = "a folder";
        return ERROR_INVALID_PARAMETER;
    }
    *file = std::fopen(path.c_str(), "rb");
    if (*file == nullptr) return GetLastError() != 0 ? GetLastError() : ERROR_OPEN_FAILED;
    // Consoles, pipes and devices are character or pipe handles, not disk files.
    if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(*file)))) != FILE_TYPE_DISK) {
        std::fclose(*file);
        *file = nullptr;
        *kind = "a device";
        return ERROR_INVALID_PARAMETER;
    }
    return 0;
}

std::string KindOfFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return "a folder";
    return "a device";
}

SysError RenameOver(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : GetLastError();
}

bool SameFile(const File& a, const File& b) {
    BY_HANDLE_FILE_INFORMATION first, second;
    if (!a.isOpen() || !b.isOpen() ||
        !GetFileInformationByHandle(reinterpret_cast<HANDLE>(a.systemHandle()), &first) ||
        !GetFileInformationByHandle(reinterpret_cast<HANDLE>(b.systemHandle()), &second))
        return false;
    return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}
