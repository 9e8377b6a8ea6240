// The files that the post-setup steps expect the payload to have delivered
// below the destination folder, as the archive names them: the product's
// programs, help and sample queries, and the shared files under their
// delivered names. Plain data, so that the host tool can check a payload
// folder before it packs an installer.
#pragma once

constexpr const char* kDeliveredFiles[] = {
    "Quorvath.exe",
    "help\\contents.htm",
    "tolvane.exe",
    "unsetup.exe",
    "queries\\travel.qvq",
    "queries\\sports.qvq",
    "queries\\politics.qvq",
    "Wininet.dl",
    "Shlwapi.dl",
    "VFP300.ESL",
    "FOXPRO.INT",
    "DELPHIMM.DLL",
    "QVR32.DLL",
};
