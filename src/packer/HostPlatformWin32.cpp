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

std::string ExecutablePath() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(path, length) : std::string();
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

SysError RenameOver(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : GetLastError();
}

bool LocalTimeFields(int64_t seconds, std::tm* fields) {
    const __time64_t t = seconds;
    return _localtime64_s(fields, &t) == 0;
}
