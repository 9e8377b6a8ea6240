// Resource ids of the installer's own dialogs: the welcome dialog (200
// series) and the progress dialog with its clip (300). The chooser's ids live in SelDirIds.h.
#pragma once

#define IDD_WELCOME 200
#define IDC_WELCOME_INSTALL 201
#define IDC_WELCOME_CANCEL 202
#define IDC_WELCOME_BROWSE 203
#define IDC_WELCOME_TEXT 204
#define IDC_WELCOME_GROUP 205
#define IDC_WELCOME_DESTINATION 206
#define IDC_WELCOME_ICON 207

#define IDD_PROGRESS 300
// The installer's own file-copy clip (scripts/gen-clip), played where the
// shell library has no clip 160.
#define IDR_FILECOPY_CLIP 301
