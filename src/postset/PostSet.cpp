#include "PostSet.h"

#include "DeliveredFiles.h"

#include "PostSetInternal.h"
#include "shortcut.h"

namespace {

constexpr UINT kSystemDirectoryBuffer = MAX_PATH;

PostSetupSystem RealSystemCalls() {
    return {GetSystemDirectoryA, GetVersionExA, WinExec, AdjustTokenPrivileges, ExitWindowsEx, {}};
}

PostSetupSystem systemCalls = RealSystemCalls();

// The answer without a trailing backslash, or empty when the call failed
// or the path did not fit its buffer.
std::string AskSystemDirectory() {
    char buffer[kSystemDirectoryBuffer] = {};
    UINT length = systemCalls.getSystemDirectory(buffer, kSystemDirectoryBuffer);
    if (length == 0 || length >= kSystemDirectoryBuffer) return {};
    std::string path(buffer, length);
    if (path.back() == '\\') path.pop_back();
    return path;
}

} // namespace

PostSetupSystem& PostSetupSystemCalls() {
    return systemCalls;
}

void ResetPostSetupForTest() {
    systemCalls = RealSystemCalls();
    SetRestartNeeded(false);
}

void InitPostSet() {}
void DonePostSet() {}

bool RunPostSetup(const std::string& destination, HWND owner, ProgressCallback progress) {
    PostSetupContext context;
    context.destination = destination;
    context.owner = owner;
    context.progress = progress;
    context.version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    systemCalls.getVersion(&context.version);
    progress(false);

    // Shortcuts come first and their failures are ignored: the closing
    // messages point at the Start menu either way.
    const char* group = "Zelquist";
    CreateProgramGroup(group);
    progress(false);
    CreateProgramShortcut(group, "Quorvath", destination + "\\" + kProductProgram);
    progress(false);
    CreateProgramShortcut(group, "QVR Help", destination + "\\" + kHelpContents);
    progress(false);
    CreateProgramShortcut(group, "QVR-compatible Browsers", destination + "\\" + kBrowserFinder);
    progress(false);

    context.SystemDirectory = AskSystemDirectory();
    if (context.SystemDirectory.empty()) {
        progress(true);
        MessageBoxA(owner, "Unable to determine Windows' System Directory", "Quorvath - Error",
                    MB_OK | MB_ICONERROR);
        return true;
    }

    for (const RegistryKey& key : ProductRegistryKeys(destination)) {
        WriteRegistryStrings(key.root, key.path, key.values);
        progress(false);
    }

    for (const SharedFile& file : SharedFiles)
        if (InstallSharedFile(context, file) == SharedFileResult::Stop) return true;

    SetForegroundWindow(owner);
    CompleteSetup(context);
    return true;
}
