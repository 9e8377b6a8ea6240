// Helpers of the sample-product tests: the built payload folder, scratch
// folders, starting a program and finding, reading and answering its windows
// from the test process, as a person would.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScopedWin32.h"

// A file of the built payload folder, as Windows spells it (drive Z: under Wine).
inline std::string PayloadPath(const std::string& relative = "") {
    std::string path = "Z:" + std::string(QX_SAMPLE_PAYLOAD_DIR);
    for (char& c : path)
        if (c == '/') c = '\\';
    return relative.empty() ? path : path + "\\" + relative;
}

inline bool PathExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA found;
    {
        ScopedFindHandle find(FindFirstFileA((path + "\\*").c_str(), &found));
        if (find.valid()) {
            do {
                std::string name = found.cFileName;
                if (name == "." || name == "..") continue;
                std::string child = path + "\\" + name;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    RemoveTree(child);
                } else {
                    SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileA(child.c_str());
                }
            } while (FindNextFileA(find.get(), &found));
        }
    }
    RemoveDirectoryA(path.c_str());
}

// A new, empty folder below the temporary directory, with its parents.
inline std::string FreshTempDir(const std::string& relative) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string path = std::string(temp) + relative;
    RemoveTree(path);
    for (size_t i = std::string(temp).size(); i <= path.size(); ++i)
        if (i == path.size() || path[i] == '\\')
            CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
    return path;
}

// Every file below root, as relative names with backslashes.
inline void ListFiles(const std::string& root, const std::string& prefix,
                      std::vector<std::string>& out) {
    WIN32_FIND_DATAA found;
    ScopedFindHandle find(FindFirstFileA((root + "\\*").c_str(), &found));
    if (!find.valid()) return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListFiles(root + "\\" + name, prefix + name + "\\", out);
        else
            out.push_back(prefix + name);
    } while (FindNextFileA(find.get(), &found));
}

inline std::string ReadWholeFile(const std::string& path) {
    ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    std::string text;
    if (!file.valid()) return text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    return text;
}

struct StartedProcess {
    ScopedHandle handle;
    DWORD id = 0;
};

inline StartedProcess StartProgram(const std::string& commandLine) {
    StartedProcess started;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                       &pi)) {
        CloseHandle(pi.hThread);
        started.handle.reset(pi.hProcess);
        started.id = pi.dwProcessId;
    }
    return started;
}

// The exit code, or STILL_ACTIVE when the process has not ended in time.
inline DWORD WaitForExit(const StartedProcess& process, DWORD milliseconds = 20000) {
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process.handle.get(), milliseconds) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.handle.get(), &code);
    return code;
}

inline std::string WindowText(HWND window) {
    LRESULT length = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    LRESULT got = SendMessageA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(got));
    return text;
}

inline std::string ClassOf(HWND window) {
    char name[128] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

struct WindowSearch {
    DWORD id;
    const char* className;
    HWND found;
};

inline BOOL CALLBACK MatchProcessWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->id || !IsWindowVisible(window) || ClassOf(window) != search->className)
        return TRUE;
    search->found = window;
    return FALSE;
}

// The visible top-level window of class className that process id owns,
// waited for up to milliseconds; null when none appears.
inline HWND WaitForProcessWindow(DWORD processId, const char* className,
                                 DWORD milliseconds = 20000) {
    WindowSearch search{processId, className, nullptr};
    for (DWORD waited = 0; waited < milliseconds; waited += 100) {
        EnumWindows(MatchProcessWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) return search.found;
        Sleep(100);
    }
    return nullptr;
}

// Waits for the message box with this caption, reads its text, presses
// button and waits until the box is gone. Answers the text, or "" when no
// box came.
inline std::string AnswerMessageBox(const char* caption, int button, DWORD milliseconds = 20000) {
    for (DWORD waited = 0; waited < milliseconds; waited += 100) {
        HWND box = FindWindowA("#32770", caption);
        if (box != nullptr && IsWindowVisible(box)) {
            std::string text = WindowText(GetDlgItem(box, 65535));
            SendMessageA(GetDlgItem(box, button), BM_CLICK, 0, 0);
            for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(50);
            return text;
        }
        Sleep(100);
    }
    return "";
}

inline bool CloseAndWait(HWND window, const StartedProcess& process) {
    PostMessageA(window, WM_CLOSE, 0, 0);
    return WaitForExit(process) == 0;
}
