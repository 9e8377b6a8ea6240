// The setup driver's run with the welcome dialog and both drivers replaced:
// the backdrop, the progress dialog and its animation, the clean-up order,
// the corruption message and the failure paths of the window setup.
#include <vector>

#include "Resource.h"
#include "SetupTestSupport.h"

// After windows.h, which SetupTestSupport.h brings.
#include <commctrl.h>

namespace {

// What the fakes saw while the run was going on.
struct Observed {
    HWND welcomeOwner = nullptr;
    std::string backdropClass;
    LONG backdropStyle = 0;
    RECT backdropRect{};
    int extractCalls = 0, postCalls = 0;
    std::string extractDestination, postDestination;
    HWND postOwner = nullptr;
    HWND progress = nullptr;
    std::string progressCaption;
    HWND progressOwner = nullptr;
    HWND animation = nullptr;
    bool clipOpen = false;
    bool animationFillsClient = false;
    LONG animationStyle = 0;
    bool progressAliveAtMessage = true;
};
Observed seen;

INT_PTR WelcomeAnswer = 1;
std::string WelcomeDestination = "C:\\Tavholt\\Quorvath";
bool ExtractResult = true, PostResult = true, CloseInExtract = false;
ArchiveFault ExtractFault = ArchiveFault::BadChecksum; // the reason given with a false result

INT_PTR FakeWelcome(HWND owner) {
    seen.welcomeOwner = owner;
    if (owner != nullptr) {
        seen.backdropClass = ClassOf(owner);
        seen.backdropStyle = GetWindowLongA(owner, GWL_STYLE);
        GetWindowRect(owner, &seen.backdropRect);
    }
    DestinationDir = WelcomeDestination;
    return WelcomeAnswer;
}

bool FakeExtract(const std::string& destination, ProgressCallback progress, ArchiveResult* why) {
    if (!ExtractResult && why != nullptr) why->fault = ExtractFault;
    ++seen.extractCalls;
    seen.extractDestination = destination;
    progress(false);
    if (IsWindow(ActiveDialog)) {
        seen.progress = ActiveDialog;
        seen.progressCaption = WindowTextOf(ActiveDialog);
        seen.progressOwner = GetWindow(ActiveDialog, GW_OWNER);
        seen.animation = FindWindowExA(ActiveDialog, nullptr, "QVRInstA32", nullptr);
        // Playing needs an open clip: the control answers FALSE without one.
        seen.clipOpen = seen.animation != nullptr &&
                        SendMessageA(seen.animation, ACM_PLAY, static_cast<WPARAM>(-1),
                                     MAKELPARAM(0, 0xFFFF)) != 0;
        RECT client{}, control{};
        GetClientRect(ActiveDialog, &client);
        if (seen.animation != nullptr) GetClientRect(seen.animation, &control);
        seen.animationFillsClient = EqualRect(&client, &control) != FALSE;
        seen.animationStyle = GetWindowLongA(seen.animation, GWL_STYLE);
    }
    if (CloseInExtract) progress(true);
    return ExtractResult;
}

bool FakePostSetup(const std::string& destination, HWND owner, ProgressCallback progress) {
    ++seen.postCalls;
    seen.postDestination = destination;
    seen.postOwner = owner;
    progress(false);
    return PostResult;
}

int WINAPI RecordBoxAndProgress(HWND owner, LPCSTR text, LPCSTR caption, UINT flags) {
    seen.progressAliveAtMessage = seen.progress != nullptr && IsWindow(seen.progress);
    return RecordMessageBox(owner, text, caption, flags);
}

// Every DestroyWindow of the driver, and how many hit a window already gone.
int destroyCalls = 0, staleDestroys = 0;
BOOL WINAPI CountingDestroy(HWND window) {
    ++destroyCalls;
    if (!IsWindow(window)) ++staleDestroys;
    return DestroyWindow(window);
}

// Every read of the clock is a second after the last, so each callback
// drains the queue (the pacing has a suite of its own).
DWORD WINAPI SteppingClock() {
    static DWORD ticks = 0;
    return ticks += 1000;
}

ATOM WINAPI FailingRegisterClassEx(const WNDCLASSEXA*) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
}
HMODULE NoShellLibrary() {
    return nullptr;
}
// A shell library without clip 160, as on Windows Vista and later.
HMODULE ShellWithoutClip() {
    return LoadSystemLibrary("version.dll");
}
BOOL WINAPI UnknownClass(HINSTANCE, LPCSTR, LPWNDCLASSA) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
}

class SetupDriverTest : public SetupTest {
protected:
    void SetUp() override {
        SetupTest::SetUp();
        seen = Observed();
        WelcomeAnswer = 1;
        WelcomeDestination = "C:\\Tavholt\\Quorvath";
        ExtractResult = PostResult = true;
        ExtractFault = ArchiveFault::BadChecksum;
        CloseInExtract = false;
        destroyCalls = staleDestroys = 0;
        Seams.runWelcome = FakeWelcome;
        Seams.extractPayload = FakeExtract;
        Seams.runPostSetup = FakePostSetup;
        Seams.messageBox = RecordBoxAndProgress;
        Seams.destroyWindow = CountingDestroy;
        Seams.tickCount = SteppingClock;
    }
};

