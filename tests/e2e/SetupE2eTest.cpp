// End-to-end cases of the installer: each runs QuorvathSetup.exe in a
// throwaway Wine prefix of its own (one ctest test per case) and checks,
// from inside Wine, what a user and the system would see afterwards.
// Program paths in command lines are quoted, so that a destination with
// blanks runs the right program.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "E2eSupport.h"

namespace {

const char* const kProductFiles[] = {
    "Quorvath.exe",        "help\\contents.htm",  "tolvane.exe",          "unsetup.exe",
    "queries\\travel.qvq", "queries\\sports.qvq", "queries\\politics.qvq"};
const char* const kDeliveredShared[] = {"Wininet.dl", "Shlwapi.dl",   "VFP300.ESL",
                                        "FOXPRO.INT", "DELPHIMM.DLL", "QVR32.DLL"};
const char* const kInstalledShared[] = {"VFP300.ESL", "FOXPRO.INT", "DELPHIMM.DLL", "QVR32.DLL"};
constexpr char kUninstallKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zelquist 1.0";
constexpr char kOpenlistKey[] = "SOFTWARE\\Tavrenholt\\Quorvath 1.0\\Openlist";
constexpr char kRunOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// The built installer signed, and signed with one archive byte changed.
std::string SignedInstaller() {
    return UnixToWindows(QX_SIGNED_SETUP_EXE);
}
std::string TamperedSignedInstaller() {
    return UnixToWindows(QX_TAMPERED_SETUP_EXE);
}

struct InstallerRun {
    StartedProcess process;
    DWORD started = 0;
};

InstallerRun StartInstaller(const std::string& path = BuiltInstaller()) {
    InstallerRun run;
    run.started = GetTickCount();
    run.process = StartProgram("\"" + path + "\"");
    return run;
}

HWND Welcome(const InstallerRun& run) {
    return WaitForDialog(run.process.id, kWelcomeCaption);
}

// Types a path into the chooser and presses OK; answers Yes to the
// creation question if one comes. Answers the welcome dialog's shown text.
std::string BrowseTo(const InstallerRun& run, HWND welcome, const std::string& path) {
    Press(welcome, kWelcomeBrowse);
    HWND chooser = WaitForDialog(run.process.id, kChooserCaption);
    if (chooser == nullptr) return "<no chooser>";
    SendMessageA(GetDlgItem(chooser, kChooserPath), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(path.c_str()));
    Press(chooser, kChooserOk);
    for (int i = 0; i < 250 && IsWindow(chooser); ++i) {
        if (HWND question = FindProcessDialog(run.process.id, "Setup")) {
            Sleep(100);
            Press(question, IDYES);
            WaitGone(question);
        }
        Sleep(20);
    }
    return ItemText(welcome, kWelcomeDestination);
}

// Presses Install on the welcome dialog and answers the success message.
std::string InstallAndConfirm(const InstallerRun& run, HWND welcome, DWORD* elapsed = nullptr,
                              SIZE_T* peak = nullptr) {
    Press(welcome, kWelcomeInstall);
    HWND box = WaitForDialog(run.process.id, kSetupCaption, 120000);
    if (box == nullptr) return "<no message>";
    if (elapsed != nullptr) *elapsed = GetTickCount() - run.started;
    if (peak != nullptr) *peak = PeakWorkingSet(run.process.handle.get());
    std::string text = ItemText(box, 65535);
    Press(box, IDOK);
    WaitGone(box);
    return text;
}

void ExpectInstalledBelow(const std::string& dest) {
    for (const char* file : kProductFiles) {
        std::string installed = dest + "\\" + file, source = PayloadPath(file);
        SCOPED_TRACE(file);
        ASSERT_TRUE(PathExists(installed));
        EXPECT_EQ(ReadWholeFile(installed), ReadWholeFile(source));
        DWORD got = DosStamp(installed), want = DosStamp(source);
        EXPECT_EQ(got >> 16, want >> 16);                    // the date
        EXPECT_LE((got & 0xFFFF) - (want & 0xFFFF) + 1, 2u); // the time, to 2 s
        EXPECT_EQ(Attributes(installed) & ~FILE_ATTRIBUTE_ARCHIVE,
                  Attributes(source) & ~FILE_ATTRIBUTE_ARCHIVE);
    }
    EXPECT_FALSE(PathExists(dest + "\\tempfile.$$$"));
}

void ExpectRegistered(const std::string& dest) {
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), "Zelquist 1.0");
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"),
              "\"" + dest + "\\unsetup.exe\"");
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kOpenlistKey, "00"), dest + "\\queries\\travel.qvq");
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kOpenlistKey, "01"), dest + "\\queries\\sports.qvq");
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kOpenlistKey, "02"),
              dest + "\\queries\\politics.qvq");
    EXPECT_EQ(RegistryText(HKEY_CLASSES_ROOT, ".qvq", nullptr), "Quorvath");
    EXPECT_EQ(RegistryText(HKEY_CLASSES_ROOT, "Quorvath", nullptr), "Zelquist");
    EXPECT_EQ(RegistryText(HKEY_CLASSES_ROOT, "Quorvath\\DefaultIcon", nullptr),
              dest + "\\quorvath.exe,0");
    EXPECT_EQ(RegistryText(HKEY_CLASSES_ROOT, "Quorvath\\shell\\open\\command", nullptr),
              "\"" + dest + "\\quorvath.exe\" \"%1\"");
}

