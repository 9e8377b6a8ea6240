// The demo's user: starts QuorvathSetup.exe, looks at the welcome dialog and
// the chooser, accepts every default and confirms the success message,
// saving a screenshot at each step (QX_SCREENSHOT_DIR). Exit code 0 when
// the installation reported success.
//
//   demo_user [INSTALLER]                  the demo run
//   demo_user --bench INSTALLER            Install at once; prints the times
//   demo_user --silent INSTALLER [ARGS]    another installer system's silent
//                                          run (NSIS: /S), timed to its exit
// The benchmark figures leave out the user's own pause before Install.
#include <cstdio>
#include <cstring>

#include "E2eSupport.h"

namespace {

int Fail(const char* what) {
    fprintf(stderr, "demo: %s\n", what);
    return 1;
}

// Polls more finely than WaitForDialog and notes when the dialog appeared.
HWND WaitForDialogSince(DWORD processId, const char* caption, DWORD milliseconds, DWORD* seenAt) {
    const DWORD start = GetTickCount();
    do {
        if (HWND dialog = FindProcessDialog(processId, caption)) {
            *seenAt = GetTickCount();
            return dialog;
        }
        Sleep(2);
    } while (GetTickCount() - start < milliseconds);
    return nullptr;
}

int SilentRun(int argc, char** argv) {
    std::string line = "\"" + std::string(argv[2]) + "\"";
    for (int i = 3; i < argc; ++i) line += std::string(" ") + argv[i];
    const DWORD started = GetTickCount();
    StartedProcess setup = StartProgram(line);
    if (setup.id == 0) return Fail("cannot start the installer");
    const DWORD code = WaitForExit(setup, 600000);
    const DWORD elapsed = GetTickCount() - started;
    // An installer that started the browser finder leaves it open.
    CloseBrowserFinder();
    printf("bench: %lu ms from start to exit, exit code %lu\n", static_cast<unsigned long>(elapsed),
           static_cast<unsigned long>(code));
    return code == 0 ? 0 : 1;
}

int BenchRun(const std::string& installer) {
    const DWORD started = GetTickCount();
    StartedProcess setup = StartProgram("\"" + installer + "\"");
    if (setup.id == 0) return Fail("cannot start the installer");
    DWORD welcomeAt = 0, boxAt = 0;
    HWND welcome = WaitForDialogSince(setup.id, kWelcomeCaption, 60000, &welcomeAt);
    if (welcome == nullptr) return Fail("no welcome dialog");
    Sleep(100); // let its WM_INITDIALOG finish
    const DWORD pressedAt = GetTickCount();
    Press(welcome, kWelcomeInstall);
    HWND box = WaitForDialogSince(setup.id, kSetupCaption, 600000, &boxAt);
    if (box == nullptr) return Fail("no closing message");
    Sleep(100);
    const std::string text = ItemText(box, 65535);
    Press(box, IDOK);
    WaitForExit(setup, 30000);
    CloseBrowserFinder();
    printf("bench: %lu ms from start to the closing message without the pause before Install "
           "(start to welcome %lu ms, Install to closing message %lu ms)\n",
           static_cast<unsigned long>(welcomeAt - started + boxAt - pressedAt),
           static_cast<unsigned long>(welcomeAt - started),
           static_cast<unsigned long>(boxAt - pressedAt));
    return text.rfind("Quorvath has been successfully installed.", 0) == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    if (argc > 2 && std::strcmp(argv[1], "--silent") == 0) return SilentRun(argc, argv);
    if (argc > 2 && std::strcmp(argv[1], "--bench") == 0) return BenchRun(argv[2]);
    std::string installer = argc > 1 ? argv[1] : BuiltInstaller();
    DWORD started = GetTickCount();
    StartedProcess setup = StartProgram("\"" + installer + "\"");
    if (setup.id == 0) return Fail("cannot start the installer");

    HWND welcome = WaitForDialog(setup.id, kWelcomeCaption);
    if (welcome == nullptr) return Fail("no welcome dialog");
    Screenshot("welcome");

    // A look at the chooser, then Cancel: the destination stays the default.
    Press(welcome, kWelcomeBrowse);
    if (HWND chooser = WaitForDialog(setup.id, kChooserCaption)) {
        Screenshot("chooser");
        PostMessageA(chooser, WM_COMMAND, IDCANCEL, 0);
        WaitGone(chooser);
    }

    Press(welcome, kWelcomeInstall);
    if (WaitForDialog(setup.id, kProgressCaption, 5000) != nullptr) Screenshot("progress");
    HWND box = WaitForDialog(setup.id, kSetupCaption, 120000);
    if (box == nullptr) return Fail("no closing message");
    DWORD elapsed = GetTickCount() - started;
    SIZE_T peak = PeakWorkingSet(setup.handle.get());
    Screenshot("success");
    std::string text = ItemText(box, 65535);
    Press(box, IDOK);
    WaitForExit(setup, 30000);
    for (char& c : text)
        if (c == '\r') c = ' ';
    printf("demo: the installer said: %s\n", text.c_str());
    printf("demo: %lu ms from start to the closing message, peak working set %lu KiB\n",
           static_cast<unsigned long>(elapsed), static_cast<unsigned long>(peak / 1024));
    CloseBrowserFinder();
    return text.rfind("Quorvath has been successfully installed.", 0) == 0 ? 0 : 1;
}
