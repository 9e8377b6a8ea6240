// Run-time loading of system libraries. The installer usually starts from a
// downloads folder that others can write to; only the system directory counts.
#include "QVRInst.h"

HMODULE LoadSystemLibrary(const char* name) {
    char directory[MAX_PATH];
    UINT length = GetSystemDirectoryA(directory, sizeof directory);
    if (length == 0 || length >= sizeof directory) return nullptr;
    std::string path(directory, length);
    if (path.back() != '\\') path += '\\';
    path += name;
    return LoadLibraryA(path.c_str());
}

void RestrictDllSearch() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) return;
    FARPROC proc = GetProcAddress(kernel, "SetDefaultDllDirectories");
    if (proc == nullptr) return; // before Windows 7 with KB2533623
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(proc));
    setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}
