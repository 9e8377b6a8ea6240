// Module state and small helpers shared by the files of the SelDir unit.
#pragma once

#include <windows.h>

#include <string>

#include "SelDir.h"
#include "SelDirIds.h"

namespace seldir {

// The open dialog; the list routines find controls 105 and 107 through it.
extern HWND Dialog;
// Shared folder icons 1003 (ancestors), 1002 (current), 1001 (subdirectories).
extern HICON OpenFolderIcon;
extern HICON CurrentFolderIcon;
extern HICON ClosedFolderIcon;

// Text of a list-box or combo-box item. False when the control answers
// LB_ERR/CB_ERR for the item's length or text.
bool ListBoxText(HWND list, int index, std::string& text);
bool ComboBoxText(HWND combo, int index, std::string& text);

// An icon resource of the program's module, shared, at its own size.
HICON LoadModuleIcon(int id);

// Owner drawing of both lists.
void MeasureListItem(MEASUREITEMSTRUCT& item);
void DrawListItem(int controlId, const DRAWITEMSTRUCT& item);

} // namespace seldir
