// Libraries loaded at run time come from the system directory by full path:
// the installer usually starts from a downloads folder that others can write
// to, and a copy planted there must never run.
#pragma once

#include <windows.h>

#include <string>

// The system directory's path of the library name, or the empty text.
inline std::string SystemLibraryPath(const char* name) {
    char directory[MAX_PATH];
    const UINT length = GetSystemDirectoryA(directory, sizeof directory);
    if (length == 0 || length >= sizeof directory) return std::string();
    std::string path(directory, length);
    if (path.back() != '\\') path += '\\';
    return path + name;
}

inline HMODULE LoadSystemLibrary(const char* name) {
    const std::string path = SystemLibraryPath(name);
    return path.empty() ? nullptr : LoadLibraryA(path.c_str());
}