void ExpectLinks(const std::string& dest) {
    std::string group = ProgramGroup();
    ASSERT_FALSE(group.empty());
    struct Link {
        const char* name;
        std::string target;
    } links[] = {{"Quorvath", dest + "\\Quorvath.exe"},
                 {"QVR Help", dest + "\\help\\contents.htm"},
                 {"QVR-compatible Browsers", dest + "\\tolvane.exe"}};
    for (const Link& link : links) {
        std::string target = LinkTarget(group + "\\" + link.name + ".lnk");
        EXPECT_EQ(lstrcmpiA(target.c_str(), link.target.c_str()), 0) << link.name << ": " << target;
    }
}

// The Windows family that Wine reports in this prefix, after checking that
// it is the version the run asked for (QX_WINDOWS_VERSION, cmake/wine-run).
bool Windows95Family() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    if (const char* asked = getenv("QX_WINDOWS_VERSION")) {
        struct Reported {
            const char* name;
            DWORD platform, major, minor;
        } const table[] = {{"win95", VER_PLATFORM_WIN32_WINDOWS, 4, 0},
                           {"win98", VER_PLATFORM_WIN32_WINDOWS, 4, 10},
                           {"nt40", VER_PLATFORM_WIN32_NT, 4, 0},
                           {"win2k", VER_PLATFORM_WIN32_NT, 5, 0},
                           {"win10", VER_PLATFORM_WIN32_NT, 0, 0}}; // 6.2 or 10.0
        for (const Reported& want : table) {
            if (lstrcmpA(asked, want.name) != 0) continue;
            EXPECT_EQ(info.dwPlatformId, want.platform) << asked;
            if (want.major != 0) {
                EXPECT_EQ(info.dwMajorVersion, want.major) << asked;
                EXPECT_EQ(info.dwMinorVersion, want.minor) << asked;
            } else {
                EXPECT_GE(info.dwMajorVersion, 6u) << asked;
            }
        }
    }
    return info.dwPlatformId != VER_PLATFORM_WIN32_NT;
}

std::string SpecialFolder(int csidl) {
    char path[MAX_PATH] = "";
    return SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE) ? path : "";
}

