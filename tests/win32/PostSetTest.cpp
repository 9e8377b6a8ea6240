// The whole post-setup sequence against a scratch destination and system
// directory, with the real Programs folder and registry of this prefix.
#include <gtest/gtest.h>

#include "MessageBoxDriver.h"
#include "PostSet.h"
#include "PostSetTestSupport.h"
#include "shortcut.h"

namespace {

EventLog events;
std::string systemDirectory;
UINT systemDirectoryAnswer = 0; // 0: the length of systemDirectory

void RecordProgress(bool close) {
    events.Add(close ? "progress(true)" : "progress(false)");
}

UINT WINAPI ScratchSystemDirectory(LPSTR buffer, UINT size) {
    if (systemDirectoryAnswer != 0) return systemDirectoryAnswer;
    if (systemDirectory.size() >= size) return static_cast<UINT>(systemDirectory.size() + 1);
    lstrcpyA(buffer, systemDirectory.c_str());
    return static_cast<UINT>(systemDirectory.size());
}

UINT WINAPI RecordWinExec(LPCSTR commandLine, UINT show) {
    events.Add("exec " + std::string(commandLine) + " " + std::to_string(show));
    return 33;
}

const char* const kSuccess =
    "Quorvath has been successfully installed.\r\rTo run the application, click the START "
    "button, then point to PROGRAMS, and select ZELQUIST.";

std::vector<std::string> Repeat(const std::string& event, int times) {
    return std::vector<std::string>(static_cast<size_t>(times), event);
}

class PostSetTest : public testing::Test {
protected:
    void SetUp() override {
        ResetPostSetupForTest();
        RemoveProductRegistry();
        events.Clear();
        InitShortcut();
        ASSERT_FALSE(ProgramsFolderPath().empty());
        group = ProgramsFolderPath() + "\\Zelquist";
        RemoveTree(group);
        systemDirectory = system.path();
        systemDirectoryAnswer = 0;
        PostSetupSystemCalls().getSystemDirectory = ScratchSystemDirectory;
        PostSetupSystemCalls().winExec = RecordWinExec;
        CreateDirectoryA((dest / "help").c_str(), nullptr);
        for (const char* name : {"Quorvath.exe", "help\\contents.htm", "tolvane.exe"})
            WriteTextFile(dest / name, name);
        for (const SharedFile& file : SharedFiles)
            WriteTextFile(dest / file.deliveredName,
                          std::string("delivered ") + file.installedName);
        owner = CreateOwnerWindow();
        ASSERT_NE(owner, nullptr);
    }
    void TearDown() override {
        DestroyWindow(owner);
        RemoveTree(group);
        DoneShortcut();
        RemoveProductRegistry();
        ResetPostSetupForTest();
    }

    // Runs the sequence with every message box answered OK; the answers
    // join the event log.
    std::vector<SeenDialog> Run() {
        MessageBoxDriver driver([](const SeenDialog& box) {
            events.Add("box " + box.caption);
            return 0;
        });
        EXPECT_TRUE(RunPostSetup(dest.path(), owner, RecordProgress));
        return driver.Stop();
    }

    void ExpectShortcuts() {
        const std::pair<const char*, std::string> links[] = {
            {"Quorvath", dest / "Quorvath.exe"},
            {"QVR Help", dest / "help\\contents.htm"},
            {"QVR-compatible Browsers", dest / "tolvane.exe"},
        };
        for (const auto& [name, target] : links) {
            LinkContents link = ReadLink(group + "\\" + name + ".lnk");
            ASSERT_TRUE(link.loaded) << name;
            EXPECT_EQ(link.path, target);
            EXPECT_EQ(link.description, name);
            EXPECT_EQ(link.workingDirectory, LinkWorkingDirectory(target));
        }
        EXPECT_EQ(LinkWorkingDirectory(dest / "help\\contents.htm"), dest / "help");
    }

    ScratchDirectory dest{"qx my apps"};
    ScratchDirectory system{"qx system"};
    std::string group;
    HWND owner = nullptr;
};

struct ExpectedValue {
    HKEY root;
    const char* key;
    const char* name;
    std::string data;
};

std::vector<ExpectedValue> ProductValues(const std::string& d) {
    const char* uninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zelquist 1.0";
    const char* openlist = "SOFTWARE\\Tavrenholt\\Quorvath 1.0\\Openlist";
    return {
        {HKEY_LOCAL_MACHINE, uninstall, "DisplayName", "Zelquist 1.0"},
        {HKEY_LOCAL_MACHINE, uninstall, "UninstallString", "\"" + d + "\\unsetup.exe\""},
        {HKEY_LOCAL_MACHINE, openlist, "00", d + "\\queries\\travel.qvq"},
        {HKEY_LOCAL_MACHINE, openlist, "01", d + "\\queries\\sports.qvq"},
        {HKEY_LOCAL_MACHINE, openlist, "02", d + "\\queries\\politics.qvq"},
        {HKEY_CLASSES_ROOT, ".qvq", nullptr, "Quorvath"},
        {HKEY_CLASSES_ROOT, "Quorvath", nullptr, "Zelquist"},
        {HKEY_CLASSES_ROOT, "Quorvath\\DefaultIcon", nullptr, d + "\\quorvath.exe,0"},
        {HKEY_CLASSES_ROOT, "Quorvath\\shell\\open\\command", nullptr,
         "\"" + d + "\\quorvath.exe\" \"%1\""},
    };
}

const char* const kRunOnce = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

} // namespace

