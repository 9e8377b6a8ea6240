// Shared system files against a scratch system directory. Renames are
// scheduled for real, so this program runs in a prefix of its own and also
// removes what it registered.
#include <gtest/gtest.h>

#include <algorithm>

#include "MessageBoxDriver.h"
#include "PostSet.h"
#include "PostSetTestSupport.h"

namespace {

const char* const kSessionManager = "System\\CurrentControlSet\\Control\\Session Manager";
const FileVersion kWininet = SharedFiles[0].delivered;

EventLog events;
void RecordProgress(bool close) {
    events.Add(close ? "progress(true)" : "progress(false)");
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(tolower(c)); });
    return text;
}

// The pending-rename list as Wine keeps it: pairs of NT paths, the target
// marked with "!" when it replaces an existing file.
std::vector<std::string> PendingRenames() {
    std::vector<std::string> entries;
    ScopedRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, key.receive()) !=
        ERROR_SUCCESS)
        return entries;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key.get(), "PendingFileRenameOperations", nullptr, &type, nullptr,
                         &size) != ERROR_SUCCESS)
        return entries;
    std::string data(size + 2, '\0');
    RegQueryValueExA(key.get(), "PendingFileRenameOperations", nullptr, &type,
                     reinterpret_cast<BYTE*>(&data[0]), &size);
    // Empty strings delimit: a pair is "source\0target\0", an empty target deletes.
    for (size_t at = 0; at < size;) {
        size_t end = data.find('\0', at);
        if (end == std::string::npos || end >= size) break;
        if (end == at && end + 1 >= size) break; // the list's closing empty string
        entries.push_back(data.substr(at, end - at));
        at = end + 1;
    }
    return entries;
}

void ClearPendingRenames() {
    ScopedRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, key.receive()) ==
        ERROR_SUCCESS)
        RegDeleteValueA(key.get(), "PendingFileRenameOperations");
}

std::string WinInitPath() {
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    return std::string(windows) + "\\WinInit.ini";
}

std::string WinInitRename(const std::string& key) {
    char value[MAX_PATH] = {};
    GetPrivateProfileStringA("rename", key.c_str(), "<none>", value, MAX_PATH, "WinInit.ini");
    return value;
}

