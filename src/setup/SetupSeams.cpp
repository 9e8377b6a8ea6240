// The real calls behind the driver's seams, and the links to the other units.
#include "QVRInst.h"

#include "Archive.h"
#include "PostSet.h"
#include "SelDir.h"

namespace {

HMODULE LoadShellLibrary() {
    return LoadSystemLibrary("shell32.dll");
}

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
    seams.tickCount = GetTickCount;
    return seams;
}

SetupSeams Seams = DefaultSetupSeams();
