#include "PostSet.h"

#include "ScopedWin32.h"

namespace {

const char* const kCaption = "Quorvath Setup";
const char* const kRestartQuestion =
    "The Quorvath icon has been placed in the PROGRAMS menu.\r\rYou should restart your computer "
    "to complete the Quorvath setup. Would you like to do it now?";
const char* const kRestartPending =
    "The Quorvath icon has been placed in the PROGRAMS menu.\r\rThe installation process will "
    "continue when you restart the computer.";
const char* const kSuccess =
    "Quorvath has been successfully installed.\r\rTo run the application, click the START "
    "button, then point to PROGRAMS, and select ZELQUIST.";

constexpr DWORD kTokenAccess = TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY; // 0x28

// Enables the shutdown privilege; AdjustTokenPrivileges succeeds without
// granting it to an account that lacks it, so the last error decides.
bool EnableShutdownPrivilege() {
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), kTokenAccess, &rawToken)) return false;
    ScopedHandle token(rawToken);
    TOKEN_PRIVILEGES privileges{};
    if (!LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid))
        return false;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    TOKEN_PRIVILEGES previous{};
    DWORD returned = 0;
    SetLastError(ERROR_SUCCESS);
    if (!PostSetupSystemCalls().adjustTokenPrivileges(token.get(), FALSE, &privileges,
                                                      sizeof(previous), &previous, &returned))
        return false;
    return GetLastError() == ERROR_SUCCESS;
}

} // namespace

bool RestartWindows(const PostSetupContext& context) {
    if (context.version.dwPlatformId == VER_PLATFORM_WIN32_NT && !EnableShutdownPrivilege())
        return false;
    return PostSetupSystemCalls().exitWindows(EWX_REBOOT, 0) != 0;
}

void CompleteSetup(const PostSetupContext& context) {
    if (RestartNeeded()) {
        RegistryKey runOnce = BrowserFinderRunOnceKey(context.destination);
        WriteRegistryStrings(runOnce.root, runOnce.path, runOnce.values);
        if (MessageBoxA(context.owner, kRestartQuestion, kCaption, MB_YESNO | MB_ICONQUESTION) ==
                IDYES &&
            RestartWindows(context))
            return;
        MessageBoxA(context.owner, kRestartPending, kCaption, MB_OK | MB_ICONINFORMATION);
        return;
    }
    PostSetupSystemCalls().winExec(BrowserFinderCommand(context.destination).c_str(),
                                   SW_SHOWNORMAL);
    MessageBoxA(context.owner, kSuccess, kCaption, MB_OK | MB_ICONINFORMATION);
}
