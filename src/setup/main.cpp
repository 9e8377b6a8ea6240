// Entry point of QuorvathSetup.exe: the units' initialisations, the run, and
// their finalisations. The run sets no exit code.
#include "QVRInst.h"

#include "Archive.h"
#include "Encript.h"
#include "PostSet.h"
#include "QxUnZip.h"
#include "SelDir.h"
#include "ShortUtl.h"
#include "shortcut.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Before anything loads a library of its own.
    RestrictDllSearch();

    InitSelDir();
    InitShortUtl();
    InitEncript();
    InitQxUnZip();
    InitArchive();
    InitShortcut();
    InitPostSet();

    RunSetup();

    DonePostSet();
    DoneShortcut();
    DoneArchive();
    DoneQxUnZip();
    DoneEncript();
    DoneShortUtl();
    DoneSelDir();
    return 0;
}