TEST_F(SetupDriverTest, SuccessfulRunShowsBackdropAndProgressAndEndsWithoutMessage) {
    EXPECT_TRUE(RunSetup());

    EXPECT_EQ(seen.backdropClass, "QVRInstWnd");
    EXPECT_EQ(static_cast<DWORD>(seen.backdropStyle) & 0x9A000000u, 0x9A000000u);
    EXPECT_EQ(seen.backdropRect.left, 0);
    EXPECT_EQ(seen.backdropRect.top, 0);
    EXPECT_EQ(seen.backdropRect.right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(seen.backdropRect.bottom, GetSystemMetrics(SM_CYSCREEN));

    ASSERT_NE(seen.progress, nullptr);
    EXPECT_EQ(seen.progressCaption, "Setup is placing files on your computer...");
    EXPECT_EQ(seen.progressOwner, seen.welcomeOwner);
    EXPECT_NE(seen.animation, nullptr);
    EXPECT_EQ(seen.extractCalls, 1);
    EXPECT_EQ(seen.postCalls, 1);
    EXPECT_EQ(seen.postOwner, seen.welcomeOwner);
    EXPECT_EQ(seen.extractDestination, "C:\\Tavholt\\Quorvath");
    EXPECT_EQ(seen.postDestination, "C:\\Tavholt\\Quorvath");

    EXPECT_TRUE(RecordedBoxes.empty());
    EXPECT_FALSE(IsWindow(seen.progress));
    EXPECT_FALSE(IsWindow(seen.welcomeOwner)); // WM_CLOSE destroyed the backdrop
    EXPECT_EQ(staleDestroys, 0);
}

// The animation control belongs to the shell library's instance; without
// clip 160 there it must still play the installer's own clip.
TEST_F(SetupDriverTest, ShellLibraryWithoutClip160PlaysTheInstallersOwnClip) {
    for (bool withoutClip : {false, true}) {
        SCOPED_TRACE(withoutClip ? "shell library without clip 160" : "the system's shell32");
        seen = Observed();
        Seams.loadShellLibrary =
            withoutClip ? ShellWithoutClip : DefaultSetupSeams().loadShellLibrary;
        EXPECT_TRUE(RunSetup());
        ASSERT_NE(seen.animation, nullptr);
        EXPECT_TRUE(seen.clipOpen);
        EXPECT_TRUE(seen.animationFillsClient);
        EXPECT_EQ(static_cast<DWORD>(seen.animationStyle) & 0x50000007u, 0x50000007u);
        EXPECT_FALSE(IsWindow(seen.animation));
    }
    // The own clip is an AVI resource of the program's module.
    EXPECT_NE(FindResourceA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_FILECOPY_CLIP), "AVI"),
              nullptr);
}

TEST_F(SetupDriverTest, OneTrailingBackslashIsRemovedBeforeTheDrivers) {
    struct Case {
        const char* chosen;
        const char* handed;
    } cases[] = {{"D:\\", "D:"}, {"C:\\x\\\\", "C:\\x\\"}, {"C:\\x", "C:\\x"}};
    for (const Case& c : cases) {
        WelcomeDestination = c.chosen;
        RunSetup();
        EXPECT_EQ(seen.extractDestination, c.handed) << c.chosen;
        EXPECT_EQ(seen.postDestination, c.handed) << c.chosen;
    }
}

TEST_F(SetupDriverTest, LeavingTheWelcomeDialogRunsNothingAndShowsNothing) {
    for (INT_PTR answer : {0, -1}) {
        WelcomeAnswer = answer;
        seen = Observed();
        EXPECT_FALSE(RunSetup());
        EXPECT_EQ(seen.extractCalls, 0);
        EXPECT_EQ(seen.postCalls, 0);
        EXPECT_TRUE(RecordedBoxes.empty());
        EXPECT_EQ(FindWindowA("#32770", "Setup is placing files on your computer..."), nullptr);
        EXPECT_FALSE(IsWindow(seen.welcomeOwner));
    }
}

TEST_F(SetupDriverTest, FailedExtractionSkipsPostSetupAndShowsOnlyTheCorruptionMessage) {
    ExtractResult = false;
    EXPECT_FALSE(RunSetup());
    EXPECT_EQ(seen.postCalls, 0);
    ASSERT_EQ(RecordedBoxes.size(), 1u);
    const RecordedBox& box = RecordedBoxes[0];
    EXPECT_EQ(box.text.rfind("Unable to extract data as the Setup file has been corrupted.\r\rYou "
                             "should obtain a correct copy by visiting ",
                             0),
              0u);
    EXPECT_EQ(box.text, kCorruptionMessage);
    EXPECT_NE(box.text.find(".example"), std::string::npos);
    EXPECT_EQ(box.caption, "Quorvath Setup");
    EXPECT_EQ(box.flags, 0x10u);
    EXPECT_EQ(box.owner, seen.welcomeOwner);
    EXPECT_FALSE(seen.progressAliveAtMessage); // the progress dialog went first
}

