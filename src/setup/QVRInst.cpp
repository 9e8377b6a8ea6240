// The setup driver: backdrop, welcome dialog, progress dialog with the
// shell's file-copy animation, the two drivers, clean-up and close.
#include "QVRInst.h"
#include "Resource.h"

// After windows.h, which QVRInst.h brings.
#include <commctrl.h>

HWND SetupWindow = nullptr;
HWND ActiveDialog = nullptr;

const char kSetupCaption[] = "Quorvath Setup";
const char kWelcomeCaption[] = "Zelquist 1.05 Setup";
const char kCorruptionMessage[] = "Unable to extract data as the Setup file has been corrupted.\r\r"
                                  "You should obtain a correct copy by visiting "
                                  "Tavrenholt Software's home page at www.tavrenholt.example.";
// A full disk or a file that cannot be written is no reason to download the
// setup again.
const char kWriteFailureMessage[] =
    "Unable to extract data as the destination disk is full or a file cannot be written.\r\r"
    "You should free some space on the disk, or choose another directory, and run Setup again.";

namespace {

const char kBackdropClass[] = "QVRInstWnd";
const char kAnimationClass[] = "QVRInstA32";
constexpr int kFileCopyClip = 160;

// Kept for the life of the process, as the classes that use them are.
HBRUSH BackdropBrush = nullptr;
WNDCLASSA AnimationClass;
HWND AnimationControl = nullptr;
RECT ProgressClientRect;

// A class left registered by an earlier run of this process still counts.
bool Registered(ATOM atom) {
    return atom != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool RegisterBackdropClass() {
    if (BackdropBrush == nullptr) BackdropBrush = CreateSolidBrush(RGB(0, 0, 128));
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = DefWindowProcA; // the backdrop only paints its background
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = BackdropBrush;
    windowClass.lpszClassName = kBackdropClass;
    SetLastError(0);
    return Registered(Seams.registerClassEx(&windowClass));
}

// comctl32 is loaded once and never freed: the animation windows run its
// window procedure until the process ends.
void InitCommonControlsOnce() {
    static bool loaded = false;
    if (loaded) return;
    loaded = true;
    HMODULE comctl = LoadSystemLibrary("comctl32.dll");
    if (comctl == nullptr) return;
    FARPROC proc = GetProcAddress(comctl, "InitCommonControls");
    if (proc != nullptr) reinterpret_cast<void(WINAPI*)()>(reinterpret_cast<void*>(proc))();
}

// The animation superclass: the common control with the shell library as its
// instance, so that the clip number refers to shell32's resources.
bool RegisterAnimationClass(HMODULE shell) {
    InitCommonControlsOnce();
    if (!Seams.getClassInfo(nullptr, ANIMATE_CLASSA, &AnimationClass)) return false;
    AnimationClass.hInstance = shell;
    AnimationClass.lpszClassName = kAnimationClass;
    SetLastError(0);
    return Registered(RegisterClassA(&AnimationClass));
}

void OpenProgressDialog(HMODULE shell) {
    if (!RegisterAnimationClass(shell)) return;
    ActiveDialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PROGRESS),
                                      SetupWindow, ProgressDialog, 0);
    if (ActiveDialog == nullptr) return;
    GetClientRect(ActiveDialog, &ProgressClientRect);
    AnimationControl = CreateWindowExA(
        0, kAnimationClass, "", WS_CHILD | WS_VISIBLE | ACS_CENTER | ACS_TRANSPARENT | ACS_AUTOPLAY,
        0, 0, ProgressClientRect.right, ProgressClientRect.bottom, ActiveDialog, nullptr, shell,
        nullptr);
    if (AnimationControl == nullptr) return;
    if (SendMessageA(AnimationControl, ACM_OPENA, 0, static_cast<LPARAM>(kFileCopyClip))) return;
    // No clip 160 in this shell library (Vista and later): our own clip. The
    // control was made with the shell's instance, so wParam names the module
    // to load from (comctl32 4.71 on; older ones come with a shell that has 160).
    SendMessageA(AnimationControl, ACM_OPENA, reinterpret_cast<WPARAM>(GetModuleHandleA(nullptr)),
                 static_cast<LPARAM>(IDR_FILECOPY_CLIP));
}

} // namespace

HWND CreateSetupWindow() {
    if (!RegisterBackdropClass()) return nullptr;
    return CreateWindowExA(0, kBackdropClass, kWelcomeCaption,
                           WS_POPUP | WS_VISIBLE | WS_DISABLED | WS_CLIPCHILDREN, 0, 0,
                           GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr,
                           nullptr, nullptr, nullptr);
}

INT_PTR CALLBACK ProgressDialog(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

// Each pass over the queue is a round trip to the window system, and the
// callback runs once per 4096 bytes of output: a pass at most every
// kDrainIntervalMs of work keeps the windows responsive at a fraction of the
// cost. The first call and every close drain at once.
namespace {
constexpr DWORD kDrainIntervalMs = 20;
bool drainedBefore = false;
DWORD lastDrainTick = 0;
} // namespace

void SetupProgressCallback(bool close) {
    const DWORD now = Seams.tickCount();
    if (!close && drainedBefore && now - lastDrainTick < kDrainIntervalMs) return;
    drainedBefore = true;
    lastDrainTick = now;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (IsWindow(ActiveDialog) && IsDialogMessageA(ActiveDialog, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    // A stale handle could by now name another window; only a live one goes.
    if (close && IsWindow(ActiveDialog)) Seams.destroyWindow(ActiveDialog);
}

bool RunSetup() {
    SetupWindow = CreateSetupWindow();
    bool success = false;
    if (Seams.runWelcome(SetupWindow) == 1) {
        ActiveDialog = nullptr;
        AnimationControl = nullptr;
        HMODULE shell = Seams.loadShellLibrary();
        if (shell != nullptr) OpenProgressDialog(shell);
        if (!DestinationDir.empty() && DestinationDir.back() == '\\') DestinationDir.pop_back();

        ArchiveResult why;
        const bool extracted = Seams.extractPayload(DestinationDir, SetupProgressCallback, &why);
        success =
            extracted && Seams.runPostSetup(DestinationDir, SetupWindow, SetupProgressCallback);

        // The dialog and its animation child go before the library that the
        // animation class names.
        if (IsWindow(ActiveDialog)) Seams.destroyWindow(ActiveDialog);
        if (shell != nullptr) FreeLibrary(shell);
        if (!success) {
            const bool writeFailed = !extracted && why.isWriteFailure();
            Seams.messageBox(SetupWindow, writeFailed ? kWriteFailureMessage : kCorruptionMessage,
                             kSetupCaption, MB_OK | MB_ICONHAND);
        }
    }
    SendMessageA(SetupWindow, WM_CLOSE, 0, 0);
    return success;
}
