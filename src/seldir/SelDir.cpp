// The Choose Directory dialog: opening on the deepest existing level of the
// initial path, the commands of its controls, and the OK rules.
#include "ScopedWin32.h"
#include "SelDirInternal.h"

namespace seldir {
HWND Dialog = nullptr;
HICON OpenFolderIcon = nullptr;
HICON CurrentFolderIcon = nullptr;
HICON ClosedFolderIcon = nullptr;
} // namespace seldir

using namespace seldir;

namespace {

const char kCaption[] = "Setup";

// Set to the initial path by ChooseDirectory and to the accepted path on OK.
std::string ResultPath;

enum class Probe { Found, FileNotFound, PathNotFound, OtherError };

// Looks for any entry in a directory, which tells whether it exists.
Probe ProbeDirectory(const std::string& pattern) {
    WIN32_FIND_DATAA entry;
    ScopedFindHandle search(FindFirstFileA(pattern.c_str(), &entry));
    if (search.valid()) return Probe::Found;
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND: return Probe::FileNotFound;
    case ERROR_PATH_NOT_FOUND: return Probe::PathNotFound;
    default: return Probe::OtherError;
    }
}

void DropTrailingBackslash(std::string& path) {
    if (!path.empty() && path.back() == '\\') path.pop_back();
}

// The initial path cut back to its deepest level that exists; empty when the
// drive can't be read at all.
std::string DeepestExistingLevel(std::string path) {
    while (path.size() >= 3) {
        DropTrailingBackslash(path);
        Probe probe = ProbeDirectory(path + "\\*.*");
        if (probe == Probe::Found || probe == Probe::FileNotFound) break;
        if (probe == Probe::OtherError) return "";
        do path.pop_back();
        while (!path.empty() && path.back() != '\\');
    }
    return path;
}

void InitDialog(HWND dialog, const char* initialPath) {
    Dialog = dialog;
    std::string path = DeepestExistingLevel(NormalizePath(initialPath ? initialPath : ""));
    if (path.size() == 2) {
        path += '\\';
    } else if (path.size() < 2) {
        char current[MAX_PATH] = "";
        DWORD length = GetCurrentDirectoryA(sizeof current, current);
        path = length > 0 && length < sizeof current ? std::string(current, length) : "";
    }
    OpenFolderIcon = LoadModuleIcon(IDI_FOLDER_OPEN);
    CurrentFolderIcon = LoadModuleIcon(IDI_FOLDER_CURRENT);
    ClosedFolderIcon = LoadModuleIcon(IDI_FOLDER_CLOSED);
    SetDlgItemTextA(dialog, IDC_SELDIR_PATH, path.c_str());
    FillDriveList();
    FillDirectoryList(path);
}

void OpenListSelection(HWND dialog) {
    std::string path = PathFromListSelection();
    if (path.empty()) return; // no selection, or its text can't be read
    SetDlgItemTextA(dialog, IDC_SELDIR_PATH, path.c_str());
    FillDirectoryList(path);
}

void ChooseDrive(HWND dialog) {
    HWND combo = GetDlgItem(dialog, IDC_SELDIR_DRIVES);
    LRESULT selected = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    std::string text;
    if (selected == CB_ERR || selected < 0 ||
        !ComboBoxText(combo, static_cast<int>(selected), text))
        return;
    if (text.size() < 2) return;
    std::string root = text.substr(0, 2) + "\\";
    Probe probe = ProbeDirectory(root + "*.*");
    if (probe != Probe::Found && probe != Probe::FileNotFound) {
        // No medium, or a drive that can't be read: refused without a word.
        SendMessageA(combo, CB_SETCURSEL, CurrentDriveIndex, 0);
        return;
    }
    SetDlgItemTextA(dialog, IDC_SELDIR_PATH, root.c_str());
    CurrentDriveIndex = static_cast<int>(selected);
    FillDirectoryList(root);
}

// Full path with a drive letter or a leading backslash; never a network path.
bool PassesSyntaxCheck(const std::string& text) {
    if (text.size() < 3) return false;
    if (text[0] == '\\' && text[1] == '\\') return false;
    return text[1] == ':' || text[0] == '\\';
}

void ShowInvalid(HWND dialog, const std::string& text) {
    std::string message = "The specified directory:\r\r" + text +
                          "\r\ris invalid. Please, type a full path with drive letter.";
    MessageBoxA(dialog, message.c_str(), kCaption, MB_OK | MB_ICONEXCLAMATION);
}

void PressOk(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_SELDIR_DIRS);
    HWND focus = GetFocus();
    if (focus != nullptr && GetDlgCtrlID(focus) == IDC_SELDIR_DIRS) {
        // Enter in the directory list opens the selected directory.
        LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
        if (selected != LB_ERR && selected != CurrentLevelIndex) {
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_SELDIR_DIRS, LBN_DBLCLK),
                         reinterpret_cast<LPARAM>(list));
            return;
        }
    }

    char buffer[260] = "";
    GetDlgItemTextA(dialog, IDC_SELDIR_PATH, buffer, sizeof buffer);
    std::string text = buffer;
    if (!PassesSyntaxCheck(text)) return ShowInvalid(dialog, text);
    std::string path = NormalizePath(text);
    if (path.empty()) return ShowInvalid(dialog, text);
    DropTrailingBackslash(path);

    if (ProbeDirectory(path + "\\*.*") == Probe::PathNotFound) {
        std::string question = "The directory:\r\r" + path +
                               "\r\rdoes not exist. Do you want the directory to be created?";
        if (MessageBoxA(dialog, question.c_str(), kCaption, MB_YESNO | MB_ICONQUESTION) != IDYES)
            return;
    }
    ResultPath = path;
    EndDialog(dialog, 1);
}

void Command(HWND dialog, int id, int code) {
    switch (id) {
    case IDC_SELDIR_DIRS:
        if (code == LBN_DBLCLK) OpenListSelection(dialog);
        break;
    case IDC_SELDIR_DRIVES:
        if (code == CBN_SELENDOK) ChooseDrive(dialog);
        if (code == CBN_SELENDCANCEL)
            SendDlgItemMessageA(dialog, IDC_SELDIR_DRIVES, CB_SETCURSEL, CurrentDriveIndex, 0);
        break;
    case IDC_SELDIR_OK: PressOk(dialog); break;
    case IDCANCEL: EndDialog(dialog, 0); break;
    default: break; // the path edit: typing changes only the edit
    }
}

} // namespace

void InitSelDir() {}

void DoneSelDir() {
    std::string().swap(ResultPath);
}

INT_PTR CALLBACK ChooseDirectoryDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: InitDialog(dialog, reinterpret_cast<const char*>(lParam)); return TRUE;
    case WM_COMMAND: Command(dialog, LOWORD(wParam), HIWORD(wParam)); return TRUE;
    case WM_CLOSE: EndDialog(dialog, 0); return TRUE;
    case WM_MEASUREITEM:
        MeasureListItem(*reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_DRAWITEM:
        DrawListItem(static_cast<int>(wParam), *reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    default: return FALSE;
    }
}

void ChooseDirectory(HWND owner, const std::string& initialPath, std::string& chosenPath) {
    ResultPath = initialPath;
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_CHOOSE_DIRECTORY), owner,
                    ChooseDirectoryDialog, reinterpret_cast<LPARAM>(initialPath.c_str()));
    chosenPath = ResultPath;
}
