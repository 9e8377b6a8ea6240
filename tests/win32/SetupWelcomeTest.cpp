// The welcome dialog as a user meets it: a second thread finds the dialog by
// class and caption and acts on it while the modal loop runs on this thread.
#include <functional>
#include <thread>

#include "Resource.h"
#include "SetupTestSupport.h"

namespace {

// Only the welcome dialog is found, never the backdrop, which shares its caption.
HWND WaitForWelcome() {
    for (int i = 0; i < 1000; ++i) {
        HWND dialog = FindWindowA("#32770", "Zelquist 1.05 Setup");
        if (dialog != nullptr && IsWindowVisible(dialog)) return dialog;
        Sleep(10);
    }
    return nullptr;
}

void Command(HWND dialog, int id) {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Runs the dialog; the script gets it once it is up. A script that leaves
// the dialog open has it closed, so a failing test never hangs.
INT_PTR RunWelcomeWith(const std::function<void(HWND)>& script) {
    std::thread user([&] {
        HWND dialog = WaitForWelcome();
        if (dialog == nullptr) return;
        script(dialog);
        if (IsWindow(dialog)) PostMessageA(dialog, WM_CLOSE, 0, 0);
    });
    INT_PTR result = RunWelcomeDialog(nullptr);
    user.join();
    return result;
}

std::string ChooserAnswer;
HWND ChooserOwner;
std::string ChooserInitial;

void FakeChooser(HWND owner, const std::string& initialPath, std::string& chosenPath) {
    ChooserOwner = owner;
    ChooserInitial = initialPath;
    chosenPath = ChooserAnswer;
}

class WelcomeDialogTest : public SetupTest {
protected:
    void SetUp() override {
        SetupTest::SetUp();
        Seams.chooseDirectory = FakeChooser;
    }
};

TEST_F(WelcomeDialogTest, OpensWithCaptionTextAndDefaultDestinationAndClosesWithZero) {
    HWND seen = nullptr;
    std::string caption, text, shown;
    INT_PTR result = RunWelcomeWith([&](HWND dialog) {
        seen = dialog;
        caption = WindowTextOf(dialog);
        text = WindowTextOf(GetDlgItem(dialog, IDC_WELCOME_TEXT));
        shown = WindowTextOf(GetDlgItem(dialog, IDC_WELCOME_DESTINATION));
        SendMessageA(dialog, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(caption, "Zelquist 1.05 Setup");
    EXPECT_EQ(text, kWelcomeText);
    EXPECT_EQ(text.rfind("Welcome to Quorvath (TM) v1.05 Setup Program.\r\nThis program will "
                         "install Quorvath on your computer.\r\n\r\nBefore  proceeding, we "
                         "recommend that you close all applications you may be running.\r\n\r\n",
                         0),
              0u);
    EXPECT_EQ(shown, "C:\\Tavholt\\Quorvath");
    EXPECT_EQ(DestinationDir, "C:\\Tavholt\\Quorvath");
    EXPECT_EQ(ActiveDialog, seen);
    EXPECT_TRUE(RecordedBoxes.empty()); // WM_CLOSE doesn't ask
}

// The maker's lines: a notice indented by five, the address by seventeen,
// an empty line and a closing notice, each ending in CR LF.
TEST(WelcomeText, EndsWithTheMakersNoticesInTheirLayout) {
    std::string text = kWelcomeText;
    size_t notices = text.find("running.\r\n\r\n") + 12;
    std::string tail = text.substr(notices);
    std::vector<std::string> lines;
    for (size_t at = 0; at < tail.size();) {
        size_t end = tail.find("\r\n", at);
        ASSERT_NE(end, std::string::npos) << "every line ends in CR LF";
        lines.push_back(tail.substr(at, end - at));
        at = end + 2;
    }
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].find_first_not_of(' '), 5u);
    EXPECT_EQ(lines[1].find_first_not_of(' '), 17u);
    EXPECT_NE(lines[1].find(".example"), std::string::npos);
    EXPECT_EQ(lines[2], "");
    EXPECT_NE(lines[3].find_first_not_of(' '), std::string::npos);
}

TEST_F(WelcomeDialogTest, EscapeAndCancelAnsweredNoLeaveItOpenAndYesEndsWithZero) {
    bool openAfterEscape = false, openAfterNo = false;
    BoxAnswers = {IDNO, IDYES};
    INT_PTR result = RunWelcomeWith([&](HWND dialog) {
        Command(dialog, IDCANCEL); // what the Escape key sends
        openAfterEscape = IsWindow(dialog) && RecordedBoxes.empty();
        Command(dialog, IDC_WELCOME_CANCEL);
        openAfterNo = IsWindow(dialog);
        Command(dialog, IDC_WELCOME_CANCEL);
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(openAfterEscape);
    EXPECT_TRUE(openAfterNo);
    ASSERT_EQ(RecordedBoxes.size(), 2u);
    for (const RecordedBox& box : RecordedBoxes) {
        EXPECT_EQ(box.text, "Setup is not complete yet. Are you sure you want to exit setup now?");
        EXPECT_EQ(box.caption, "Exit Setup");
        EXPECT_EQ(box.flags, 0x124u);
    }
}

// The dialog manager selects the whole text when the edit gets the focus;
// the dialog takes that selection away again.
TEST_F(WelcomeDialogTest, FocusOnTheWelcomeTextLeavesNothingSelected) {
    DWORD start = 1, end = 1;
    RunWelcomeWith([&](HWND dialog) {
        HWND edit = GetDlgItem(dialog, IDC_WELCOME_TEXT);
        SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
        for (int i = 0; i < 200; ++i) {
            SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                         reinterpret_cast<LPARAM>(&end));
            if (start == 0 && end == 0) break;
            Sleep(10);
        }
    });
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 0u);
}

// A drive root comes back from the chooser as "C:" and is shown as "C:\";
// Install then creates nothing and ends with 1.
TEST_F(WelcomeDialogTest, BrowseToDriveRootShowsBackslashAndInstallsThere) {
    ChooserAnswer = "C:";
    std::string shown;
    HWND owner = nullptr, seen = nullptr;
    INT_PTR result = RunWelcomeWith([&](HWND dialog) {
        seen = dialog;
        Command(dialog, IDC_WELCOME_BROWSE);
        owner = ChooserOwner;
        shown = WindowTextOf(GetDlgItem(dialog, IDC_WELCOME_DESTINATION));
        Command(dialog, IDC_WELCOME_INSTALL);
    });
    EXPECT_EQ(owner, seen);
    EXPECT_EQ(ChooserInitial, "C:\\Tavholt\\Quorvath");
    EXPECT_EQ(shown, "C:\\");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(DestinationDir, "C:\\");
    EXPECT_TRUE(RecordedBoxes.empty());
}

TEST_F(WelcomeDialogTest, InstallCreatesEveryMissingLevelAndEndsWithOne) {
    std::string base = FreshTempPath("nested");
    ChooserAnswer = base + "\\with blanks\\Quorvath";
    INT_PTR result = RunWelcomeWith([&](HWND dialog) {
        Command(dialog, IDC_WELCOME_BROWSE);
        Command(dialog, IDC_WELCOME_INSTALL);
    });
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(IsDirectory(ChooserAnswer));
    EXPECT_TRUE(RecordedBoxes.empty());
    RemoveDirectoryA(ChooserAnswer.c_str());
    RemoveDirectoryA((base + "\\with blanks").c_str());
    RemoveDirectoryA(base.c_str());
}

// A drive that doesn't exist: the low-space question comes first; No
// creates nothing; Yes leads to the creation failure; the dialog stays.
TEST_F(WelcomeDialogTest, MissingDriveAsksAboutSpaceThenCannotCreate) {
    std::string drive = MissingDrive();
    ASSERT_FALSE(drive.empty());
    ChooserAnswer = drive + "\\Quorvath";
    BoxAnswers = {IDNO, IDYES, IDOK};
    bool openAfterNo = false, openAfterFailure = false;
    INT_PTR result = RunWelcomeWith([&](HWND dialog) {
        Command(dialog, IDC_WELCOME_BROWSE);
        Command(dialog, IDC_WELCOME_INSTALL);
        openAfterNo = IsWindow(dialog) && RecordedBoxes.size() == 1;
        Command(dialog, IDC_WELCOME_INSTALL);
        openAfterFailure = IsWindow(dialog);
        SendMessageA(dialog, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(openAfterNo);
    EXPECT_TRUE(openAfterFailure);
    ASSERT_EQ(RecordedBoxes.size(), 3u);
    const std::string lowSpace =
        "There is not enough disk space on the destination drive (at least 15MB recommended). "
        "This may cause errors while installing or running Quorvath.\r\rWould you, "
        "nevertheless, wish to proceed now?";
    for (int i : {0, 1}) {
        EXPECT_EQ(RecordedBoxes[i].text, lowSpace);
        EXPECT_EQ(RecordedBoxes[i].caption, "Quorvath Setup");
        EXPECT_EQ(RecordedBoxes[i].flags, 0x24u);
    }
    EXPECT_EQ(RecordedBoxes[2].text, "Cannot create destination directory:\r\r" + ChooserAnswer);
    EXPECT_EQ(RecordedBoxes[2].caption, "Quorvath Setup");
    EXPECT_EQ(RecordedBoxes[2].flags, 0x10u);
}

TEST(FreeMegabytes, ReadsTheUpperCaseRootAndFailsWithMinusOne) {
    double upper = FreeMegabytes("C:\\Tavholt\\Quorvath");
    EXPECT_GT(upper, 0.0);
    EXPECT_GT(FreeMegabytes("c:\\tavholt"), 0.0);
    EXPECT_EQ(FreeMegabytes(MissingDrive() + "\\x"), -1.0);
    EXPECT_EQ(FreeMegabytes("\\\\server\\share\\dir"), -1.0);
}

TEST(CreateDestination, AnswersThePathOnlyWhenItIsADirectory) {
    std::string base = FreshTempPath("create");
    std::string file = base + "\\file.txt";
    ASSERT_EQ(CreateDestination(base + "\\"), base + "\\");
    HANDLE handle = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    CloseHandle(handle);

    EXPECT_EQ(CreateDestination(base), base); // exists already
    EXPECT_EQ(CreateDestination(file), "");   // names a file
    EXPECT_EQ(CreateDestination(file + "\\below"), "");
    EXPECT_EQ(CreateDestination("C:\\"), "C:\\");
    EXPECT_EQ(CreateDestination(MissingDrive() + "\\x"), "");

    DeleteFileA(file.c_str());
    RemoveDirectoryA(base.c_str());
}

} // namespace
