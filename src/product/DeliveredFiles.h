// The files that the post-setup steps expect the payload to have delivered
// below the destination folder, as the archive names them: the product's
// programs, help and sample queries, and the shared files under their
// delivered names. Plain data, so that the host tool can check a payload
// folder before it packs an installer, and the tests can check the sample.
#pragma once

constexpr const char kProductProgram[] = "Quorvath.exe";
constexpr const char kHelpContents[] = "help\\contents.htm";
constexpr const char kBrowserFinder[] = "tolvane.exe";
constexpr const char kUninstaller[] = "unsetup.exe";
constexpr const char* kSampleQueries[] = {"queries\\travel.qvq", "queries\\sports.qvq",
                                          "queries\\politics.qvq"};

// A shared file moves from the destination folder into the system directory
// under its installed name.
struct SharedFileName {
    const char* delivered;
    const char* installed;
};
constexpr SharedFileName kSharedFileNames[] = {
    {"Wininet.dl", "Wininet.dll"}, {"Shlwapi.dl", "Shlwapi.dll"},    {"VFP300.ESL", "VFP300.ESL"},
    {"FOXPRO.INT", "FOXPRO.INT"},  {"DELPHIMM.DLL", "DELPHIMM.DLL"}, {"QVR32.DLL", "QVR32.DLL"},
};

constexpr const char* kDeliveredFiles[] = {
    kProductProgram,
    kHelpContents,
    kBrowserFinder,
    kUninstaller,
    kSampleQueries[0],
    kSampleQueries[1],
    kSampleQueries[2],
    kSharedFileNames[0].delivered,
    kSharedFileNames[1].delivered,
    kSharedFileNames[2].delivered,
    kSharedFileNames[3].delivered,
    kSharedFileNames[4].delivered,
    kSharedFileNames[5].delivered,
};
