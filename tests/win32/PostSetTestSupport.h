// Scratch directories, files, registry read-back and an event log shared by
// the post-setup suites.
#pragma once

#include <windows.h>

#include <shlobj.h>

#include <mutex>
#include <string>
#include <vector>

#include "ScopedWin32.h"

// A path below the build tree's test data, as Wine spells it (drive Z:).
inline std::string PostSetDataPath(const std::string& name) {
    std::string path = std::string(QX_POSTSET_DATA) + "/" + name;
    for (char& c : path)
        if (c == '/') c = '\\';
    return "Z:" + path;
}

inline bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline void WriteTextFile(const std::string& path, const std::string& text) {
    ScopedHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file.valid())
        WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

inline std::string ReadTextFile(const std::string& path) {
    ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    std::string text;
    if (!file.valid()) return "<missing>";
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof(buffer), &got, nullptr) && got > 0)
        text.append(buffer, got);
    return text;
}

// Removes a directory tree; a missing one is fine.
inline void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA entry;
    {
        ScopedFindHandle find(FindFirstFileA((path + "\\*").c_str(), &entry));
        if (find.valid()) {
            do {
                std::string name = entry.cFileName;
                if (name == "." || name == "..") continue;
                std::string child = path + "\\" + name;
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    RemoveTree(child);
                } else {
                    SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileA(child.c_str());
                }
            } while (FindNextFileA(find.get(), &entry));
        }
    }
    RemoveDirectoryA(path.c_str());
}

// A fresh directory below %TEMP%, removed with everything in it.
class ScratchDirectory {
public:
    explicit ScratchDirectory(const std::string& name) {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        path_ = std::string(temp) + name + " " + std::to_string(GetCurrentProcessId());
        RemoveTree(path_);
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~ScratchDirectory() { RemoveTree(path_); }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

struct RegString {
    bool found = false;
    DWORD type = 0;
    DWORD size = 0; // bytes, terminator included
    std::string data;
};

// name nullptr reads the default value.
inline RegString ReadRegString(HKEY root, const std::string& key, const char* name) {
    RegString value;
    ScopedRegKey opened;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, opened.receive()) != ERROR_SUCCESS)
        return value;
    char buffer[2048] = {};
    DWORD size = sizeof(buffer) - 1;
    if (RegQueryValueExA(opened.get(), name, nullptr, &value.type, reinterpret_cast<BYTE*>(buffer),
                         &size) != ERROR_SUCCESS)
        return value;
    value.found = true;
    value.size = size;
    value.data = std::string(buffer);
    return value;
}

inline bool RegKeyExists(HKEY root, const std::string& key) {
    ScopedRegKey opened;
    return RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, opened.receive()) == ERROR_SUCCESS;
}

// What the product's installation may leave in the registry, removed so the
// shared prefix stays clean.
inline void RemoveProductRegistry() {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE,
                   "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zelquist 1.0");
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tavrenholt");
    RegDeleteTreeA(HKEY_CLASSES_ROOT, ".qvq");
    RegDeleteTreeA(HKEY_CLASSES_ROOT, "Quorvath");
    ScopedRegKey runOnce;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", 0,
                      KEY_SET_VALUE, runOnce.receive()) == ERROR_SUCCESS)
        RegDeleteValueA(runOnce.get(), "QuorvathSetup");
}

// The order in which things happened, across the test's two threads.
class EventLog {
public:
    void Add(const std::string& event) {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(event);
    }
    std::vector<std::string> Events() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
};

// A plain visible top-level window to own the message boxes.
inline HWND CreateOwnerWindow() {
    return CreateWindowExA(0, "STATIC", "Post-setup owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                           200, 100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

struct LinkContents {
    bool loaded = false;
    std::string path, workingDirectory, description, arguments;
};

// Loads a link file back through the shell, as Explorer would.
inline LinkContents ReadLink(const std::string& file) {
    LinkContents contents;
    ScopedCoInit com;
    ComPtr<IShellLinkA> link;
    ComPtr<IPersistFile> persist;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                link.receive())) ||
        FAILED(link->QueryInterface(IID_IPersistFile, persist.receive())))
        return contents;
    wchar_t wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, MAX_PATH);
    if (FAILED(persist->Load(wide, STGM_READ))) return contents;
    char buffer[MAX_PATH] = {};
    link->GetPath(buffer, MAX_PATH, nullptr, SLGP_RAWPATH);
    contents.path = buffer;
    link->GetWorkingDirectory(buffer, MAX_PATH);
    contents.workingDirectory = buffer;
    link->GetDescription(buffer, MAX_PATH);
    contents.description = buffer;
    link->GetArguments(buffer, MAX_PATH);
    contents.arguments = buffer;
    contents.loaded = true;
    return contents;
}
