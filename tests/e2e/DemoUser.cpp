// The demo's user: starts QuorvathSetup.exe, looks at the welcome dialog and
// the chooser, accepts every default and confirms the success message,
// saving a screenshot at each step (QX_SCREENSHOT_DIR). Exit code 0 when
// the installation reported success.
#include <cstdio>

#include "E2eSupport.h"

namespace {

int Fail(const char* what) {
    fprintf(stderr, "demo: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
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
