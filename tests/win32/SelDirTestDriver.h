// Drives the Choose Directory dialog the way a person would: ChooseDirectory
// runs modally on the test's thread while a script on a second thread finds
// the dialog, reads its controls, types, picks items and presses buttons.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "SelDir.h"
#include "SelDirIds.h"

namespace seldirtest {

inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        Sleep(10);
    }
    return condition();
}

inline std::string Text(HWND window) {
    char buffer[1024] = "";
    SendMessageA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
    return buffer;
}

inline std::string ItemText(HWND dialog, int id) {
    return Text(GetDlgItem(dialog, id));
}

// A visible top-level dialog of this process with this caption.
inline HWND FindDialog(const char* caption, HWND owner = nullptr) {
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, "#32770", caption)) != nullptr) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process != GetCurrentProcessId() || !IsWindowVisible(window)) continue;
        if (owner != nullptr && GetWindow(window, GW_OWNER) != owner) continue;
        return window;
    }
    return nullptr;
}

struct ListItem {
    std::string text;
    LPARAM data;
};

inline std::vector<ListItem> ListItems(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_SELDIR_DIRS);
    std::vector<ListItem> items;
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char text[300] = "";
        SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
        items.push_back({text, static_cast<LPARAM>(SendMessageA(list, LB_GETITEMDATA, i, 0))});
    }
    return items;
}

inline int ListIndex(HWND dialog, const std::string& text) {
    std::vector<ListItem> items = ListItems(dialog);
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].text == text) return static_cast<int>(i);
    return -1;
}

inline void Type(HWND dialog, const std::string& text) {
    SendDlgItemMessageA(dialog, IDC_SELDIR_PATH, WM_SETTEXT, 0,
                        reinterpret_cast<LPARAM>(text.c_str()));
}

// A double click on list item index: the selection, then the notification.
inline void DoubleClickItem(HWND dialog, int index) {
    HWND list = GetDlgItem(dialog, IDC_SELDIR_DIRS);
    SendMessageA(list, LB_SETCURSEL, index, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_SELDIR_DIRS, LBN_DBLCLK),
                 reinterpret_cast<LPARAM>(list));
}

// A drive picked in the drop-down list.
inline void PickDrive(HWND dialog, int index) {
    HWND combo = GetDlgItem(dialog, IDC_SELDIR_DRIVES);
    SendMessageA(combo, CB_SETCURSEL, index, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_SELDIR_DRIVES, CBN_SELENDOK),
                 reinterpret_cast<LPARAM>(combo));
}

// Posted, since the press may open a message box that waits for this thread.
inline void Press(HWND dialog, int id) {
    PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

struct Answered {
    bool shown = false;
    std::string text;
    bool exclamation = false; // shows the system's exclamation icon
    bool question = false;    // shows the system's question icon
};

inline bool ShowsIcon(HWND box, LPCSTR standardIcon) {
    HICON wanted = LoadIconA(nullptr, standardIcon);
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT))
        if (reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0)) == wanted) return true;
    return false;
}

// Presses a button of the chooser, waits for the "Setup" message box that it
// opens, records its text and answers it with the given button.
inline Answered PressAndAnswer(HWND dialog, int id, int answer) {
    Press(dialog, id);
    Answered result;
    HWND box = nullptr;
    result.shown = WaitUntil([&] { return (box = FindDialog("Setup", dialog)) != nullptr; });
    if (!result.shown) return result;
    WaitUntil([&] { return GetDlgItem(box, answer) != nullptr; });
    result.text = Text(GetDlgItem(box, 0xFFFF));
    result.exclamation = ShowsIcon(box, IDI_EXCLAMATION);
    result.question = ShowsIcon(box, IDI_QUESTION);
    SendMessageA(GetDlgItem(box, answer), BM_CLICK, 0, 0);
    WaitUntil([&] { return !IsWindow(box); });
    return result;
}

// Runs ChooseDirectory(initialPath) and the script against its dialog;
// answers what the dialog handed back. A script that leaves the dialog open
// fails the test, and the dialog is closed for it.
inline std::string RunChooser(const std::string& initialPath,
                              const std::function<void(HWND dialog)>& script) {
    std::thread driver([&] {
        HWND dialog = nullptr;
        if (!WaitUntil([&] { return (dialog = FindDialog("Choose Directory")) != nullptr; },
                       10000)) {
            ADD_FAILURE() << "the Choose Directory dialog did not open";
            return;
        }
        script(dialog);
        if (!WaitUntil([&] { return !IsWindow(dialog); })) {
            ADD_FAILURE() << "the dialog is still open after the script";
            PostMessageA(dialog, WM_CLOSE, 0, 0);
        }
    });
    std::string chosen = "(not set)";
    ChooseDirectory(nullptr, initialPath, chosen);
    driver.join();
    return chosen;
}

// A directory tree below C:\ for the dialog to show, removed again afterwards.
inline const char kTreeRoot[] = "C:\\SelDirTest";

inline void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((path + "\\*.*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            std::string child = path + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

// C:\SelDirTest\Alpha with the subdirectories Beta, Gamma and a hidden one, and
// a file that must not be listed. The working directory is C:\ meanwhile.
class SelDirTree : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        RemoveTree(kTreeRoot);
        std::string alpha = std::string(kTreeRoot) + "\\Alpha";
        for (const std::string& dir : {std::string(kTreeRoot), alpha, alpha + "\\Beta",
                                       alpha + "\\Gamma", alpha + "\\Hidden"})
            CreateDirectoryA(dir.c_str(), nullptr);
        SetFileAttributesA((alpha + "\\Hidden").c_str(), FILE_ATTRIBUTE_HIDDEN);
        HANDLE file = CreateFileA((alpha + "\\file.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    static void TearDownTestSuite() { RemoveTree(kTreeRoot); }

    void SetUp() override {
        GetCurrentDirectoryA(sizeof savedDirectory_, savedDirectory_);
        SetCurrentDirectoryA("C:\\");
    }
    void TearDown() override { SetCurrentDirectoryA(savedDirectory_); }

    static std::string Alpha() { return std::string(kTreeRoot) + "\\Alpha"; }

private:
    char savedDirectory_[MAX_PATH] = "";
};

} // namespace seldirtest
