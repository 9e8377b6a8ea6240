// The process's library search: the system directory only, where Windows can do that.
#include "QVRInst.h"

void RestrictDllSearch() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) return;
    FARPROC proc = GetProcAddress(kernel, "SetDefaultDllDirectories");
    if (proc == nullptr) return; // before Windows 7 with KB2533623
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(proc));
    setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}