// The shortcuts go to the user's own Programs menu on the Windows 95 family
// and to the all-users menu on NT (the test runs with administrator rights).
void ExpectGroupInTheFamilysMenu() {
    bool win95 = Windows95Family();
    std::string own = SpecialFolder(CSIDL_PROGRAMS) + "\\Zelquist";
    std::string common = SpecialFolder(CSIDL_COMMON_PROGRAMS) + "\\Zelquist";
    EXPECT_EQ(PathExists(own), win95) << own;
    EXPECT_EQ(PathExists(common), !win95) << common;
    std::string group = win95 ? own : common;
    for (const char* link : {"Quorvath", "QVR Help", "QVR-compatible Browsers"})
        EXPECT_TRUE(PathExists(group + "\\" + link + ".lnk")) << link;
}

void ExpectSharedFilesInstalled(const std::string& dest) {
    for (const char* shared : kInstalledShared) {
        EXPECT_EQ(ReadWholeFile(SystemDir() + "\\" + shared), ReadWholeFile(PayloadPath(shared)))
            << shared;
    }
    // The system's own, newer libraries are left alone.
    EXPECT_NE(ReadWholeFile(SystemDir() + "\\wininet.dll"),
              ReadWholeFile(PayloadPath("Wininet.dl")));
    EXPECT_NE(ReadWholeFile(SystemDir() + "\\shlwapi.dll"),
              ReadWholeFile(PayloadPath("Shlwapi.dl")));
    for (const char* delivered : kDeliveredShared)
        EXPECT_FALSE(PathExists(dest + "\\" + delivered)) << delivered;
}

void ExpectNothingIntegrated() {
    EXPECT_TRUE(ProgramGroup().empty());
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ".qvq"));
    for (const char* shared : kInstalledShared)
        EXPECT_FALSE(PathExists(SystemDir() + "\\" + shared)) << shared;
}

// Nothing at all below the destination folder (which may not exist).
bool NothingBelow(const std::string& dir) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return true;
    bool empty = true;
    do {
        if (lstrcmpA(found.cFileName, ".") != 0 && lstrcmpA(found.cFileName, "..") != 0)
            empty = false;
    } while (empty && FindNextFileA(search, &found));
    FindClose(search);
    return empty;
}

// Install on a damaged installer: the corruption message and nothing else,
// nothing written below the destination, nothing integrated.
void ExpectOnlyTheCorruptionMessage(const std::string& installer) {
    InstallerRun run = StartInstaller(installer);
    HWND welcome = Welcome(run);
    ASSERT_NE(welcome, nullptr);
    Press(welcome, kWelcomeInstall);
    std::vector<std::string> texts;
    for (int i = 0; i < 3000 && WaitForExit(run.process, 0) == STILL_ACTIVE; ++i) {
        if (HWND box = FindProcessDialog(run.process.id, kSetupCaption)) {
            Sleep(100);
            texts.push_back(ItemText(box, 65535));
            Press(box, IDOK);
            WaitGone(box);
        }
        Sleep(20);
    }
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].rfind("Unable to extract data as the Setup file has been corrupted.\r\rYou "
                             "should obtain a correct copy by visiting ",
                             0),
              0u)
        << texts[0];
    ExpectNothingIntegrated();
    EXPECT_TRUE(NothingBelow(kDefaultDestination));
}

// Installs with every default: the common path of cases 1, 6 and 8.
void InstallWithDefaults(bool screenshots, const std::string& installer = BuiltInstaller()) {
    InstallerRun run = StartInstaller(installer);
    ASSERT_NE(run.process.id, 0u);
    HWND welcome = Welcome(run);
    ASSERT_NE(welcome, nullptr);
    EXPECT_EQ(ItemText(welcome, kWelcomeDestination), kDefaultDestination);
    if (screenshots) Screenshot("welcome");
    DWORD elapsed = 0;
    SIZE_T peak = 0;
    Press(welcome, kWelcomeInstall);
    if (screenshots && WaitForDialog(run.process.id, kProgressCaption, 5000) != nullptr)
        Screenshot("progress");
    HWND box = WaitForDialog(run.process.id, kSetupCaption, 120000);
    ASSERT_NE(box, nullptr);
    elapsed = GetTickCount() - run.started;
    peak = PeakWorkingSet(run.process.handle.get());
    if (screenshots) Screenshot("success");
    EXPECT_EQ(ItemText(box, 65535), kSuccessText);
    Press(box, IDOK);
    EXPECT_EQ(WaitForExit(run.process, 30000), 0u);
    printf("figure: defaults case %lu ms from start to the success message, peak working set "
           "%lu KiB\n",
           static_cast<unsigned long>(elapsed), static_cast<unsigned long>(peak / 1024));
}

