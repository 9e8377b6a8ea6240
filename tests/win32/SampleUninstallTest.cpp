// unsetup.exe against an installed sample product: the files of the
// destination, the program group and its links, the registry entries; and
// what it must leave: foreign files and values, the shared system files.
// Runs in a prefix of its own, since the uninstaller schedules its own
// removal for the next restart.
#include "SampleTestSupport.h"

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <thread>

#include "PostSet.h"
#include "shortcut.h"

namespace {

constexpr char kCaption[] = "Quorvath Uninstall";
constexpr char kUninstallKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zelquist 1.0";
constexpr char kOpenlistKey[] = "SOFTWARE\\Tavrenholt\\Quorvath 1.0\\Openlist";
const char* const kSharedFiles[] = {"Wininet.dl", "Shlwapi.dl",   "VFP300.ESL",
                                    "FOXPRO.INT", "DELPHIMM.DLL", "QVR32.DLL"};
const char* const kInstalledShared[] = {"VFP300.ESL", "FOXPRO.INT", "DELPHIMM.DLL", "QVR32.DLL"};
const char* const kLinkNames[] = {"Quorvath", "QVR Help", "QVR-compatible Browsers"};

void SetString(HKEY root, const std::string& path, const char* name, const std::string& data) {
    ScopedRegKey key;
    ASSERT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              key.receive(), nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>(data.size() + 1));
}

bool KeyExists(HKEY root, const char* path) {
    ScopedRegKey key;
    return RegOpenKeyExA(root, path, 0, KEY_READ, key.receive()) == ERROR_SUCCESS;
}

bool ValueExists(HKEY root, const char* path, const char* name) {
    ScopedRegKey key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, key.receive()) != ERROR_SUCCESS) return false;
    return RegQueryValueExA(key.get(), name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

std::string SpecialFolder(int csidl) {
    char path[MAX_PATH] = "";
    SHGetSpecialFolderPathA(nullptr, path, csidl, TRUE);
    return path;
}

std::string SystemDirectory() {
    char path[MAX_PATH] = "";
    GetSystemDirectoryA(path, MAX_PATH);
    return path;
}

bool CreateLink(const std::string& target, const std::string& linkFile) {
    ScopedCoInit com;
    ComPtr<IShellLinkA> link;
    if (!com.ok() || FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                             IID_IShellLinkA, link.receive())))
        return false;
    link->SetPath(target.c_str());
    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.receive()))) return false;
    wchar_t wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, linkFile.c_str(), -1, wide, MAX_PATH);
    return SUCCEEDED(file->Save(wide, TRUE));
}

// The entries of the system's pending-rename list, lower-cased.
std::string PendingRenames() {
    ScopedRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_READ, key.receive()) != ERROR_SUCCESS)
        return "";
    DWORD size = 0;
    if (RegQueryValueExA(key.get(), "PendingFileRenameOperations", nullptr, nullptr, nullptr,
                         &size) != ERROR_SUCCESS)
        return "";
    std::string data(size, '\0');
    RegQueryValueExA(key.get(), "PendingFileRenameOperations", nullptr, nullptr,
                     reinterpret_cast<BYTE*>(&data[0]), &size);
    std::replace(data.begin(), data.end(), '\0', '\n');
    CharLowerBuffA(&data[0], static_cast<DWORD>(data.size()));
    return data;
}

