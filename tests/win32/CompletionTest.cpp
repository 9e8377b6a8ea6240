// The closing step: success with the browser finder, or RunOnce and the
// restart question. The restart itself is faked here; RestartTest makes a real one.
#include <gtest/gtest.h>

#include "MessageBoxDriver.h"
#include "PostSet.h"
#include "PostSetInternal.h"
#include "PostSetTestSupport.h"

namespace {

EventLog events;
BOOL exitAnswer = TRUE;

UINT WINAPI RecordWinExec(LPCSTR commandLine, UINT show) {
    events.Add("exec " + std::string(commandLine) + " " + std::to_string(show));
    return 33;
}

BOOL WINAPI RecordExitWindows(UINT flags, DWORD reason) {
    events.Add("exit " + std::to_string(flags) + " " + std::to_string(reason));
    return exitAnswer;
}

// An account without the shutdown privilege: the call runs but assigns nothing.
BOOL WINAPI AdjustWithoutPrivilege(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES,
                                   PDWORD) {
    SetLastError(ERROR_NOT_ALL_ASSIGNED);
    return TRUE;
}

const char* const kQuestion =
    "The Quorvath icon has been placed in the PROGRAMS menu.\r\rYou should restart your computer "
    "to complete the Quorvath setup. Would you like to do it now?";
const char* const kPending =
    "The Quorvath icon has been placed in the PROGRAMS menu.\r\rThe installation process will "
    "continue when you restart the computer.";
const char* const kRunOnce = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

std::string BoxName(const std::string& text) {
    if (text == kQuestion) return "box question";
    if (text == kPending) return "box pending";
    if (text.rfind("Quorvath has been successfully installed.", 0) == 0) return "box success";
    return "box other";
}

class CompletionTest : public testing::Test {
protected:
    void SetUp() override {
        ResetPostSetupForTest();
        RemoveProductRegistry();
        events.Clear();
        exitAnswer = TRUE;
        PostSetupSystemCalls().winExec = RecordWinExec;
        PostSetupSystemCalls().exitWindows = RecordExitWindows;
        owner = CreateOwnerWindow();
        context.destination = dest.path();
        context.owner = owner;
        context.version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        GetVersionExA(&context.version);
    }
    void TearDown() override {
        DestroyWindow(owner);
        RemoveProductRegistry();
        ResetPostSetupForTest();
    }
    std::vector<SeenDialog> Complete(std::vector<int> answers) {
        auto next = std::make_shared<size_t>(0);
        MessageBoxDriver driver([answers, next](const SeenDialog& box) {
            events.Add(BoxName(box.text));
            return *next < answers.size() ? answers[(*next)++] : 0;
        });
        CompleteSetup(context);
        return driver.Stop();
    }
    std::string Command() const { return "\"" + (dest / "tolvane.exe") + "\""; }

    ScratchDirectory dest{"qx my apps"};
    HWND owner = nullptr;
    PostSetupContext context;
};

} // namespace

TEST_F(CompletionTest, NoRestartStartsTheBrowserFinderBeforeTheSuccessMessage) {
    std::vector<SeenDialog> boxes = Complete({});
    EXPECT_EQ(events.Events(),
              (std::vector<std::string>{"exec " + Command() + " 1", "box success"}));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Quorvath Setup");
    EXPECT_EQ(boxes[0].icon, static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_EQ(boxes[0].owner, owner);
    EXPECT_FALSE(ReadRegString(HKEY_CURRENT_USER, kRunOnce, "QuorvathSetup").found);
}

TEST_F(CompletionTest, RestartDeclinedRegistersRunOnceAndSaysSo) {
    SetRestartNeeded(true);
    std::vector<SeenDialog> boxes = Complete({IDNO});
    RegString runOnce = ReadRegString(HKEY_CURRENT_USER, kRunOnce, "QuorvathSetup");
    EXPECT_EQ(runOnce.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(runOnce.data, Command());
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, kQuestion);
    EXPECT_EQ(boxes[0].caption, "Quorvath Setup");
    EXPECT_EQ(boxes[0].icon, static_cast<UINT>(MB_ICONQUESTION));
    EXPECT_TRUE(boxes[0].hasYes && boxes[0].hasNo && !boxes[0].hasOk);
    EXPECT_EQ(boxes[1].text, kPending);
    EXPECT_EQ(boxes[1].caption, "Quorvath Setup");
    EXPECT_EQ(boxes[1].icon, static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_TRUE(boxes[1].hasOk && !boxes[1].hasYes);
    for (const std::string& event : events.Events())
        EXPECT_EQ(event.find("exec"), std::string::npos) << "the tool waits for the restart";
}

TEST_F(CompletionTest, AcceptedRestartShowsNoFurtherMessage) {
    for (DWORD platform : {DWORD(VER_PLATFORM_WIN32_NT), DWORD(VER_PLATFORM_WIN32_WINDOWS)}) {
        SCOPED_TRACE(platform);
        events.Clear();
        context.version.dwPlatformId = platform;
        SetRestartNeeded(true);
        std::vector<SeenDialog> boxes = Complete({IDYES});
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, kQuestion);
        EXPECT_EQ(events.Events(), (std::vector<std::string>{"box question", "exit 2 0"}));
    }
}

TEST_F(CompletionTest, RestartNotStartedFallsBackToThePendingMessage) {
    struct Case {
        const char* what;
        DWORD platform;
        bool withoutPrivilege;
        BOOL exitAnswer;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"refused restart",
         VER_PLATFORM_WIN32_NT,
         false,
         FALSE,
         {"box question", "exit 2 0", "box pending"}},
        {"refused restart",
         VER_PLATFORM_WIN32_WINDOWS,
         false,
         FALSE,
         {"box question", "exit 2 0", "box pending"}},
        {"privilege not held", VER_PLATFORM_WIN32_NT, true, TRUE, {"box question", "box pending"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        events.Clear();
        context.version.dwPlatformId = c.platform;
        exitAnswer = c.exitAnswer;
        PostSetupSystemCalls().adjustTokenPrivileges =
            c.withoutPrivilege ? AdjustWithoutPrivilege : AdjustTokenPrivileges;
        SetRestartNeeded(true);
        std::vector<SeenDialog> boxes = Complete({IDYES});
        EXPECT_EQ(events.Events(), c.expected);
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[1].text, kPending);
    }
}

TEST_F(CompletionTest, BrowserFinderStartsFromADestinationWithBlanks) {
    ASSERT_TRUE(
        CopyFileA(PostSetDataPath("tolvane.exe").c_str(), (dest / "tolvane.exe").c_str(), FALSE));
    PostSetupSystemCalls().winExec = WinExec;
    Complete({});
    std::string marker = dest / "started.txt";
    for (int i = 0; i < 1000 && !FileExists(marker); ++i) Sleep(10);
    Sleep(100);
    EXPECT_EQ(ReadTextFile(marker), Command());
}
