// The two lists of the Choose Directory dialog and the path rules behind
// them: normalising typed paths, the levels of the current path with its
// subdirectories, and the drives with their volume or network names.
#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "ScopedWin32.h"
#include "SelDirInternal.h"
#include "SystemLibrary.h"

int CurrentLevelIndex = 0;
int CurrentDriveIndex = 0;

namespace {

constexpr int kIndentStep = 6;     // pixels per level of the directory tree
constexpr int kMaxLevelName = 259; // longest level item taken from a path

using WNetGetConnectionFn = DWORD(WINAPI*)(LPCSTR, LPSTR, LPDWORD);

std::string VolumeLabel(const std::string& root) {
    char label[260] = "";
    DWORD serial = 0, maxComponent = 0, flags = 0;
    if (!GetVolumeInformationA(root.c_str(), label, sizeof label, &serial, &maxComponent, &flags,
                               nullptr, 0))
        return "";
    return label;
}

// mpr is loaded on the first network drive and freed after the list is filled.
std::string RemoteName(std::optional<ScopedLibrary>& mpr, char letter) {
    if (!mpr) mpr.emplace(LoadSystemLibrary("mpr.dll"));
    if (mpr->get() == nullptr) return "";
    FARPROC proc = GetProcAddress(mpr->get(), "WNetGetConnectionA");
    if (proc == nullptr) return "";
    auto getConnection = reinterpret_cast<WNetGetConnectionFn>(reinterpret_cast<void*>(proc));
    char local[3] = {letter, ':', '\0'};
    char remote[260] = "";
    DWORD length = sizeof remote;
    if (getConnection(local, remote, &length) != NO_ERROR) return "";
    remote[sizeof remote - 1] = '\0';
    return remote;
}

} // namespace

namespace seldir {

bool ListBoxText(HWND list, int index, std::string& text) {
    LRESULT length = SendMessageA(list, LB_GETTEXTLEN, index, 0);
    if (length == LB_ERR || length < 0) return false;
    std::vector<char> buffer(static_cast<size_t>(length) + 1, '\0');
    LRESULT got = SendMessageA(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(buffer.data()));
    if (got == LB_ERR || got < 0 || got > length) return false;
    text.assign(buffer.data(), static_cast<size_t>(got));
    return true;
}

bool ComboBoxText(HWND combo, int index, std::string& text) {
    LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR || length < 0) return false;
    std::vector<char> buffer(static_cast<size_t>(length) + 1, '\0');
    LRESULT got = SendMessageA(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(buffer.data()));
    if (got == CB_ERR || got < 0 || got > length) return false;
    text.assign(buffer.data(), static_cast<size_t>(got));
    return true;
}

HICON LoadModuleIcon(int id) {
    return static_cast<HICON>(
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON, 0, 0, LR_SHARED));
}

} // namespace seldir

std::string CollapseBackslashes(std::string path) {
    std::string result;
    result.reserve(path.size());
    for (char c : path)
        if (c != '\\' || result.empty() || result.back() != '\\') result += c;
    return result;
}

std::string NormalizePath(const std::string& path) {
    DWORD capacity = static_cast<DWORD>(path.size() + 260);
    std::vector<char> buffer(capacity, '\0');
    char* filePart = nullptr;
    DWORD length = GetFullPathNameA(path.c_str(), capacity, buffer.data(), &filePart);
    // An answer that does not fit is the size it would need: a failure too.
    if (length == 0 || length >= capacity) return "";
    std::string full(buffer.data(), length);
    // Collapsing would turn \\server\share into a path on the current drive.
    if (full.size() >= 2 && full[0] == '\\' && full[1] == '\\') return "";
    return CollapseBackslashes(full);
}