std::string Lower(std::string text) {
    CharLowerBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

// Runs the installed unsetup.exe as the uninstall entry does and answers
// its confirmation; the outcome message's text goes to outcome.
DWORD RunInstalledUninstaller(const std::string& dest, int answer, std::string* outcome) {
    StartedProcess process = StartProgram("\"" + dest + "\\unsetup.exe\"");
    EXPECT_TRUE(process.handle.valid());
    std::string question = AnswerMessageBox(kCaption, answer);
    EXPECT_NE(question.find("Do you want to remove Zelquist 1.0 (Quorvath) from"),
              std::string::npos)
        << question;
    EXPECT_NE(question.find(dest), std::string::npos) << question;
    if (answer == IDYES) {
        std::string text = AnswerMessageBox(kCaption, IDOK);
        if (outcome != nullptr) *outcome = text;
    }
    return WaitForExit(process);
}

void ExpectSharedFilesKept() {
    for (const char* shared : kInstalledShared)
        EXPECT_TRUE(PathExists(SystemDirectory() + "\\" + shared)) << shared;
}

// The state an installation into a destination with blanks leaves: the
// payload unpacked, the shared files moved into the system directory, the
// registry entries, and the group with its links in both Programs folders
// (the installer uses one of them, depending on its rights).
class InstalledSample : public testing::Test {
protected:
    void SetUp() override {
        dest = FreshTempDir("qx sample uninstall\\Zelquist dest");
        std::vector<std::string> files;
        ListFiles(PayloadPath(), "", files);
        CreateDirectoryA((dest + "\\help").c_str(), nullptr);
        CreateDirectoryA((dest + "\\queries").c_str(), nullptr);
        for (const std::string& file : files)
            ASSERT_TRUE(CopyFileA(PayloadPath(file).c_str(), (dest + "\\" + file).c_str(), FALSE))
                << file;
        for (const char* shared : kInstalledShared)
            ASSERT_TRUE(CopyFileA((dest + "\\" + shared).c_str(),
                                  (SystemDirectory() + "\\" + shared).c_str(), FALSE));
        for (const char* shared : kSharedFiles) DeleteFileA((dest + "\\" + shared).c_str());
        delivered = files;
        // The browser finder ran at the end of the setup and left its log.
        std::string log = dest + "\\tolvane.log";
        ScopedHandle(CreateFileA(log.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));

        SetString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName", "Zelquist 1.0");
        SetString(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString",
                  "\"" + dest + "\\unsetup.exe\"");
        SetString(HKEY_LOCAL_MACHINE, kOpenlistKey, "00", dest + "\\queries\\travel.qvq");
        SetString(HKEY_LOCAL_MACHINE, kOpenlistKey, "01", dest + "\\queries\\sports.qvq");
        SetString(HKEY_LOCAL_MACHINE, kOpenlistKey, "02", dest + "\\queries\\politics.qvq");
        SetString(HKEY_CLASSES_ROOT, ".qvq", nullptr, "Quorvath");
        SetString(HKEY_CLASSES_ROOT, "Quorvath", nullptr, "Zelquist");
        SetString(HKEY_CLASSES_ROOT, "Quorvath\\DefaultIcon", nullptr, dest + "\\quorvath.exe,0");
        SetString(HKEY_CLASSES_ROOT, "Quorvath\\shell\\open\\command", nullptr,
                  "\"" + dest + "\\quorvath.exe\" \"%1\"");

        for (int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
            std::string group = SpecialFolder(csidl) + "\\Zelquist";
            CreateDirectoryA(group.c_str(), nullptr);
            groups.push_back(group);
            ASSERT_TRUE(CreateLink(dest + "\\Quorvath.exe", group + "\\Quorvath.lnk"));
            ASSERT_TRUE(CreateLink(dest + "\\help\\contents.htm", group + "\\QVR Help.lnk"));
            ASSERT_TRUE(
                CreateLink(dest + "\\tolvane.exe", group + "\\QVR-compatible Browsers.lnk"));
        }
    }

    void TearDown() override {
        RemoveTree(FreshTempDir("qx sample uninstall"));
        for (const std::string& group : groups) RemoveTree(group);
        for (const char* shared : kInstalledShared)
            DeleteFileA((SystemDirectory() + "\\" + shared).c_str());
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kUninstallKey);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tavrenholt");
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tavrenholt");
        for (const char* key : {".qvq", "Quorvath"}) {
            RegDeleteTreeA(HKEY_CLASSES_ROOT, key);
            RegDeleteKeyA(HKEY_CLASSES_ROOT, key);
        }
    }

    DWORD RunUninstaller(int answer, std::string* outcome = nullptr) {
        return RunInstalledUninstaller(dest, answer, outcome);
    }

    void ExpectInstalledFilesGone(const std::string& except = "") {
        for (const std::string& file : delivered) {
            if (file == except || file == "unsetup.exe") continue;
            EXPECT_FALSE(PathExists(dest + "\\" + file)) << file;
        }
        EXPECT_FALSE(PathExists(dest + "\\tolvane.log"));
        // The uninstaller cannot delete its running file: gone, or left for
        // the next restart.
        std::string self = dest + "\\unsetup.exe";
        EXPECT_TRUE(!PathExists(self) || PendingRenames().find(Lower(self)) != std::string::npos);
    }

    void ExpectGroupsGone() {
        for (const std::string& group : groups) EXPECT_FALSE(PathExists(group)) << group;
    }

    void ExpectRegistryGone() {
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        for (const char* value : {"00", "01", "02"})
            EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kOpenlistKey, value)) << value;
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".qvq"));
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Quorvath"));
    }

    std::string dest;
    std::vector<std::string> delivered;
    std::vector<std::string> groups;
};

