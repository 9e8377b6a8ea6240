// The welcome dialog: the welcome text, the destination with Browse, and the
// Install sequence that checks the free space and creates the destination.
#include <cstdint>

#include "QVRInst.h"
#include "Resource.h"

std::string DestinationDir;

const char kDefaultDestination[] = "C:\\Tavholt\\Quorvath";
const char kWelcomeText[] =
    "Welcome to Quorvath (TM) v1.05 Setup Program.\r\n"
    "This program will install Quorvath on your computer.\r\n"
    "\r\n"
    "Before  proceeding, we recommend that you close all applications you may be running.\r\n"
    "\r\n"
    "     Quorvath is a product of Tavrenholt Software.\r\n"
    "                 www.tavrenholt.example\r\n"
    "\r\n"
    "Copyright (C) 1999 Tavrenholt Software.\r\n";

namespace {

constexpr double kRecommendedMegabytes = 15.0;

void ShowDestination(HWND dialog) {
    SetDlgItemTextA(dialog, IDC_WELCOME_DESTINATION, DestinationDir.c_str());
}

void Browse(HWND dialog) {
    std::string chosen;
    Seams.chooseDirectory(ActiveDialog, DestinationDir, chosen);
    DestinationDir = chosen;
    if (DestinationDir.size() == 2) DestinationDir += '\\'; // a bare drive such as D:
    ShowDestination(dialog);
}

void Install(HWND dialog) {
    if (!(FreeMegabytes(DestinationDir) >= kRecommendedMegabytes)) {
        std::string text = LowSpaceText();
        if (Seams.messageBox(dialog, text.c_str(), kSetupCaption, MB_YESNO | MB_ICONQUESTION) !=
            IDYES)
            return;
    }
    if (!CreateDestination(DestinationDir).empty()) {
        EndDialog(dialog, 1);
        return;
    }
    std::string text = "Cannot create destination directory:\r\r" + DestinationDir;
    Seams.messageBox(dialog, text.c_str(), kSetupCaption, MB_OK | MB_ICONHAND);
}

} // namespace

std::string LowSpaceText() {
    return std::string("There is not enough disk space on the destination drive (at least ") +
           std::to_string(static_cast<int>(kRecommendedMegabytes)) +
           "MB recommended). This may cause errors while installing or running " + "Quorvath" +
           ".\r\rWould you, nevertheless, wish to proceed now?";
}

bool ExitConfirmation(HWND dialog) {
    return Seams.messageBox(dialog,
                            "Setup is not complete yet. Are you sure you want to exit setup now?",
                            "Exit Setup", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

// Unsigned 64-bit arithmetic, so a large disk never reads as negative space.
double FreeMegabytes(const std::string& path) {
    std::string root = path.substr(0, 2) + "\\";
    root[0] = static_cast<char>(root[0] & ~0x20);
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (!GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                           &totalClusters))
        return -1.0;
    uint64_t freeBytes = uint64_t{sectorsPerCluster} * bytesPerSector * freeClusters;
    return static_cast<double>(freeBytes) / 1048576.0;
}

bool IsDirectory(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void CreatePath(const std::string& original) {
    std::string path = original;
    if (path.empty()) return;
    if (path.back() == '\\') path.pop_back();
    if (path.size() < 3) return; // a bare drive such as C:
    if (IsDirectory(path)) return;
    size_t cut = path.find_last_of(":\\");
    std::string parent = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
    if (parent == path) return;
    CreatePath(parent);
    CreateDirectoryA(path.c_str(), nullptr); // judged by CreateDestination's check
}

std::string CreateDestination(const std::string& path) {
    CreatePath(path);
    return IsDirectory(path) ? path : std::string();
}

INT_PTR RunWelcomeDialog(HWND owner) {
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_WELCOME), owner,
                           WelcomeDialog, 0);
}

INT_PTR CALLBACK WelcomeDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        ActiveDialog = dialog;
        SetWindowTextA(dialog, kWelcomeCaption);
        SetDlgItemTextA(dialog, IDC_WELCOME_TEXT, kWelcomeText);
        DestinationDir = kDefaultDestination;
        ShowDestination(dialog);
        return TRUE;
    case WM_CLOSE: EndDialog(dialog, 0); return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_WELCOME_INSTALL: Install(dialog); break;
        case IDC_WELCOME_CANCEL:
            if (ExitConfirmation(dialog)) EndDialog(dialog, 0);
            break;
        case IDC_WELCOME_BROWSE: Browse(dialog); break;
        case IDC_WELCOME_TEXT:
            // The dialog manager selects the whole text on focus; undo it
            // once that has happened.
            if (HIWORD(wParam) == EN_SETFOCUS)
                PostMessageA(reinterpret_cast<HWND>(lParam), EM_SETSEL, 0, 0);
            break;
        default: // IDCANCEL from Escape included: it doesn't close the dialog
            break;
        }
        return TRUE;
    default: return FALSE;
    }
}
