// Entry point of QuorvathSetup.exe: the units' initialisations, the run, and
// their finalisations. The run sets no exit code.
#include "QVRInst.h"

#include "Encript.h"
#include "ShortUtl.h"
#if __has_include("SelDir.h")
#include "SelDir.h"
#define QX_HAVE_SELDIR 1
#endif
#if __has_include("QxUnZip.h")
#include "QxUnZip.h"
#define QX_HAVE_QXUNZIP 1
#endif
#if __has_include("Archive.h")
#include "Archive.h"
#define QX_HAVE_ARCHIVE 1
#endif
#if __has_include("PostSet.h")
#include "PostSet.h"
#include "shortcut.h"
#define QX_HAVE_POSTSET 1
#endif

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Before anything loads a library of its own.
    RestrictDllSearch();

#ifdef QX_HAVE_SELDIR
    InitSelDir();
#endif
    InitShortUtl();
#ifdef QX_HAVE_INIT_ENCRIPT
    InitEncript();
#endif
#ifdef QX_HAVE_QXUNZIP
    InitQxUnZip();
#endif
#ifdef QX_HAVE_ARCHIVE
    InitArchive();
#endif
#ifdef QX_HAVE_POSTSET
    InitShortcut();
    InitPostSet();
#endif

    RunSetup();

#ifdef QX_HAVE_POSTSET
    DonePostSet();
    DoneShortcut();
#endif
#ifdef QX_HAVE_ARCHIVE
    DoneArchive();
#endif
#ifdef QX_HAVE_QXUNZIP
    DoneQxUnZip();
#endif
#ifdef QX_HAVE_INIT_ENCRIPT
    DoneEncript();
#endif
    DoneShortUtl();
#ifdef QX_HAVE_SELDIR
    DoneSelDir();
#endif
    return 0;
}