TEST(SetupE2e, Case1DefaultsInstallEverything) {
    InstallWithDefaults(true);
    std::string dest = kDefaultDestination;
    ExpectInstalledBelow(dest);
    ExpectRegistered(dest);
    ExpectLinks(dest);
    ExpectGroupInTheFamilysMenu();
    ExpectSharedFilesInstalled(dest);
    EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, kRunOnceKey) &&
                 RegistryText(HKEY_CURRENT_USER, kRunOnceKey, "QuorvathSetup") != "<no value>");
    for (int i = 0; i < 100 && !PathExists(dest + "\\tolvane.log"); ++i) Sleep(50);
    EXPECT_TRUE(PathExists(dest + "\\tolvane.log")) << "tolvane.exe was started";
    CloseBrowserFinder();
}

TEST(SetupE2e, Case3CancelAskedTwiceThenClosesWithoutTrace) {
    InstallerRun run = StartInstaller();
    HWND welcome = Welcome(run);
    ASSERT_NE(welcome, nullptr);
    PostMessageA(welcome, WM_COMMAND, IDCANCEL, 0); // what Escape sends
    Sleep(300);
    EXPECT_TRUE(IsWindow(welcome));
    EXPECT_EQ(FindProcessDialog(run.process.id, "Exit Setup"), nullptr);

    Press(welcome, kWelcomeCancel);
    EXPECT_EQ(Answer(run.process.id, "Exit Setup", IDNO),
              "Setup is not complete yet. Are you sure you want to exit setup now?");
    EXPECT_TRUE(IsWindow(welcome));
    Press(welcome, kWelcomeCancel);
    Answer(run.process.id, "Exit Setup", IDYES);
    EXPECT_EQ(WaitForExit(run.process, 30000), 0u);
    EXPECT_EQ(FindWindowA("QVRInstWnd", nullptr), nullptr);
    EXPECT_FALSE(PathExists("C:\\Tavholt"));
    ExpectNothingIntegrated();
}

