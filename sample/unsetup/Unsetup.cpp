// unsetup.exe, the uninstaller that the uninstall entry names. After the
// user confirms, it removes what the installer put on the machine: the files
// that "uninstall.lst" lists in its own directory (and the browser finder's
// log), the folders they leave empty, the program group "Zelquist" with its
// three links, and the registry entries of the installation. The shared system files stay, as other
// programs may use them. It removes itself last, when Windows restarts, and
// ends with a message that names whatever it could not remove.
//
// Exit code: 0 everything removed, 1 something could not be removed,
// 2 the user declined.
#include <windows.h>

#include <shlobj.h>

#include "ScopedWin32.h"
#include "TextBuffer.h"

namespace {

constexpr char kCaption[] = "Quorvath Uninstall";
constexpr char kManifestName[] = "uninstall.lst";
constexpr char kSelfName[] = "unsetup.exe";
constexpr char kGroupName[] = "Zelquist";
constexpr const char* kLinkNames[] = {"Quorvath", "QVR Help", "QVR-compatible Browsers"};
constexpr DWORD kMaxManifestBytes = 64 * 1024;
// Files the product writes itself after the installation.
constexpr const char* kWrittenFiles[] = {"tolvane.log"};

TextBuffer problems; // one line per item that could not be removed
TextBuffer kept;     // folders left because they hold files of others

void AddLine(TextBuffer& list, const char* first, const char* second = "") {
    list.append("  ");
    list.append(first);
    list.append(second);
    list.append("\r\n");
}

bool SameText(const char* a, const char* b) {
    return lstrcmpiA(a, b) == 0;
}

// Builds directory + "\" + name; false when it does not fit MAX_PATH.
bool JoinPath(char* out, const char* directory, const char* name) {
    if (lstrlenA(directory) + 1 + lstrlenA(name) >= MAX_PATH) return false;
    wsprintfA(out, "%s\\%s", directory, name);
    return true;
}

bool Exists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// The manifest lives in a folder its user may write to: accept only plain
// relative names, so that no line can reach outside the installation.
bool IsSafeMemberName(const char* name) {
    if (name[0] == '\0' || name[0] == '\\' || name[0] == '/') return false;
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p == ':' || *p == '/') return false;
        if (p[0] == '.' && p[1] == '.' && (p == name || p[-1] == '\\')) return false;
    }
    return true;
}

void RemoveFile(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) AddLine(problems, path);
        return; // already gone
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return;
    if ((attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) !=
        0)
        SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileA(path)) AddLine(problems, path);
}

// Removes the folders of one member, deepest first; a folder that still
// holds something stays.
void RemoveMemberFolders(const char* dest, const char* member) {
    char path[MAX_PATH];
    if (!JoinPath(path, dest, member)) return;
    int destLength = lstrlenA(dest);
    for (int i = lstrlenA(path) - 1; i > destLength; --i) {
        if (path[i] != '\\') continue;
        path[i] = '\0';
        if (Exists(path)) RemoveDirectoryA(path);
    }
}

bool Contains(const char* text, const char* part) {
    int n = lstrlenA(part);
    for (const char* p = text; *p != '\0'; ++p)
        if (CompareStringA(LOCALE_INVARIANT, 0, p, n, part, n) == CSTR_EQUAL) return true;
    return false;
}

void ReportKeptFolders(const char* dest, const char* member) {
    char path[MAX_PATH];
    if (!JoinPath(path, dest, member)) return;
    int destLength = lstrlenA(dest);
    for (int i = lstrlenA(path) - 1; i > destLength; --i) {
        if (path[i] != '\\') continue;
        path[i] = '\0';
        if (!Exists(path)) continue;
        TextBuffer line;
        AddLine(line, path);
        if (!Contains(kept.c_str(), line.c_str())) kept.append(line.c_str());
    }
}

// Calls visit(member) for each name the manifest text lists, cutting it into lines.
// Blank lines and lines that begin with ';' are skipped.
template <typename Visit> void ForEachMember(char* text, DWORD length, Visit visit) {
    DWORD i = 0;
    while (i < length) {
        DWORD end = i;
        while (end < length && text[end] != '\r' && text[end] != '\n') ++end;
        text[end] = '\0';
        char* line = text + i;
        while (*line == ' ' || *line == '\t') ++line;
        char* last = text + end;
        while (last > line && (last[-1] == ' ' || last[-1] == '\t')) *--last = '\0';
        if (*line != '\0' && *line != ';') visit(line);
        i = end + 1;
    }
}

