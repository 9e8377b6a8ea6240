// Entry point of QuorvathSetup.exe: the units' initialisations, the run, and
// their finalisations. The run sets no exit code.
#include "QVRInst.h"

#include "Archive.h"
#include "Encript.h"
#include "PostSet.h"
#include "QxUnZip.h"
#include "ShortUtl.h"
#include "shortcut.h"
#if __has_include("SelDir.h")
#include "SelDir.h"
#define QX_HAVE_SELDIR 1
#endif

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Before anything loads a library of its own.
    RestrictDllSearch();

#ifdef QX_HAVE_SELDIR
    InitSelDir();
#endif
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
#ifdef QX_HAVE_SELDIR
    DoneSelDir();
#endif
    return 0;
}
