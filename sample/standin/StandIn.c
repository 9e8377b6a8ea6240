/* The shared-file stand-ins that are libraries: a DLL that does nothing but
 * load and carry a version resource. No C runtime and no imports, so each
 * stays under 3 KiB and can be loaded anywhere. */
#include <windows.h>

BOOL WINAPI StandInEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
