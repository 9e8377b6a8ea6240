// The Choose Directory dialog: a path edit, an owner-drawn directory tree of
// the current path and an owner-drawn drive list. It checks what the user
// typed and asks before accepting a directory that does not exist; it never
// creates anything on disk.
#pragma once

#include <windows.h>

#include <string>

void InitSelDir();
void DoneSelDir();

// Runs the dialog (resource 100 of the program's own module) modally. On OK
// chosenPath is the normalised path without a trailing backslash (a drive
// root comes back as "C:"); on Cancel it is initialPath unchanged.
void ChooseDirectory(HWND owner, const std::string& initialPath, std::string& chosenPath);

// Index in the directory list of the directory being shown, and index in the
// drive list of the drive being shown. Both keep their values between openings.
extern int CurrentLevelIndex;
extern int CurrentDriveIndex;

// The full path of a typed path with every run of backslashes reduced to one.
// Empty when GetFullPathNameA fails or its answer does not fit, and for a
// network or device path (\\server\share, \\?\...), which is not supported.
std::string NormalizePath(const std::string& path);

// Every run of backslashes reduced to one.
std::string CollapseBackslashes(std::string path);

// The list routines of the open dialog (they work on its controls).
void FillDriveList();
void FillDirectoryList(const std::string& path);
// The path of the directory-list item that is selected; empty when no item
// is selected or its text can't be read.
std::string PathFromListSelection();

INT_PTR CALLBACK ChooseDirectoryDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