TEST(SetupE2e, Case4CorruptedInstallerShowsOnlyTheCorruptionMessage) {
    std::string bytes = ReadWholeFile(BuiltInstaller());
    std::string marker = "<qxzip file begins here>";
    std::transform(marker.begin(), marker.end(), marker.begin(), ::toupper);
    size_t at = bytes.find(marker);
    ASSERT_NE(at, std::string::npos);
    size_t payload = at + marker.size();
    bytes[payload + (bytes.size() - payload) / 2] ^= 0x01;
    std::string dir = FreshTempDir("qx e2e corrupt");
    std::string copy = dir + "\\QuorvathSetup.exe";
    {
        ScopedHandle out(
            CreateFileA(copy.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(out.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                              nullptr));
    }
    ExpectOnlyTheCorruptionMessage(copy);
}

// Signed with Authenticode: the archive ends where the certificate table
// begins, and the installer delivers what the unsigned one does.
TEST(SetupE2e, SignedInstallerDeliversEveryFile) {
    InstallWithDefaults(false, SignedInstaller());
    // Without the success message there is nothing to compare.
    ASSERT_FALSE(testing::Test::HasFailure());
    ExpectInstalledBelow(kDefaultDestination);
    ExpectSharedFilesInstalled(kDefaultDestination);
    CloseBrowserFinder();
}

// One byte of the signed installer's archive changed after signing.
TEST(SetupE2e, SignedInstallerWithAChangedByteIsCorrupted) {
    ExpectOnlyTheCorruptionMessage(TamperedSignedInstaller());
}

TEST(SetupE2e, Case2BrowseToANewDirectoryWithBlanks) {
    InstallerRun run = StartInstaller();
    HWND welcome = Welcome(run);
    ASSERT_NE(welcome, nullptr);

    Press(welcome, kWelcomeBrowse);
    HWND chooser = WaitForDialog(run.process.id, kChooserCaption);
    ASSERT_NE(chooser, nullptr);
    // Neither C:\Tavholt nor its child exists, so it opens on the drive root.
    EXPECT_EQ(ItemText(chooser, kChooserPath), "C:\\");
    Screenshot("chooser");
    for (const char* invalid : {"ab", "Program Files"}) {
        SendMessageA(GetDlgItem(chooser, kChooserPath), WM_SETTEXT, 0,
                     reinterpret_cast<LPARAM>(invalid));
        Press(chooser, kChooserOk);
        std::string text = Answer(run.process.id, "Setup", IDOK);
        EXPECT_NE(text.find("is invalid"), std::string::npos) << invalid << ": " << text;
        EXPECT_TRUE(IsWindow(chooser));
    }
    PostMessageA(chooser, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitGone(chooser));

    std::string dest = "C:\\Program Files\\Quorvath Test Dir";
    EXPECT_EQ(BrowseTo(run, welcome, dest), dest);
    EXPECT_EQ(InstallAndConfirm(run, welcome), kSuccessText);
    EXPECT_EQ(WaitForExit(run.process, 30000), 0u);
    ExpectInstalledBelow(dest);
    ExpectRegistered(dest);
    CloseBrowserFinder();
}

TEST(SetupE2e, Case7MissingDriveAsksAboutSpaceThenCannotCreate) {
    std::string drive;
    DWORD drives = GetLogicalDrives();
    for (char letter = 'Q'; letter <= 'Y' && drive.empty(); ++letter)
        if ((drives & (1u << (letter - 'A'))) == 0) drive = std::string(1, letter) + ":";
    ASSERT_FALSE(drive.empty());
    std::string dest = drive + "\\Quorvath";

    InstallerRun run = StartInstaller();
    HWND welcome = Welcome(run);
    ASSERT_NE(welcome, nullptr);
    ASSERT_EQ(BrowseTo(run, welcome, dest), dest);
    Press(welcome, kWelcomeInstall);
    EXPECT_EQ(Answer(run.process.id, kSetupCaption, IDYES),
              "There is not enough disk space on the destination drive (at least 15MB "
              "recommended). This may cause errors while installing or running Quorvath.\r\rWould "
              "you, nevertheless, wish to proceed now?");
    EXPECT_EQ(Answer(run.process.id, kSetupCaption, IDOK),
              "Cannot create destination directory:\r\r" + dest);
    EXPECT_TRUE(IsWindow(welcome));
    PostMessageA(welcome, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForExit(run.process, 30000), 0u);
    ExpectNothingIntegrated();
}

// Every file of an earlier installation read-only and changed: all replaced.
TEST(SetupE2e, Case6ReinstallReplacesReadOnlyFiles) {
    InstallWithDefaults(false);
    CloseBrowserFinder();
    std::string dest = kDefaultDestination;
    for (const char* file : kProductFiles) {
        std::string path = dest + "\\" + file;
        ScopedHandle out(
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr));
        DWORD written = 0;
        WriteFile(out.get(), "old", 3, &written, nullptr);
        out.reset();
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    }
    InstallWithDefaults(false);
    ExpectInstalledBelow(dest);
    CloseBrowserFinder();
}