// Holds a file open without sharing, as a running program holds its DLL.
ScopedHandle Lock(const std::string& path) {
    return ScopedHandle(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

class SharedFileTest : public testing::Test {
protected:
    void SetUp() override {
        ResetPostSetupForTest();
        events.Clear();
        ClearPendingRenames();
        DeleteFileA(WinInitPath().c_str());
        context.destination = dest.path();
        context.SystemDirectory = system.path();
        context.owner = nullptr;
        context.progress = RecordProgress;
        SetPlatform(VER_PLATFORM_WIN32_NT, 6);
    }
    void TearDown() override {
        ClearPendingRenames();
        DeleteFileA(WinInitPath().c_str());
        ResetPostSetupForTest();
    }
    void SetPlatform(DWORD platformId, DWORD major) {
        context.version = {};
        context.version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        context.version.dwPlatformId = platformId;
        context.version.dwMajorVersion = major;
    }
    // Puts a copy of a test library into the system directory.
    void Install(const std::string& library, const std::string& name) {
        ASSERT_TRUE(CopyFileA(PostSetDataPath(library).c_str(), (system / name).c_str(), FALSE))
            << library;
    }
    void Deliver(const SharedFile& file) {
        WriteTextFile(dest / file.deliveredName, std::string("delivered ") + file.installedName);
    }

    ScratchDirectory dest{"qx dest"};
    ScratchDirectory system{"qx system"};
    PostSetupContext context;
};

} // namespace

TEST_F(SharedFileTest, InstalledVersionDecidesTheReplacement) {
    struct Case {
        const char* installed; // test library, "" for none, "text" for a plain file
        FileVersion delivered;
        bool replace;
    };
    const Case cases[] = {
        {"", kWininet, true},
        {"text", kWininet, true},
        {"noversion.dll", kWininet, true},
        {"badsignature.dll", kWininet, true},
        {"shortblock.dll", kWininet, true},
        {"v4.71.1712.4.dll", kWininet, true},
        {"v4.71.1712.5.dll", kWininet, false},
        {"v4.71.1712.6.dll", kWininet, false},
        {"v4.71.1711.9999.dll", kWininet, true},
        {"v5.0.0.0.dll", kWininet, false},
        // A major of 32768 or more is newer, not older.
        {"v32768.0.0.0.dll", kWininet, false},
        {"v4.71.1711.9999.dll", SharedFiles[1].delivered, true},
        {"v32768.0.0.0.dll", MakeFileVersion(5, 0, 0, 0), false},
    };
    // Not named after a system library: Wine answers for a loaded library of
    // that name instead of the file at the path.
    std::string target = system / "probe.dll";
    for (const Case& c : cases) {
        DeleteFileA(target.c_str());
        std::string installed = c.installed;
        if (installed == "text")
            WriteTextFile(target, "no version here");
        else if (!installed.empty())
            Install(installed, "probe.dll");
        EXPECT_EQ(IsInstalledFileOlder(target, c.delivered), c.replace)
            << installed << " against " << std::hex << c.delivered.VersionMS << "."
            << c.delivered.VersionLS;
    }
}

TEST_F(SharedFileTest, WithoutTheVersionLibraryAnInstalledCopyIsLeftAlone) {
    PostSetupSystemCalls().versionLibraryPath = system / "absent\\version.dll";
    Install("v4.71.1712.4.dll", "Wininet.dll");
    EXPECT_FALSE(IsInstalledFileOlder(system / "Wininet.dll", kWininet));
    EXPECT_TRUE(IsInstalledFileOlder(system / "Shlwapi.dll", kWininet)) << "nothing installed";
}

TEST_F(SharedFileTest, MissingLibraryIsCopiedAndTheDeliveredOneRemoved) {
    Deliver(SharedFiles[0]);
    EXPECT_EQ(InstallSharedFile(context, SharedFiles[0]), SharedFileResult::Continue);
    EXPECT_EQ(ReadTextFile(system / "Wininet.dll"), "delivered Wininet.dll");
    EXPECT_FALSE(FileExists(dest / "Wininet.dl"));
    EXPECT_FALSE(RestartNeeded());
    EXPECT_EQ(events.Events(), (std::vector<std::string>{"progress(false)", "progress(false)"}));
}

TEST_F(SharedFileTest, NewerLibraryStaysAndTheDeliveredOneIsRemovedAnyway) {
    Install("v5.0.0.0.dll", "Shlwapi.dll");
    std::string before = ReadTextFile(system / "Shlwapi.dll");
    Deliver(SharedFiles[1]);
    EXPECT_EQ(InstallSharedFile(context, SharedFiles[1]), SharedFileResult::Continue);
    EXPECT_EQ(ReadTextFile(system / "Shlwapi.dll"), before);
    EXPECT_FALSE(FileExists(dest / "Shlwapi.dl"));
    EXPECT_EQ(events.Events(), (std::vector<std::string>{"progress(false)", "progress(true)"}));
}

TEST_F(SharedFileTest, FilesWithoutVersionTestOverwriteANewerCopy) {
    for (int row : {4, 5}) {
        Install("v32768.0.0.0.dll", SharedFiles[row].installedName);
        Deliver(SharedFiles[row]);
        EXPECT_EQ(InstallSharedFile(context, SharedFiles[row]), SharedFileResult::Continue);
        EXPECT_EQ(ReadTextFile(system / SharedFiles[row].installedName),
                  std::string("delivered ") + SharedFiles[row].installedName);
    }
}

TEST_F(SharedFileTest, LockedTargetOnNtIsReplacedThroughThePendingRenameList) {
    Install("v4.71.1711.9999.dll", "Shlwapi.dll");
    Deliver(SharedFiles[1]);
    ScopedHandle held = Lock(system / "Shlwapi.dll");
    ASSERT_TRUE(held.valid());
    EXPECT_EQ(InstallSharedFile(context, SharedFiles[1]), SharedFileResult::Continue);
    EXPECT_EQ(ReadTextFile(system / "Shlwapi.$$$"), "delivered Shlwapi.dll");
    EXPECT_TRUE(RestartNeeded());
    EXPECT_FALSE(FileExists(dest / "Shlwapi.dl"));
    std::vector<std::string> renames = PendingRenames();
    ASSERT_EQ(renames.size(), 2u) << testing::PrintToString(renames);
    EXPECT_EQ(Lower(renames[0]), Lower("\\??\\" + (system / "Shlwapi.$$$")));
    EXPECT_EQ(Lower(renames[1]), Lower("!\\??\\" + (system / "Shlwapi.dll")))
        << "replaces the existing file";
    EXPECT_EQ(WinInitRename(system / "Shlwapi.dll"), "<none>");
}

TEST_F(SharedFileTest, LockedTargetBeforeNt4GoesToWinInit) {
    const std::pair<DWORD, DWORD> platforms[] = {{VER_PLATFORM_WIN32_WINDOWS, 4},
                                                 {VER_PLATFORM_WIN32_NT, 3}};
    for (const auto& [platformId, major] : platforms) {
        ResetPostSetupForTest();
        DeleteFileA(WinInitPath().c_str());
        SetPlatform(platformId, major);
        Deliver(SharedFiles[1]);
        ScopedHandle held = Lock(system / "Shlwapi.dll");
        ASSERT_TRUE(held.valid());
        EXPECT_EQ(InstallSharedFile(context, SharedFiles[1]), SharedFileResult::Continue);
        EXPECT_TRUE(RestartNeeded());
        EXPECT_EQ(WinInitRename(system / "Shlwapi.dll"), system / "Shlwapi.$$$")
            << "platform " << platformId << " major " << major;
        EXPECT_EQ(ReadTextFile(system / "Shlwapi.$$$"), "delivered Shlwapi.dll");
        EXPECT_TRUE(PendingRenames().empty());
    }
}

TEST_F(SharedFileTest, TemporaryNameReplacesTheExtension) {
    SetPlatform(VER_PLATFORM_WIN32_WINDOWS, 4);
    WriteTextFile(dest / "source", "x");
    EXPECT_TRUE(ScheduleReplaceOnRestart(context, "QVR32.DLL", dest / "source"));
    EXPECT_TRUE(FileExists(system / "QVR32.$$$"));
    EXPECT_EQ(WinInitRename(system / "QVR32.DLL"), system / "QVR32.$$$");
    // A later schedule of the same target overwrites the temporary copy and the line.
    WriteTextFile(dest / "source", "y");
    EXPECT_TRUE(ScheduleReplaceOnRestart(context, "QVR32.DLL", dest / "source"));
    EXPECT_EQ(ReadTextFile(system / "QVR32.$$$"), "y");
}

TEST_F(SharedFileTest, CopyAndScheduleFailingReportsTheTargetAndStops) {
    Deliver(SharedFiles[2]);
    ScopedHandle target = Lock(system / "VFP300.ESL");
    ScopedHandle temporary = Lock(system / "VFP300.$$$");
    ASSERT_TRUE(target.valid() && temporary.valid());
    MessageBoxDriver driver;
    EXPECT_EQ(InstallSharedFile(context, SharedFiles[2]), SharedFileResult::Stop);
    std::vector<SeenDialog> boxes = driver.Stop();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Quorvath Setup");
    EXPECT_EQ(boxes[0].text, "Unable to complete the setup process as file \"" +
                                 (system / "VFP300.ESL") +
                                 "\"is currently in use by another process.\r\rPlease, close all "
                                 "applicaions that are working at the moment and run this "
                                 "program, again.");
    EXPECT_EQ(boxes[0].icon, static_cast<UINT>(MB_ICONERROR));
    EXPECT_TRUE(boxes[0].hasOk && !boxes[0].hasYes);
    EXPECT_EQ(events.Events(), std::vector<std::string>{"progress(true)"});
    EXPECT_TRUE(FileExists(dest / "VFP300.ESL")) << "the delivered copy stays";
    EXPECT_FALSE(RestartNeeded());
}

TEST_F(SharedFileTest, MissingDeliveredCopyIsReportedAsFileInUse) {
    MessageBoxDriver driver;
    EXPECT_EQ(InstallSharedFile(context, SharedFiles[5]), SharedFileResult::Stop);
    std::vector<SeenDialog> boxes = driver.Stop();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find("\"" + (system / "QVR32.DLL") + "\"is currently"),
              std::string::npos);
}

TEST(VersionLibrary, IsNotImportedSoAPlantedCopyCannotLoad) {
    // The import table of this program, which links the post-setup unit.
    const auto* base = reinterpret_cast<const BYTE*>(GetModuleHandleA(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    ASSERT_NE(directory.VirtualAddress, 0u);
    std::vector<std::string> imported;
    for (const auto* entry =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         entry->Name != 0; ++entry)
        imported.push_back(Lower(reinterpret_cast<const char*>(base + entry->Name)));
    EXPECT_NE(std::find(imported.begin(), imported.end(), "kernel32.dll"), imported.end());
    EXPECT_EQ(std::find(imported.begin(), imported.end(), "version.dll"), imported.end())
        << testing::PrintToString(imported);
}
