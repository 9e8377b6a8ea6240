// Drives the real QuorvathSetup.exe from a second process, as a person
// would: dialogs are found by class #32770 and caption together (the
// backdrop carries the welcome dialog's caption), read through WM_GETTEXT
// and answered with BM_CLICK.
#pragma once

#include <windows.h>

#include <psapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <string>

#include "SampleTestSupport.h"

constexpr char kWelcomeCaption[] = "Zelquist 1.05 Setup";
constexpr char kSetupCaption[] = "Quorvath Setup";
constexpr char kProgressCaption[] = "Setup is placing files on your computer...";
constexpr char kChooserCaption[] = "Choose Directory";
constexpr char kDefaultDestination[] = "C:\\Tavholt\\Quorvath";
constexpr char kSuccessText[] =
    "Quorvath has been successfully installed.\r\rTo run the application, click the START "
    "button, then point to PROGRAMS, and select ZELQUIST.";
constexpr int kWelcomeInstall = 201, kWelcomeCancel = 202, kWelcomeBrowse = 203,
              kWelcomeDestination = 206, kChooserPath = 103, kChooserOk = 108;

inline std::string UnixToWindows(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return "Z:" + path;
}

inline std::string BuiltInstaller() {
    return UnixToWindows(QX_SETUP_EXE);
}

// A visible #32770 window of the process with exactly this caption.
inline HWND FindProcessDialog(DWORD processId, const char* caption) {
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, "#32770", caption)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && IsWindowVisible(window)) return window;
    }
    return nullptr;
}

inline HWND WaitForDialog(DWORD processId, const char* caption, DWORD milliseconds = 30000) {
    for (DWORD waited = 0; waited < milliseconds; waited += 20) {
        if (HWND dialog = FindProcessDialog(processId, caption)) {
            Sleep(100); // let its WM_INITDIALOG finish
            return dialog;
        }
        Sleep(20);
    }
    return nullptr;
}

inline std::string ItemText(HWND dialog, int id) {
    return WindowText(GetDlgItem(dialog, id));
}

inline void Press(HWND dialog, int id) {
    PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

inline bool WaitGone(HWND window, DWORD milliseconds = 20000) {
    for (DWORD waited = 0; waited < milliseconds && IsWindow(window); waited += 20) Sleep(20);
    return !IsWindow(window);
}

// The message box of the process with this caption: its text, after
// pressing button; "" when none came in time.
inline std::string Answer(DWORD processId, const char* caption, int button,
                          DWORD milliseconds = 30000) {
    HWND box = WaitForDialog(processId, caption, milliseconds);
    if (box == nullptr) return "";
    std::string text = ItemText(box, 65535);
    Press(box, button);
    WaitGone(box);
    return text;
}

// Saves the screen as a PNG through ImageMagick's import when the run asks
// for screenshots (QX_SCREENSHOT_DIR, a Unix directory); Wine starts Unix
// programs, but hands back no process to wait for, so the file is watched.
inline void Screenshot(const char* name) {
    const char* dir = getenv("QX_SCREENSHOT_DIR");
    if (dir == nullptr || *dir == '\0') return;
    std::string unixPath = std::string(dir) + "/" + name + ".png";
    std::string windowsPath = UnixToWindows(unixPath);
    DeleteFileA(windowsPath.c_str());
    std::string line = "Z:\\usr\\bin\\import -window root " + unixPath;
    StartedProcess import = StartProgram(line);
    LONGLONG last = -1;
    for (int i = 0; i < 200; ++i) {
        Sleep(50);
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExA(windowsPath.c_str(), GetFileExInfoStandard, &data)) continue;
        LONGLONG size = (LONGLONG{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
        if (size > 0 && size == last) return;
        last = size;
    }
}

inline bool ProcessRunning(const char* exeName) {
    ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot.get(), &entry); more;
         more = Process32Next(snapshot.get(), &entry))
        if (lstrcmpiA(entry.szExeFile, exeName) == 0) return true;
    return false;
}

// Closes the browser finder's window, which a successful run leaves open.
inline void CloseBrowserFinder() {
    for (int i = 0; i < 100; ++i) {
        HWND window = FindWindowA("TolvaneWnd", nullptr);
        if (window == nullptr) {
            if (!ProcessRunning("tolvane.exe")) return;
            Sleep(50);
            continue;
        }
        PostMessageA(window, WM_CLOSE, 0, 0);
        WaitGone(window, 5000);
    }
}

inline std::string RegistryText(HKEY root, const char* key, const char* value) {
    ScopedRegKey opened;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, opened.receive()) != ERROR_SUCCESS) return "<no key>";
    char data[1024] = "";
    DWORD size = sizeof data, type = 0;
    if (RegQueryValueExA(opened.get(), value, nullptr, &type, reinterpret_cast<BYTE*>(data),
                         &size) != ERROR_SUCCESS)
        return "<no value>";
    return type == REG_SZ ? std::string(data) : "<not REG_SZ>";
}

inline bool RegistryKeyExists(HKEY root, const char* key) {
    ScopedRegKey opened;
    return RegOpenKeyExA(root, key, 0, KEY_READ, opened.receive()) == ERROR_SUCCESS;
}

inline std::string SystemDir() {
    char path[MAX_PATH] = "";
    GetSystemDirectoryA(path, MAX_PATH);
    return path;
}

// The program group "Zelquist", below the all-users or the user's Programs folder.
inline std::string ProgramGroup() {
    for (int folder : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
        char path[MAX_PATH] = "";
        if (SHGetSpecialFolderPathA(nullptr, path, folder, FALSE)) {
            std::string group = std::string(path) + "\\Zelquist";
            if (PathExists(group)) return group;
        }
    }
    return "";
}

// The target of a shell link, read back through IShellLinkA.
inline std::string LinkTarget(const std::string& linkPath, std::string* workingDir = nullptr) {
    ScopedCoInit com;
    ComPtr<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                link.receive())))
        return "<no shell link>";
    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.receive()))) return "<no file>";
    wchar_t wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, linkPath.c_str(), -1, wide, MAX_PATH);
    if (FAILED(file->Load(wide, STGM_READ))) return "<not loaded>";
    char target[MAX_PATH] = "";
    link->GetPath(target, MAX_PATH, nullptr, 0);
    if (workingDir != nullptr) {
        char dir[MAX_PATH] = "";
        link->GetWorkingDirectory(dir, MAX_PATH);
        *workingDir = dir;
    }
    return target;
}

inline SIZE_T PeakWorkingSet(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(process, &counters, sizeof counters) ? counters.PeakWorkingSetSize
                                                                     : 0;
}

// The DOS date and time of a file's last write, as the archive stores it.
inline DWORD DosStamp(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    FILETIME local;
    FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
    WORD date = 0, time = 0;
    FileTimeToDosDateTime(&local, &date, &time);
    return DWORD{date} << 16 | time;
}

inline DWORD Attributes(const std::string& path) {
    return GetFileAttributesA(path.c_str());
}