TEST_F(InstalledSample, RemovesEverythingInstalledAndKeepsForeignFilesAndValues) {
    std::string foreign = dest + "\\queries\\my own.qvq";
    ASSERT_TRUE(CopyFileA((dest + "\\queries\\travel.qvq").c_str(), foreign.c_str(), FALSE));
    SetString(HKEY_LOCAL_MACHINE, kOpenlistKey, "03", foreign);

    std::string outcome;
    EXPECT_EQ(RunUninstaller(IDYES, &outcome), 0u);
    EXPECT_NE(outcome.find("Zelquist 1.0 has been removed from your computer."), std::string::npos)
        << outcome;
    // The folder that holds the foreign file is named as kept, not as a failure.
    EXPECT_NE(outcome.find(dest + "\\queries\r\n"), std::string::npos) << outcome;

    ExpectInstalledFilesGone();
    EXPECT_FALSE(PathExists(dest + "\\help"));
    EXPECT_TRUE(PathExists(foreign));
    ExpectGroupsGone();
    ExpectRegistryGone();
    EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kOpenlistKey, "03"));
    ExpectSharedFilesKept();
    // The destination still holds a foreign file, so its removal is not scheduled.
    EXPECT_EQ(PendingRenames().find(Lower(dest) + "\n"), std::string::npos);
}