// A shared file without a version test held open without sharing: the
// restart question, No, the restart-pending message; nothing started now.
TEST(SetupE2e, Case5FileInUseIsReplacedAtRestartAnsweredNo) {
    std::string held = SystemDir() + "\\QVR32.DLL";
    ScopedHandle lock(CreateFileA(held.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(lock.valid());
    InstallerRun run = StartInstaller();
    HWND welcome = Welcome(run);
    ASSERT_NE(welcome, nullptr);
    Press(welcome, kWelcomeInstall);
    EXPECT_EQ(Answer(run.process.id, kSetupCaption, IDNO, 120000),
              "The Quorvath icon has been placed in the PROGRAMS menu.\r\rYou should restart your "
              "computer to complete the Quorvath setup. Would you like to do it now?");
    EXPECT_EQ(Answer(run.process.id, kSetupCaption, IDOK),
              "The Quorvath icon has been placed in the PROGRAMS menu.\r\rThe installation "
              "process will continue when you restart the computer.");
    EXPECT_EQ(WaitForExit(run.process, 30000), 0u);
    std::string dest = kDefaultDestination;
    EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, kRunOnceKey, "QuorvathSetup"),
              "\"" + dest + "\\tolvane.exe\"");
    EXPECT_TRUE(PathExists(SystemDir() + "\\QVR32.$$$"));
    EXPECT_FALSE(PathExists(dest + "\\tolvane.log")) << "tolvane.exe must wait for the restart";
    // The rename at the next start: WinInit.ini on the Windows 95 family,
    // the pending-rename list on NT.
    std::string target = SystemDir() + "\\QVR32.DLL";
    char rename[MAX_PATH] = "";
    GetPrivateProfileStringA("rename", target.c_str(), "", rename, MAX_PATH, "WinInit.ini");
    std::string list;
    ScopedRegKey session;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_READ, session.receive()) == ERROR_SUCCESS) {
        std::vector<char> renames(65536);
        DWORD size = static_cast<DWORD>(renames.size());
        if (RegQueryValueExA(session.get(), "PendingFileRenameOperations", nullptr, nullptr,
                             reinterpret_cast<BYTE*>(renames.data()), &size) == ERROR_SUCCESS)
            list.assign(renames.data(), size);
    }
    if (Windows95Family()) {
        EXPECT_EQ(std::string(rename), SystemDir() + "\\QVR32.$$$");
        EXPECT_EQ(list.find("QVR32.$$$"), std::string::npos);
    } else {
        EXPECT_STREQ(rename, "");
        EXPECT_NE(list.find("QVR32.$$$"), std::string::npos);
    }
}

TEST(SetupE2e, Case5FileInUseAnsweredYesShowsNoFurtherMessage) {
    std::string held = SystemDir() + "\\QVR32.DLL";
    ScopedHandle lock(CreateFileA(held.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(lock.valid());
    InstallerRun run = StartInstaller();
    HWND welcome = Welcome(run);
    ASSERT_NE(welcome, nullptr);
    Press(welcome, kWelcomeInstall);
    EXPECT_NE(Answer(run.process.id, kSetupCaption, IDYES, 120000).find("restart"),
              std::string::npos);
    int further = 0;
    for (int i = 0; i < 1500 && WaitForExit(run.process, 0) == STILL_ACTIVE; ++i) {
        if (HWND box = FindProcessDialog(run.process.id, kSetupCaption)) {
            ++further;
            Press(box, IDOK);
            WaitGone(box);
        }
        Sleep(20);
    }
    EXPECT_EQ(further, 0);
}

TEST(SetupE2e, Case8UnsetupRemovesTheInstallation) {
    InstallWithDefaults(false);
    CloseBrowserFinder();
    std::string dest = kDefaultDestination;
    StartedProcess unsetup = StartProgram("\"" + dest + "\\unsetup.exe\"");
    EXPECT_NE(AnswerMessageBox("Quorvath Uninstall", IDYES).find("Do you want to remove"),
              std::string::npos);
    AnswerMessageBox("Quorvath Uninstall", IDOK);
    WaitForExit(unsetup, 30000);
    // unsetup.exe itself goes at the next restart.
    for (const char* file : kProductFiles)
        if (std::string(file) != "unsetup.exe") {
            EXPECT_FALSE(PathExists(dest + "\\" + file)) << file;
        }
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_TRUE(ProgramGroup().empty());
}

} // namespace
