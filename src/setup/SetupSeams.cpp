// The real calls behind the driver's seams, and the links to the other units.
#include "QVRInst.h"

#include "Archive.h"
#include "PostSet.h"
#if __has_include("SelDir.h")
#include "SelDir.h"
#define QX_HAVE_SELDIR 1
#endif

namespace {

HMODULE LoadShellLibrary() { return LoadSystemLibrary("shell32.dll"); }

#ifndef QX_HAVE_SELDIR
void ChooseDirectory(HWND, const std::string& initialPath, std::string& chosenPath) {
    chosenPath = initialPath;
}
#endif

} // namespace

SetupSeams DefaultSetupSeams() {
    SetupSeams seams;
    seams.registerClassEx = RegisterClassExA;
    seams.loadShellLibrary = LoadShellLibrary;
    seams.getClassInfo = GetClassInfoA;
    seams.destroyWindow = DestroyWindow;
    seams.messageBox = MessageBoxA;
    seams.runWelcome = RunWelcomeDialog;
    seams.chooseDirectory = ChooseDirectory;
    seams.extractPayload = ExtractPayload;
    seams.runPostSetup = RunPostSetup;
    return seams;
}

SetupSeams Seams = DefaultSetupSeams();
