// The setup driver and the welcome dialog: the backdrop window, the run from
// the welcome dialog through extraction and post-setup to the final close,
// and the progress callback that keeps the windows alive meanwhile.
#pragma once

#include <windows.h>

#include <string>

#include "ArchiveResult.h"
#include "Global.h"
#include "SystemLibrary.h"

// The destination directory; set by the welcome dialog, read by the driver.
extern std::string DestinationDir;
// The full-screen backdrop that owns every dialog; null without its class.
extern HWND SetupWindow;
// The dialog that gets keyboard navigation while messages are pumped. Never
// cleared after that dialog is destroyed: test it with IsWindow.
extern HWND ActiveDialog;

extern const char kSetupCaption[];       // "Quorvath Setup"
extern const char kWelcomeCaption[];     // caption of the welcome dialog and backdrop
extern const char kDefaultDestination[]; // "C:\Tavholt\Quorvath"
extern const char kWelcomeText[];
extern const char kCorruptionMessage[];
extern const char kWriteFailureMessage[]; // the disk is full or a file cannot be written

// Calls that can fail or that talk to other units, replaceable by tests.
struct SetupSeams {
    ATOM(WINAPI* registerClassEx)(const WNDCLASSEXA*);
    HMODULE (*loadShellLibrary)();
    BOOL(WINAPI* getClassInfo)(HINSTANCE, LPCSTR, LPWNDCLASSA);
    BOOL(WINAPI* destroyWindow)(HWND);
    int(WINAPI* messageBox)(HWND, LPCSTR, LPCSTR, UINT);
    INT_PTR (*runWelcome)(HWND owner);
    void (*chooseDirectory)(HWND owner, const std::string& initialPath, std::string& chosenPath);
    bool (*extractPayload)(const std::string& destination, ProgressCallback progress,
                           ArchiveResult* why);
    bool (*runPostSetup)(const std::string& destination, HWND owner, ProgressCallback progress);
    DWORD(WINAPI* tickCount)(); // the clock that spaces the progress callback's queue passes
};
extern SetupSeams Seams;
// The real calls, for a test to restore them.
SetupSeams DefaultSetupSeams();

// The whole run: backdrop, welcome dialog, progress dialog, extraction,
// post-setup, clean-up, close. Answers whether Install was chosen and both
// drivers succeeded.
bool RunSetup();
// The procedure that the drivers call between units of work.
void SetupProgressCallback(bool close);

HWND CreateSetupWindow();
INT_PTR RunWelcomeDialog(HWND owner);
INT_PTR CALLBACK WelcomeDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ProgressDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Free space on the path's drive in megabytes of 1,048,576 bytes; -1.0 when
// it can't be read.
double FreeMegabytes(const std::string& path);
// Creates the path with its parents; answers the path when it is now a
// directory, else the empty string.
std::string CreateDestination(const std::string& path);
void CreatePath(const std::string& path);
bool IsDirectory(const std::string& path);
// The "Exit Setup" question; true when the user answered Yes.
bool ExitConfirmation(HWND dialog);
// The question asked when the destination drive has less than 15 MB free.
std::string LowSpaceText();

// Restricts the DLL search of this process to the system directory where
// the system supports it.
void RestrictDllSearch();