TEST_F(SetupDriverTest, FullDiskOrUnwritableFileShowsTheWriteFailureMessageInstead) {
    const struct {
        ArchiveFault fault;
        bool writeFailure;
    } cases[] = {{ArchiveFault::DiskFull, true},      {ArchiveFault::WriteFailed, true},
                 {ArchiveFault::CreateFailed, true},  {ArchiveFault::RewriteFailed, true},
                 {ArchiveFault::WrongCrc, false},     {ArchiveFault::ReadFailed, false},
                 {ArchiveFault::BadSignature, false}, {ArchiveFault::BadChecksum, false}};
    for (const auto& c : cases) {
        RecordedBoxes.clear();
        ExtractResult = false;
        ExtractFault = c.fault;
        EXPECT_FALSE(RunSetup());
        ASSERT_EQ(RecordedBoxes.size(), 1u);
        const RecordedBox& box = RecordedBoxes[0];
        EXPECT_EQ(box.text, c.writeFailure ? kWriteFailureMessage : kCorruptionMessage)
            << int(c.fault);
        EXPECT_EQ(box.caption, "Quorvath Setup");
        EXPECT_EQ(box.flags, 0x10u);
    }
    EXPECT_EQ(std::string(kWriteFailureMessage)
                  .rfind("Unable to extract data as the destination "
                         "disk is full or a file cannot be written.\r\r",
                         0),
              0u);
}

TEST_F(SetupDriverTest, FailedPostSetupAlsoShowsTheCorruptionMessage) {
    PostResult = false;
    EXPECT_FALSE(RunSetup());
    ASSERT_EQ(RecordedBoxes.size(), 1u);
    EXPECT_EQ(RecordedBoxes[0].text, kCorruptionMessage);
}

TEST_F(SetupDriverTest, WithoutBackdropClassTheRunGoesOnWithoutOwner) {
    Seams.registerClassEx = FailingRegisterClassEx;
    ExtractResult = false;
    RunSetup();
    EXPECT_EQ(seen.welcomeOwner, nullptr);
    EXPECT_EQ(SetupWindow, nullptr);
    EXPECT_EQ(seen.extractCalls, 1);
    EXPECT_NE(seen.progress, nullptr);
    EXPECT_EQ(seen.progressOwner, nullptr);
    ASSERT_EQ(RecordedBoxes.size(), 1u);
    EXPECT_EQ(RecordedBoxes[0].owner, nullptr);
}

// No shell library, or no animation class: extraction runs without a
// progress dialog and the run still succeeds.
TEST_F(SetupDriverTest, WithoutShellLibraryOrAnimationClassThereIsNoProgressDialog) {
    for (int variant = 0; variant < 2; ++variant) {
        SetUp();
        if (variant == 0) Seams.loadShellLibrary = NoShellLibrary;
        if (variant == 1) Seams.getClassInfo = UnknownClass;
        EXPECT_TRUE(RunSetup()) << variant;
        EXPECT_EQ(seen.progress, nullptr) << variant;
        EXPECT_EQ(seen.extractCalls, 1) << variant;
        EXPECT_EQ(seen.postCalls, 1) << variant;
        EXPECT_TRUE(RecordedBoxes.empty()) << variant;
    }
}

TEST_F(SetupDriverTest, ProgressDialogClosedByACallbackIsNotDestroyedAgain) {
    CloseInExtract = true;
    EXPECT_TRUE(RunSetup());
    ASSERT_NE(seen.progress, nullptr);
    EXPECT_FALSE(IsWindow(seen.progress));
    EXPECT_EQ(destroyCalls, 1);
    EXPECT_EQ(staleDestroys, 0);
}

// A window that records what reaches its procedure.
std::vector<UINT> Received;
LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP || message == WM_KEYDOWN || message == WM_CHAR)
        Received.push_back(message);
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(SetupDriverTest, CallbackWithoutDialogOnlyDrainsTheQueueAndTranslates) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = RecordingProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "QxSetupTestRecorder";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "QxSetupTestRecorder", "", WS_POPUP, 0, 0, 10, 10, nullptr,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window, nullptr);

    ActiveDialog = nullptr;
    SetupProgressCallback(true); // nothing to destroy, nothing visible
    EXPECT_EQ(destroyCalls, 0);

    Received.clear();
    PostMessageA(window, WM_APP, 0, 0);
    PostMessageA(window, WM_KEYDOWN, 'A', 0x001E0001);
    SetupProgressCallback(false);
    EXPECT_EQ(Received, (std::vector<UINT>{WM_APP, WM_KEYDOWN, WM_CHAR}));
    MSG left;
    EXPECT_FALSE(PeekMessageA(&left, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_TRUE(IsWindow(window));
    DestroyWindow(window);
}

} // namespace