TEST_F(PostSetTest, WholeSequenceInstallsEverythingAndEndsWithSuccess) {
    std::vector<SeenDialog> boxes = Run();

    ExpectShortcuts();
    for (const ExpectedValue& value : ProductValues(dest.path())) {
        RegString read = ReadRegString(value.root, value.key, value.name);
        EXPECT_TRUE(read.found) << value.key << " " << (value.name ? value.name : "(default)");
        EXPECT_EQ(read.type, static_cast<DWORD>(REG_SZ)) << value.key;
        EXPECT_EQ(read.data, value.data) << value.key;
        EXPECT_EQ(read.size, value.data.size() + 1) << value.key;
    }
    EXPECT_FALSE(ReadRegString(HKEY_CURRENT_USER, kRunOnce, "QuorvathSetup").found);
    for (const SharedFile& file : SharedFiles) {
        EXPECT_EQ(ReadTextFile(system / file.installedName),
                  std::string("delivered ") + file.installedName);
        EXPECT_FALSE(FileExists(dest / file.deliveredName)) << file.deliveredName;
    }

    std::vector<std::string> expected = Repeat("progress(false)", 5 + 6 + 2);
    for (int row = 1; row < kSharedFileCount; ++row) {
        expected.push_back("progress(false)");
        expected.push_back("progress(true)");
    }
    expected.push_back("exec \"" + (dest / "tolvane.exe") + "\" 1");
    expected.push_back("box Quorvath Setup");
    EXPECT_EQ(events.Events(), expected);

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kSuccess);
    EXPECT_EQ(boxes[0].owner, owner);
    EXPECT_EQ(boxes[0].icon, static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_TRUE(boxes[0].hasOk && !boxes[0].hasYes && !boxes[0].hasNo);
}

TEST_F(PostSetTest, UnknownSystemDirectoryStopsAfterTheShortcuts) {
    for (UINT answer : {0u, 300u, 260u}) {
        SCOPED_TRACE(answer);
        RemoveTree(group);
        events.Clear();
        systemDirectory = answer == 0 ? "" : system.path();
        systemDirectoryAnswer = answer;
        std::vector<SeenDialog> boxes = Run();

        ExpectShortcuts();
        EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE,
                                  "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                                  "Zelquist 1.0"));
        EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tavrenholt"));
        EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, ".qvq"));
        EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, "Quorvath"));
        for (const SharedFile& file : SharedFiles) {
            EXPECT_TRUE(FileExists(dest / file.deliveredName)) << file.deliveredName;
            EXPECT_FALSE(FileExists(system / file.installedName)) << file.installedName;
        }
        std::vector<std::string> expected = Repeat("progress(false)", 5);
        expected.push_back("progress(true)");
        expected.push_back("box Quorvath - Error");
        EXPECT_EQ(events.Events(), expected);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Unable to determine Windows' System Directory");
        EXPECT_EQ(boxes[0].icon, static_cast<UINT>(MB_ICONERROR));
        EXPECT_EQ(boxes[0].owner, owner);
    }
}

TEST_F(PostSetTest, ThirdFileInUseStopsAfterTheRegistryWithoutClosingMessages) {
    // The first library is locked too, so a restart is pending when the stop comes.
    ASSERT_TRUE(CopyFileA(PostSetDataPath("v4.71.1712.4.dll").c_str(),
                          (system / "Wininet.dll").c_str(), FALSE));
    ScopedHandle wininet(CreateFileA((system / "Wininet.dll").c_str(), GENERIC_READ, 0, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
    ScopedHandle target(CreateFileA((system / "VFP300.ESL").c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, 0, nullptr));
    ScopedHandle temporary(CreateFileA((system / "VFP300.$$$").c_str(), GENERIC_WRITE, 0, nullptr,
                                       CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(wininet.valid() && target.valid() && temporary.valid());

    std::vector<SeenDialog> boxes = Run();

    EXPECT_TRUE(RestartNeeded());
    EXPECT_EQ(ReadTextFile(system / "Wininet.$$$"), "delivered Wininet.dll");
    EXPECT_EQ(ReadTextFile(system / "Shlwapi.dll"), "delivered Shlwapi.dll");
    EXPECT_FALSE(FileExists(dest / "Wininet.dl"));
    EXPECT_FALSE(FileExists(dest / "Shlwapi.dl"));
    for (int row = 2; row < kSharedFileCount; ++row)
        EXPECT_TRUE(FileExists(dest / SharedFiles[row].deliveredName))
            << SharedFiles[row].deliveredName;
    for (const ExpectedValue& value : ProductValues(dest.path()))
        EXPECT_EQ(ReadRegString(value.root, value.key, value.name).data, value.data);
    EXPECT_FALSE(ReadRegString(HKEY_CURRENT_USER, kRunOnce, "QuorvathSetup").found);

    ASSERT_EQ(boxes.size(), 1u) << "neither the restart question nor the success message";
    EXPECT_NE(boxes[0].text.find("\"" + (system / "VFP300.ESL") + "\"is currently"),
              std::string::npos);
    std::vector<std::string> log = events.Events();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "progress(true)");
    EXPECT_EQ(log.back(), "box Quorvath Setup");

    // The scheduled rename must not reach the next start of this prefix.
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager",
                       "PendingFileRenameOperations");
}

TEST_F(PostSetTest, NoProgramsFolderStillEndsWithTheSuccessMessage) {
    SetProgramsFolderPath("");
    std::vector<SeenDialog> boxes = Run();
    EXPECT_FALSE(FileExists(group));
    EXPECT_EQ(ReadRegString(HKEY_CLASSES_ROOT, ".qvq", nullptr).data, "Quorvath");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kSuccess);
}
