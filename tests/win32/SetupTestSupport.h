// Shared by the setup suites: message boxes recorded through the driver's
// seam instead of shown, and the seams put back after each test.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "QVRInst.h"

struct RecordedBox {
    HWND owner;
    std::string text;
    std::string caption;
    UINT flags;
};

// Message boxes of the code under test, in order, with queued answers
// (IDOK once the queue is empty).
inline std::vector<RecordedBox> RecordedBoxes;
inline std::deque<int> BoxAnswers;

inline int WINAPI RecordMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT flags) {
    RecordedBoxes.push_back({owner, text, caption, flags});
    if (BoxAnswers.empty()) return IDOK;
    int answer = BoxAnswers.front();
    BoxAnswers.pop_front();
    return answer;
}

class SetupTest : public testing::Test {
protected:
    void SetUp() override {
        Seams = DefaultSetupSeams();
        Seams.messageBox = RecordMessageBox;
        RecordedBoxes.clear();
        BoxAnswers.clear();
    }
    void TearDown() override { Seams = DefaultSetupSeams(); }
};

inline std::string WindowTextOf(HWND window) {
    char text[4096] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

inline std::string ClassOf(HWND window) {
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

// A directory below %TEMP% that does not exist yet.
inline std::string FreshTempPath(const std::string& name) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string path =
        std::string(temp) + "qx-setup-" + std::to_string(GetCurrentProcessId()) + "-" + name;
    return path;
}

// A drive letter that names no drive on this system.
inline std::string MissingDrive() {
    DWORD drives = GetLogicalDrives();
    for (char letter = 'Q'; letter <= 'Y'; ++letter)
        if ((drives & (1u << (letter - 'A'))) == 0) return std::string(1, letter) + ":";
    return "";
}