void FillDriveList() {
    HWND combo = GetDlgItem(seldir::Dialog, IDC_SELDIR_DRIVES);
    // The drive of the path being shown, upper-cased as the letters are.
    char pathDrive = '\0';
    char edit[260] = "";
    if (GetDlgItemTextA(seldir::Dialog, IDC_SELDIR_PATH, edit, sizeof edit) > 0) {
        pathDrive = edit[0];
        CharUpperBuffA(&pathDrive, 1);
    }
    std::optional<ScopedLibrary> mpr;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        std::string root = std::string(1, letter) + ":\\";
        UINT type = GetDriveTypeA(root.c_str());
        int icon = 0;
        std::string volume;
        switch (type) {
        case DRIVE_REMOVABLE: icon = IDI_DRIVE_REMOVABLE; break;
        case DRIVE_FIXED:
            icon = IDI_DRIVE_FIXED;
            volume = VolumeLabel(root);
            break;
        case DRIVE_REMOTE:
            icon = IDI_DRIVE_REMOTE;
            volume = RemoteName(mpr, letter);
            break;
        case DRIVE_CDROM: icon = IDI_DRIVE_CDROM; break;
        case DRIVE_RAMDISK: icon = IDI_DRIVE_RAMDISK; break;
        default: continue; // unknown, no root directory, or a type we don't know
        }
        std::string text = std::string(1, letter) + ": " + volume;
        LRESULT index =
            SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        if (index == CB_ERR || index == CB_ERRSPACE) continue;
        SendMessageA(combo, CB_SETITEMDATA, index,
                     reinterpret_cast<LPARAM>(seldir::LoadModuleIcon(icon)));
        if (letter == pathDrive) {
            CurrentDriveIndex = static_cast<int>(index);
            SendMessageA(combo, CB_SETCURSEL, index, 0);
        }
    }
}

namespace {

// The levels of a path: the root with its backslash (C:\), then each name up
// to the next backslash. An empty name (a trailing or doubled backslash) ends it.
std::vector<std::string> PathLevels(const std::string& path) {
    std::vector<std::string> levels;
    size_t slash = path.find('\\');
    size_t next = slash == std::string::npos ? path.size() : slash + 1;
    if (next == 0) return levels;
    levels.push_back(path.substr(0, next));
    while (next < path.size()) {
        size_t end = path.find('\\', next);
        if (end == std::string::npos) end = path.size();
        if (end == next) break;
        levels.push_back(path.substr(next, std::min<size_t>(end - next, kMaxLevelName)));
        next = end + 1;
    }
    return levels;
}

void InsertItem(HWND list, const char* text, int indent) {
    LRESULT index = SendMessageA(list, LB_INSERTSTRING, static_cast<WPARAM>(-1),
                                 reinterpret_cast<LPARAM>(text));
    if (index >= 0) SendMessageA(list, LB_SETITEMDATA, index, indent);
}

} // namespace

void FillDirectoryList(const std::string& path) {
    HWND list = GetDlgItem(seldir::Dialog, IDC_SELDIR_DIRS);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);

    // LB_INSERTSTRING at -1 appends without sorting, whatever the list's style.
    for (const std::string& level : PathLevels(path)) {
        LRESULT index = SendMessageA(list, LB_INSERTSTRING, static_cast<WPARAM>(-1),
                                     reinterpret_cast<LPARAM>(level.c_str()));
        if (index < 0) break;
        SendMessageA(list, LB_SETITEMDATA, index, index * kIndentStep);
        CurrentLevelIndex = static_cast<int>(index);
    }
    SendMessageA(list, LB_SETCURSEL, CurrentLevelIndex, 0);

    std::string directory = path;
    if (!directory.empty() && directory.back() == '\\') directory.pop_back();
    WIN32_FIND_DATAA entry;
    ScopedFindHandle search(FindFirstFileA((directory + "\\*.*").c_str(), &entry));
    if (!search.valid()) return;
    int indent = (CurrentLevelIndex + 1) * kIndentStep;
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) continue;
        if (strcmp(entry.cFileName, ".") == 0 || strcmp(entry.cFileName, "..") == 0) continue;
        InsertItem(list, entry.cFileName, indent);
    } while (FindNextFileA(search.get(), &entry));
}

std::string PathFromListSelection() {
    HWND list = GetDlgItem(seldir::Dialog, IDC_SELDIR_DIRS);
    LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (selected == LB_ERR || selected < 0) return "";
    int k = static_cast<int>(selected);
    // A level item stands for that directory itself: its ancestors come before it.
    int lastAncestor = k <= CurrentLevelIndex ? k - 1 : CurrentLevelIndex;

    std::string path;
    if (!seldir::ListBoxText(list, k, path)) return "";
    for (int i = lastAncestor; i >= 0; --i) {
        std::string level;
        if (!seldir::ListBoxText(list, i, level)) return "";
        path = level + "\\" + path;
    }
    CurrentLevelIndex = lastAncestor;
    return CollapseBackslashes(path);
}