TEST_F(InstalledSample, LeavesAnEmptiedDestinationForTheNextRestart) {
    EXPECT_EQ(RunUninstaller(IDYES), 0u);
    ExpectInstalledFilesGone();
    EXPECT_FALSE(PathExists(dest + "\\queries"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kOpenlistKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tavrenholt"));
    if (PathExists(dest)) {
        EXPECT_NE(PendingRenames().find(Lower(dest) + "\n"), std::string::npos);
    }
}

TEST_F(InstalledSample, ReportsAFileItCannotRemoveAndRemovesTheRest) {
    std::string held = dest + "\\queries\\sports.qvq";
    ScopedHandle lock(
        CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock.valid());

    std::string outcome;
    EXPECT_EQ(RunUninstaller(IDYES, &outcome), 1u);
    EXPECT_NE(outcome.find("which could not be removed:\r\n\r\n  " + held + "\r\n"),
              std::string::npos)
        << outcome;
    EXPECT_TRUE(PathExists(held));
    ExpectInstalledFilesGone("queries\\sports.qvq");
    ExpectGroupsGone();
    ExpectRegistryGone();
}

TEST_F(InstalledSample, DecliningTheConfirmationChangesNothing) {
    EXPECT_EQ(RunUninstaller(IDNO), 2u);
    for (const std::string& file : delivered) {
        bool shared =
            std::find_if(std::begin(kSharedFiles), std::end(kSharedFiles),
                         [&](const char* s) { return file == s; }) != std::end(kSharedFiles);
        EXPECT_EQ(PathExists(dest + "\\" + file), !shared) << file;
    }
    for (const std::string& group : groups)
        for (const char* link : kLinkNames)
            EXPECT_TRUE(PathExists(group + "\\" + link + ".lnk")) << link;
    EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"));
    EXPECT_TRUE(ValueExists(HKEY_CLASSES_ROOT, "Quorvath\\shell\\open\\command", nullptr));
}

// The whole way: the real post-setup steps install the unpacked payload,
// then the uninstaller takes it all away again.
TEST(SampleAfterPostSetup, UninstallerUndoesWhatThePostSetupStepsDid) {
    std::string dest = FreshTempDir("qx sample setup\\Zelquist dest");
    std::vector<std::string> files;
    ListFiles(PayloadPath(), "", files);
    CreateDirectoryA((dest + "\\help").c_str(), nullptr);
    CreateDirectoryA((dest + "\\queries").c_str(), nullptr);
    for (const std::string& file : files)
        ASSERT_TRUE(CopyFileA(PayloadPath(file).c_str(), (dest + "\\" + file).c_str(), FALSE));

    InitShortcut();
    InitPostSet();
    std::string success;
    std::thread answer([&] { success = AnswerMessageBox("Quorvath Setup", IDOK); });
    EXPECT_TRUE(RunPostSetup(dest, nullptr, [](bool) {}));
    answer.join();
    EXPECT_NE(success.find("Quorvath has been successfully installed."), std::string::npos)
        << success;
    // The installer started the browser finder: close it before going on.
    HWND finder = nullptr;
    for (int i = 0; i < 200 && finder == nullptr; ++i, Sleep(100))
        finder = FindWindowA("TolvaneWnd", nullptr);
    ASSERT_NE(finder, nullptr);
    PostMessageA(finder, WM_CLOSE, 0, 0);
    for (int i = 0; i < 200 && IsWindow(finder); ++i) Sleep(100);
    EXPECT_NE(ReadWholeFile(dest + "\\tolvane.log").find(" tolvane started, "), std::string::npos);

    std::string group = ProgramsFolderPath() + "\\Zelquist";
    for (const char* link : kLinkNames)
        ASSERT_TRUE(PathExists(group + "\\" + link + ".lnk")) << link;
    ASSERT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kOpenlistKey, "02"));
    ExpectSharedFilesKept();

    // The product starts from its shortcut and lists the queries the setup registered.
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    std::string quorvathLink = group + "\\Quorvath.lnk";
    info.lpFile = quorvathLink.c_str();
    info.nShow = SW_SHOWNORMAL;
    EXPECT_TRUE(ShellExecuteExA(&info));
    HWND product = nullptr;
    for (int i = 0; i < 200 && product == nullptr; ++i, Sleep(100))
        product = FindWindowA("QuorvathWnd", nullptr);
    ASSERT_NE(product, nullptr);
    EXPECT_EQ(SendMessageA(GetDlgItem(product, 101), LB_GETCOUNT, 0, 0), 3);
    PostMessageA(product, WM_CLOSE, 0, 0);
    for (int i = 0; i < 200 && IsWindow(product); ++i) Sleep(100);

    std::string foreign = dest + "\\my notes.txt";
    ScopedHandle(CreateFileA(foreign.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    SetString(HKEY_LOCAL_MACHINE, kOpenlistKey, "03", "C:\\elsewhere\\mine.qvq");

    std::string outcome;
    EXPECT_EQ(RunInstalledUninstaller(dest, IDYES, &outcome), 0u);
    EXPECT_NE(outcome.find("has been removed from your computer."), std::string::npos) << outcome;
    for (const std::string& file : files) {
        if (file == "unsetup.exe") continue;
        EXPECT_FALSE(PathExists(dest + "\\" + file)) << file;
    }
    EXPECT_FALSE(PathExists(dest + "\\tolvane.log"));
    EXPECT_FALSE(PathExists(dest + "\\help"));
    EXPECT_FALSE(PathExists(dest + "\\queries"));
    EXPECT_TRUE(PathExists(foreign));
    EXPECT_FALSE(PathExists(group));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    for (const char* value : {"00", "01", "02"})
        EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kOpenlistKey, value)) << value;
    EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kOpenlistKey, "03"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".qvq"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Quorvath"));
    ExpectSharedFilesKept();

    DonePostSet();
    DoneShortcut();
    RemoveTree(FreshTempDir("qx sample setup"));
    for (const char* shared : kInstalledShared)
        DeleteFileA((SystemDirectory() + "\\" + shared).c_str());
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tavrenholt");
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tavrenholt");
}

} // namespace
