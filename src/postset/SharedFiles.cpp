#include "PostSet.h"

#include <memory>

#include "DeliveredFiles.h"
#include "PostSetInternal.h"
#include "ScopedWin32.h"
#include "SystemLibrary.h"

namespace {

bool restartNeeded = false;

constexpr DWORD kReplaceAtRestart = MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT; // 5
constexpr DWORD kFixedFileInfoSignature = 0xFEEF04BD;

using GetFileVersionInfoSizeFn = DWORD(WINAPI*)(LPCSTR, LPDWORD);
using GetFileVersionInfoFn = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
using VerQueryValueFn = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);

template <typename Fn> Fn LibraryProc(HMODULE module, const char* name) {
    // Through the generic function type, which GCC lets convert to any other.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// version.dll is not one of the libraries Windows always takes from the
// system directory, so it is loaded by full path: a copy planted beside the
// installer must never run.
std::string VersionLibraryPath() {
    const std::string& chosen = PostSetupSystemCalls().versionLibraryPath;
    if (!chosen.empty()) return chosen;
    return SystemLibraryPath("version.dll");
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

const SharedFile SharedFiles[kSharedFileCount] = {
    {kSharedFileNames[0].delivered, kSharedFileNames[0].installed, true,
     MakeFileVersion(4, 71, 1712, 5), false},
    {kSharedFileNames[1].delivered, kSharedFileNames[1].installed, true,
     MakeFileVersion(4, 71, 1712, 0), true},
    {kSharedFileNames[2].delivered, kSharedFileNames[2].installed, false, {0, 0}, true},
    {kSharedFileNames[3].delivered, kSharedFileNames[3].installed, false, {0, 0}, true},
    {kSharedFileNames[4].delivered, kSharedFileNames[4].installed, false, {0, 0}, true},
    {kSharedFileNames[5].delivered, kSharedFileNames[5].installed, false, {0, 0}, true},
};
static_assert(sizeof kSharedFileNames / sizeof kSharedFileNames[0] == kSharedFileCount);

bool RestartNeeded() {
    return restartNeeded;
}
void SetRestartNeeded(bool value) {
    restartNeeded = value;
}

bool IsInstalledFileOlder(const std::string& path, FileVersion delivered) {
    // Nothing installed: nothing newer to protect.
    if (!FileExists(path)) return true;
    std::string libraryPath = VersionLibraryPath();
    if (libraryPath.empty()) return false;
    // Without the version library an installed copy cannot be judged, and
    // overwriting it could downgrade the system: leave it alone.
    ScopedLibrary library(LoadLibraryA(libraryPath.c_str()));
    if (library.get() == nullptr) return false;
    auto getSize = LibraryProc<GetFileVersionInfoSizeFn>(library.get(), "GetFileVersionInfoSizeA");
    auto getInfo = LibraryProc<GetFileVersionInfoFn>(library.get(), "GetFileVersionInfoA");
    auto query = LibraryProc<VerQueryValueFn>(library.get(), "VerQueryValueA");
    if (getSize == nullptr || getInfo == nullptr || query == nullptr) return false;

    DWORD handle = 0;
    DWORD size = getSize(path.c_str(), &handle);
    if (size == 0) return true;
    std::unique_ptr<char[]> buffer(new char[size + 1]());
    if (!getInfo(path.c_str(), handle, size, buffer.get())) return true;
    void* block = nullptr;
    UINT length = 0;
    if (!query(buffer.get(), "\\", &block, &length)) return true;
    // A short or unsigned block is no readable version; never read past it.
    if (block == nullptr || length < sizeof(VS_FIXEDFILEINFO)) return true;
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(block);
    if (info->dwSignature != kFixedFileInfoSignature) return true;

    // Unsigned halves: a major or build of 32768 and more is newer, not older.
    uint32_t installedMS = info->dwFileVersionMS;
    uint32_t installedLS = info->dwFileVersionLS;
    if (installedMS != delivered.VersionMS) return installedMS < delivered.VersionMS;
    return installedLS < delivered.VersionLS;
}

bool ScheduleReplaceOnRestart(const PostSetupContext& context, const std::string& installedName,
                              const std::string& sourcePath) {
    size_t stem = installedName.size() >= 3 ? installedName.size() - 3 : 0;
    std::string temporary = context.SystemDirectory + "\\" + installedName.substr(0, stem) + "$$$";
    std::string target = context.SystemDirectory + "\\" + installedName;
    if (!CopyFileA(sourcePath.c_str(), temporary.c_str(), FALSE)) return false;
    bool registered;
    if (context.version.dwPlatformId == VER_PLATFORM_WIN32_NT &&
        context.version.dwMajorVersion >= 4)
        registered = MoveFileExA(temporary.c_str(), target.c_str(), kReplaceAtRestart) != 0;
    else
        registered = WritePrivateProfileStringA("rename", target.c_str(), temporary.c_str(),
                                                "WinInit.ini") != 0;
    if (!registered) return false;
    restartNeeded = true;
    return true;
}

void ReportFileInUse(const PostSetupContext& context, const std::string& targetPath) {
    context.progress(true);
    std::string text = "Unable to complete the setup process as file ";
    text += "\"";
    text += targetPath;
    text += "\"";
    text += "is currently in use by another process.\r\r";
    text += "Please, close all applicaions that are working at the moment and run ";
    text += "this program, again.";
    MessageBoxA(context.owner, text.c_str(), "Quorvath Setup", MB_OK | MB_ICONERROR);
}

SharedFileResult InstallSharedFile(const PostSetupContext& context, const SharedFile& file) {
    std::string source = context.destination + "\\" + file.deliveredName;
    std::string target = context.SystemDirectory + "\\" + file.installedName;
    bool install = !file.versionTest || IsInstalledFileOlder(target, file.delivered);
    if (install && !CopyFileA(source.c_str(), target.c_str(), FALSE) &&
        !ScheduleReplaceOnRestart(context, file.installedName, source)) {
        ReportFileInUse(context, target);
        return SharedFileResult::Stop;
    }
    context.progress(false);
    DeleteFileA(source.c_str());
    context.progress(file.closeProgressAfter);
    return SharedFileResult::Continue;
}