void RemoveDeliveredFiles(const char* dest) {
    char manifest[MAX_PATH];
    if (!JoinPath(manifest, dest, kManifestName)) return;
    ScopedHandle file(CreateFileA(manifest, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD size = file.valid() ? GetFileSize(file.get(), nullptr) : 0;
    if (!file.valid() || size == INVALID_FILE_SIZE || size > kMaxManifestBytes) {
        AddLine(problems, manifest, " (the list of installed files could not be read)");
        return;
    }
    HANDLE heap = GetProcessHeap();
    char* text = static_cast<char*>(HeapAlloc(heap, 0, size + 1));
    DWORD got = 0;
    if (text == nullptr || !ReadFile(file.get(), text, size, &got, nullptr)) {
        AddLine(problems, manifest, " (the list of installed files could not be read)");
        if (text != nullptr) HeapFree(heap, 0, text);
        return;
    }
    file.reset();
    text[got] = '\0';
    // Each pass works on its own copy, since the walk cuts the lines apart.
    char* copy = static_cast<char*>(HeapAlloc(heap, 0, got + 1));
    for (int pass = 0; pass < 3 && copy != nullptr; ++pass) {
        CopyMemory(copy, text, got + 1);
        ForEachMember(copy, got, [&](const char* member) {
            char path[MAX_PATH];
            if (!IsSafeMemberName(member) || !JoinPath(path, dest, member)) {
                if (pass == 0) AddLine(problems, member, " (not a name inside the installation)");
                return;
            }
            if (pass == 0 && !SameText(member, kSelfName)) RemoveFile(path);
            if (pass == 1) RemoveMemberFolders(dest, member);
            if (pass == 2) ReportKeptFolders(dest, member);
        });
    }
    if (copy != nullptr) HeapFree(heap, 0, copy);
    HeapFree(heap, 0, text);
}

// A special folder's path through its item list: plain Windows NT 4.0 has
// no SHGetSpecialFolderPathA.
bool SpecialFolderPath(int csidl, char (&path)[MAX_PATH]) {
    LPITEMIDLIST items = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &items))) return false;
    bool found = SHGetPathFromIDListA(items, path) != FALSE;
    LPMALLOC allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator))) {
        allocator->Free(items);
        allocator->Release();
    }
    return found;
}

// The group may be in the all-users or in the user's Programs folder,
// depending on the rights the installer had; look in both.
void RemoveProgramGroup() {
    const int folders[] = {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS};
    char previous[MAX_PATH] = "";
    for (int csidl : folders) {
        char programs[MAX_PATH];
        if (!SpecialFolderPath(csidl, programs)) continue;
        if (SameText(programs, previous)) continue;
        lstrcpyA(previous, programs);
        char group[MAX_PATH];
        if (!JoinPath(group, programs, kGroupName) || !Exists(group)) continue;
        for (const char* link : kLinkNames) {
            char name[MAX_PATH];
            char path[MAX_PATH];
            wsprintfA(name, "%s.lnk", link);
            if (JoinPath(path, group, name)) RemoveFile(path);
        }
        if (RemoveDirectoryA(group))
            SHChangeNotify(SHCNE_RMDIR, SHCNF_PATHA, group, nullptr);
        else
            AddLine(kept, group);
    }
}

const char* RootName(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE\\";
    if (root == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER\\";
    return "HKEY_CLASSES_ROOT\\";
}

void AddRegistryProblem(HKEY root, const char* path, const char* value) {
    TextBuffer item;
    item.append(RootName(root));
    item.append(path);
    if (value != nullptr) {
        item.append(" [");
        item.append(value);
        item.append("]");
    }
    AddLine(problems, item.c_str());
}

// Deletes one value (null: the default value). When only if is given, the
// value goes only while it still holds that text, so that an association
// another program has taken over since stays with it.
void DeleteValue(HKEY root, const char* path, const char* value, const char* onlyIf = nullptr) {
    ScopedRegKey key;
    LONG rc = RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.receive());
    if (rc == ERROR_FILE_NOT_FOUND) return;
    if (rc != ERROR_SUCCESS) {
        AddRegistryProblem(root, path, value);
        return;
    }
    if (onlyIf != nullptr) {
        char data[256];
        DWORD type = 0;
        DWORD bytes = sizeof data - 1;
        if (RegQueryValueExA(key.get(), value, nullptr, &type, reinterpret_cast<BYTE*>(data),
                             &bytes) != ERROR_SUCCESS)
            return;
        data[bytes] = '\0';
        if (type != REG_SZ || !SameText(data, onlyIf)) return;
    }
    rc = RegDeleteValueA(key.get(), value);
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) AddRegistryProblem(root, path, value);
}

