// Everything after the payload is unpacked: Start menu entries, registry
// entries, the shared system files and the closing messages.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Global.h"

void InitPostSet();
void DonePostSet();

// Runs the whole post-setup sequence; it reports its own failures and
// always answers true.
bool RunPostSetup(const std::string& destination, HWND owner, ProgressCallback progress);

// The values of one post-setup run.
struct PostSetupContext {
    std::string destination; // no trailing backslash
    std::string SystemDirectory;
    HWND owner = nullptr;
    ProgressCallback progress = nullptr;
    OSVERSIONINFOA version{};
};

// A four-part file version as VS_FIXEDFILEINFO holds it: major.minor in
// VersionMS, build.revision in VersionLS.
struct FileVersion {
    uint32_t VersionMS;
    uint32_t VersionLS;
};

constexpr FileVersion MakeFileVersion(uint32_t major, uint32_t minor, uint32_t build,
                                      uint32_t revision) {
    return {(major << 16) | minor, (build << 16) | revision};
}

struct SharedFile {
    const char* deliveredName; // in the destination directory
    const char* installedName; // in the system directory
    bool versionTest;
    FileVersion delivered;
    bool closeProgressAfter; // argument of the progress call that ends the row
};

constexpr int kSharedFileCount = 6;
extern const SharedFile SharedFiles[kSharedFileCount];

enum class SharedFileResult { Continue, Stop };

// One row of SharedFiles: copy (or leave a newer library), else schedule the
// replacement at the next restart, else report and stop.
SharedFileResult InstallSharedFile(const PostSetupContext& context, const SharedFile& file);
// True when the file at path should be replaced by the delivered version.
bool IsInstalledFileOlder(const std::string& path, FileVersion delivered);
// Copies source next to the target as NAME.$$$ and registers the rename.
bool ScheduleReplaceOnRestart(const PostSetupContext& context, const std::string& installedName,
                              const std::string& sourcePath);
void ReportFileInUse(const PostSetupContext& context, const std::string& targetPath);
// Set once a file has been left for the next restart; never cleared.
bool RestartNeeded();

struct RegistryValue {
    const char* name; // nullptr: the key's default value
    std::string data;
};

// Creates or opens root\keyPath and sets each value as REG_SZ; a key that
// cannot be opened loses its values silently.
void WriteRegistryStrings(HKEY root, const std::string& keyPath,
                          const std::vector<RegistryValue>& values);

struct RegistryKey {
    HKEY root;
    const char* path;
    std::vector<RegistryValue> values;
};

// The six keys that every installation writes, in their order.
std::vector<RegistryKey> ProductRegistryKeys(const std::string& destination);
// The RunOnce entry written when a restart is pending.
RegistryKey BrowserFinderRunOnceKey(const std::string& destination);
// The browser finder's command line, quoted for paths with blanks.
std::string BrowserFinderCommand(const std::string& destination);

// The last step: start the browser finder and say so, or register it for the
// next logon and offer a restart.
void CompleteSetup(const PostSetupContext& context);
// True when Windows accepted the request to restart.
bool RestartWindows(const PostSetupContext& context);

// The system calls that tests replace to reach paths a real machine does not
// offer. Each starts as the real call.
struct PostSetupSystem {
    UINT(WINAPI* getSystemDirectory)(LPSTR buffer, UINT size);
    BOOL(WINAPI* getVersion)(LPOSVERSIONINFOA version);
    UINT(WINAPI* winExec)(LPCSTR commandLine, UINT show);
    BOOL(WINAPI* adjustTokenPrivileges)
    (HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES state, DWORD length,
     PTOKEN_PRIVILEGES previous, PDWORD returned);
    BOOL(WINAPI* exitWindows)(UINT flags, DWORD reason);
    // Full path of version.dll; empty means the real system directory's copy.
    std::string versionLibraryPath;
};
PostSetupSystem& PostSetupSystemCalls();
// Restores the real calls and clears RestartNeeded.
void ResetPostSetupForTest();