// Deletes the key when nothing is left in it; a key with values or subkeys
// of others stays.
void DeleteKeyIfEmpty(HKEY root, const char* path) {
    DWORD subkeys = 0;
    DWORD values = 0;
    {
        ScopedRegKey key;
        if (RegOpenKeyExA(root, path, 0, KEY_READ, key.receive()) != ERROR_SUCCESS) return;
        if (RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                             &values, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return;
    }
    if (subkeys != 0 || values != 0) return;
    if (RegDeleteKeyA(root, path) != ERROR_SUCCESS) AddRegistryProblem(root, path, nullptr);
}

void RemoveRegistryEntries() {
    const char* uninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zelquist 1.0";
    DeleteValue(HKEY_LOCAL_MACHINE, uninstall, "DisplayName");
    DeleteValue(HKEY_LOCAL_MACHINE, uninstall, "UninstallString");
    DeleteKeyIfEmpty(HKEY_LOCAL_MACHINE, uninstall);

    // Only the three sample queries the installer listed; later entries are the user's.
    const char* openlist = "SOFTWARE\\Tavrenholt\\Quorvath 1.0\\Openlist";
    for (const char* value : {"00", "01", "02"}) DeleteValue(HKEY_LOCAL_MACHINE, openlist, value);
    DeleteKeyIfEmpty(HKEY_LOCAL_MACHINE, openlist);
    DeleteKeyIfEmpty(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tavrenholt\\Quorvath 1.0");
    DeleteKeyIfEmpty(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tavrenholt");

    DeleteValue(HKEY_CLASSES_ROOT, ".qvq", nullptr, "Quorvath");
    DeleteKeyIfEmpty(HKEY_CLASSES_ROOT, ".qvq");
    DeleteValue(HKEY_CLASSES_ROOT, "Quorvath\\shell\\open\\command", nullptr);
    DeleteKeyIfEmpty(HKEY_CLASSES_ROOT, "Quorvath\\shell\\open\\command");
    DeleteKeyIfEmpty(HKEY_CLASSES_ROOT, "Quorvath\\shell\\open");
    DeleteKeyIfEmpty(HKEY_CLASSES_ROOT, "Quorvath\\shell");
    DeleteValue(HKEY_CLASSES_ROOT, "Quorvath\\DefaultIcon", nullptr);
    DeleteKeyIfEmpty(HKEY_CLASSES_ROOT, "Quorvath\\DefaultIcon");
    DeleteValue(HKEY_CLASSES_ROOT, "Quorvath", nullptr);
    DeleteKeyIfEmpty(HKEY_CLASSES_ROOT, "Quorvath");
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);

    // A restart still pending would start the browser finder from a removed folder.
    DeleteValue(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                "QuorvathSetup");
}

// True when dest holds nothing but this program.
bool OnlySelfLeft(const char* dest) {
    char pattern[MAX_PATH];
    if (!JoinPath(pattern, dest, "*")) return false;
    WIN32_FIND_DATAA found;
    ScopedFindHandle find(FindFirstFileA(pattern, &found));
    if (!find.valid()) return false;
    do {
        const char* name = found.cFileName;
        if (!SameText(name, ".") && !SameText(name, "..") && !SameText(name, kSelfName))
            return false;
    } while (FindNextFileA(find.get(), &found));
    return true;
}

// A running program cannot delete its own file: Windows removes it, and
// then the emptied folder, at the next restart.
void RemoveSelf(const char* dest) {
    char self[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH || !MoveFileExA(self, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        AddLine(problems, n > 0 && n < MAX_PATH ? self : kSelfName);
        return;
    }
    if (OnlySelfLeft(dest)) MoveFileExA(dest, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

int ShowOutcome() {
    TextBuffer text;
    bool complete = problems.length() == 0;
    if (complete) {
        text.append("Zelquist 1.0 has been removed from your computer.\r\n\r\n"
                    "The uninstall program itself is removed when Windows restarts.");
    } else {
        text.append("Zelquist 1.0 has been removed, except for these items, "
                    "which could not be removed:\r\n\r\n");
        text.append(problems.c_str());
        text.append("\r\nYou may remove them yourself.");
    }
    if (kept.length() > 0) {
        text.append("\r\n\r\nThese folders were kept because they hold files "
                    "that were not installed with Quorvath:\r\n\r\n");
        text.append(kept.c_str());
    }
    MessageBoxA(nullptr, text.c_str(), kCaption,
                MB_OK | (complete ? MB_ICONINFORMATION : MB_ICONEXCLAMATION));
    return complete ? 0 : 1;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char dest[MAX_PATH];
    if (!OwnDirectory(dest, MAX_PATH)) {
        MessageBoxA(nullptr, "The installation folder cannot be determined.", kCaption,
                    MB_OK | MB_ICONERROR);
        return 1;
    }
    TextBuffer question;
    question.append("Do you want to remove Zelquist 1.0 (Quorvath) from\r\n\r\n  ");
    question.append(dest);
    question.append("\r\n\r\nThe program files, the program group and the registry entries are "
                    "removed. The shared system files stay, since other programs may use them.");
    if (MessageBoxA(nullptr, question.c_str(), kCaption,
                    MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return 2;

    RemoveDeliveredFiles(dest);
    for (const char* name : kWrittenFiles) {
        char path[MAX_PATH];
        if (JoinPath(path, dest, name)) RemoveFile(path);
    }
    RemoveProgramGroup();
    RemoveRegistryEntries();
    RemoveSelf(dest);
    return ShowOutcome();
}
