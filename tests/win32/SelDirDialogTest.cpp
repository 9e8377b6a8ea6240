// The Choose Directory dialog driven as a person would: what it opens on,
// typing with OK, the question and the syntax message, the lists.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "SelDirTestDriver.h"

namespace {

using namespace seldirtest;
using ChooseDirectoryDialogTest = SelDirTree;

const char kInvalidStart[] = "The specified directory:\r\r";
const char kInvalidEnd[] = "\r\ris invalid. Please, type a full path with drive letter.";

bool DirectoryExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(ChooseDirectoryDialogTest, CancelCloseAndEscapeHandBackInitialPathUnchanged) {
    const std::string initial = "c:\\SelDirTest\\\\Alpha\\";
    auto pressCancel = [](HWND dialog) { Press(dialog, IDCANCEL); };
    auto closeBox = [](HWND dialog) { PostMessageA(dialog, WM_CLOSE, 0, 0); };
    auto escape = [](HWND dialog) {
        PostMessageA(GetDlgItem(dialog, IDC_SELDIR_PATH), WM_KEYDOWN, VK_ESCAPE, 0);
    };
    for (const auto& close : {+pressCancel, +closeBox, +escape}) {
        std::string chosen = RunChooser(initial, [&](HWND dialog) {
            Type(dialog, "C:\\SelDirTest"); // typed but never confirmed
            close(dialog);
        });
        EXPECT_EQ(chosen, initial);
    }
}

TEST_F(ChooseDirectoryDialogTest, OpensOnDeepestExistingLevelWithItsSubdirectories) {
    RunChooser(Alpha() + "\\Missing\\Deeper", [](HWND dialog) {
        EXPECT_EQ(ItemText(dialog, IDC_SELDIR_PATH), "C:\\SelDirTest\\Alpha");
        std::vector<ListItem> items = ListItems(dialog);
        ASSERT_EQ(items.size(), 6u);
        // Levels indented 6 pixels each, subdirectories one step further.
        EXPECT_EQ(items[0].text, "C:\\");
        EXPECT_EQ(items[0].data, 0);
        EXPECT_EQ(items[1].text, "SelDirTest");
        EXPECT_EQ(items[1].data, 6);
        EXPECT_EQ(items[2].text, "Alpha");
        EXPECT_EQ(items[2].data, 12);
        std::vector<std::string> subdirectories;
        for (size_t i = 3; i < items.size(); ++i) {
            subdirectories.push_back(items[i].text);
            EXPECT_EQ(items[i].data, 18) << items[i].text;
        }
        std::sort(subdirectories.begin(), subdirectories.end());
        EXPECT_EQ(subdirectories, (std::vector<std::string>{"Beta", "Gamma", "Hidden"}));
        EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_SELDIR_DIRS, LB_GETCURSEL, 0, 0), 2);
        EXPECT_EQ(CurrentLevelIndex, 2);
        Press(dialog, IDCANCEL);
    });
}

TEST_F(ChooseDirectoryDialogTest, OpensOnBareDriveRootOrCurrentDirectory) {
    RunChooser("C:", [](HWND dialog) {
        EXPECT_EQ(ItemText(dialog, IDC_SELDIR_PATH), "C:\\");
        EXPECT_EQ(ListIndex(dialog, "C:\\"), 0);
        EXPECT_EQ(CurrentLevelIndex, 0);
        Press(dialog, IDCANCEL);
    });
    // A drive that can't be read: the process's current directory.
    SetCurrentDirectoryA((Alpha() + "\\Beta").c_str());
    RunChooser("Q:\\Nowhere\\Quorvath", [](HWND dialog) {
        EXPECT_EQ(ItemText(dialog, IDC_SELDIR_PATH), "C:\\SelDirTest\\Alpha\\Beta");
        EXPECT_EQ(CurrentLevelIndex, 3);
        Press(dialog, IDCANCEL);
    });
}

TEST_F(ChooseDirectoryDialogTest, OkHandsBackTypedExistingDirectoryNormalized) {
    SetCurrentDirectoryA(Alpha().c_str());
    struct Case {
        const char* typed;
        const char* chosen;
    };
    const Case cases[] = {
        {"C:\\SelDirTest\\\\Alpha\\", "C:\\SelDirTest\\Alpha"},
        {"\\SelDirTest\\Alpha\\Beta", "C:\\SelDirTest\\Alpha\\Beta"}, // current drive
        {"C:Gamma", "C:\\SelDirTest\\Alpha\\Gamma"},                  // drive-relative
        {"C:\\", "C:"},                                               // a root: two characters
    };
    for (const Case& c : cases) {
        std::string chosen = RunChooser("C:\\SelDirTest", [&](HWND dialog) {
            Type(dialog, c.typed);
            Press(dialog, IDC_SELDIR_OK);
        });
        EXPECT_EQ(chosen, c.chosen) << c.typed;
    }
}

TEST_F(ChooseDirectoryDialogTest, MissingDirectoryAsksAndYesAcceptsWithoutCreating) {
    const std::string missing = "C:\\SelDirTest\\New Dir";
    std::string chosen = RunChooser(Alpha(), [&](HWND dialog) {
        Type(dialog, missing + "\\");
        Answered no = PressAndAnswer(dialog, IDC_SELDIR_OK, IDNO);
        ASSERT_TRUE(no.shown);
        EXPECT_EQ(no.text, "The directory:\r\r" + missing +
                               "\r\rdoes not exist. Do you want the directory to be created?");
        EXPECT_TRUE(no.question);
        // No keeps the dialog open as it was.
        Sleep(100);
        EXPECT_TRUE(IsWindow(dialog));
        EXPECT_EQ(ItemText(dialog, IDC_SELDIR_PATH), missing + "\\");
        Answered yes = PressAndAnswer(dialog, IDC_SELDIR_OK, IDYES);
        EXPECT_TRUE(yes.shown);
    });
    EXPECT_EQ(chosen, missing);
    EXPECT_FALSE(DirectoryExists(missing));
}

TEST_F(ChooseDirectoryDialogTest, InvalidTextsGetTheInvalidMessageAndStayOpen) {
    // Too short, relative, a network path, nothing at all.
    const std::string texts[] = {"ab", "Program Files", "\\\\server\\share", "\\\\?\\C:\\x", ""};
    std::string chosen = RunChooser(Alpha(), [&](HWND dialog) {
        for (const std::string& text : texts) {
            Type(dialog, text);
            Answered answered = PressAndAnswer(dialog, IDC_SELDIR_OK, IDOK);
            ASSERT_TRUE(answered.shown) << text;
            EXPECT_EQ(answered.text, kInvalidStart + text + kInvalidEnd);
            EXPECT_TRUE(answered.exclamation) << text;
            Sleep(50);
            EXPECT_TRUE(IsWindow(dialog));
            EXPECT_EQ(ItemText(dialog, IDC_SELDIR_PATH), text);
        }
        Press(dialog, IDCANCEL);
    });
    EXPECT_EQ(chosen, Alpha());
}

TEST_F(ChooseDirectoryDialogTest, DriveListShowsEachDriveInLetterOrderWithItsIcon) {
    RunChooser(Alpha(), [](HWND dialog) {
        HWND combo = GetDlgItem(dialog, IDC_SELDIR_DRIVES);
        LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
        ASSERT_GE(count, 1);
        char previous = '@';
        int driveC = -1;
        for (LRESULT i = 0; i < count; ++i) {
            char text[300] = "";
            SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
            std::string item = text;
            ASSERT_GE(item.size(), 3u);
            EXPECT_GT(item[0], previous);
            EXPECT_EQ(item.substr(1, 2), ": ");
            EXPECT_NE(SendMessageA(combo, CB_GETITEMDATA, i, 0), 0) << item;
            previous = item[0];
            if (item[0] == 'C') driveC = static_cast<int>(i);
        }
        ASSERT_NE(driveC, -1);
        EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), driveC);
        EXPECT_EQ(CurrentDriveIndex, driveC);
        Press(dialog, IDCANCEL);
    });
}

TEST_F(ChooseDirectoryDialogTest, DriveChoiceShowsItsRootAndComesBackAsTwoCharacters) {
    std::string chosen = RunChooser(Alpha(), [](HWND dialog) {
        HWND combo = GetDlgItem(dialog, IDC_SELDIR_DRIVES);
        int driveC = static_cast<int>(SendMessageA(combo, CB_FINDSTRING, static_cast<WPARAM>(-1),
                                                   reinterpret_cast<LPARAM>("C:")));
        ASSERT_GE(driveC, 0);
        PickDrive(dialog, driveC);
        EXPECT_EQ(ItemText(dialog, IDC_SELDIR_PATH), "C:\\");
        EXPECT_EQ(ListIndex(dialog, "C:\\"), 0);
        EXPECT_NE(ListIndex(dialog, "SelDirTest"), -1);
        EXPECT_EQ(CurrentLevelIndex, 0);
        EXPECT_EQ(CurrentDriveIndex, driveC);
        Press(dialog, IDC_SELDIR_OK);
    });
    EXPECT_EQ(chosen, "C:");
}

TEST_F(ChooseDirectoryDialogTest, DoubleClickOpensSubdirectoryOrLevel) {
    std::string chosen = RunChooser(Alpha(), [](HWND dialog) {
        DoubleClickItem(dialog, ListIndex(dialog, "Beta"));
        EXPECT_EQ(ItemText(dialog, IDC_SELDIR_PATH), "C:\\SelDirTest\\Alpha\\Beta");
        EXPECT_EQ(ListIndex(dialog, "Beta"), 3);
        EXPECT_EQ(CurrentLevelIndex, 3);

        DoubleClickItem(dialog, 1); // the level SelDirTest
        EXPECT_EQ(ItemText(dialog, IDC_SELDIR_PATH), "C:\\SelDirTest");
        EXPECT_EQ(CurrentLevelIndex, 1);
        EXPECT_EQ(ListIndex(dialog, "Alpha"), 2);

        DoubleClickItem(dialog, 1); // the current level again: only a refresh
        EXPECT_EQ(ItemText(dialog, IDC_SELDIR_PATH), "C:\\SelDirTest");
        EXPECT_EQ(CurrentLevelIndex, 1);

        DoubleClickItem(dialog, 0); // the root
        EXPECT_EQ(ItemText(dialog, IDC_SELDIR_PATH), "C:\\");
        EXPECT_EQ(CurrentLevelIndex, 0);

        // A single click changes nothing.
        HWND list = GetDlgItem(dialog, IDC_SELDIR_DIRS);
        SendMessageA(list, LB_SETCURSEL, ListIndex(dialog, "SelDirTest"), 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_SELDIR_DIRS, LBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(list));
        EXPECT_EQ(ItemText(dialog, IDC_SELDIR_PATH), "C:\\");
        Press(dialog, IDCANCEL);
    });
    EXPECT_EQ(chosen, Alpha());
}

TEST_F(ChooseDirectoryDialogTest, EnterInDirectoryListOpensSelectionBeforeClosing) {
    std::string chosen = RunChooser(Alpha(), [](HWND dialog) {
        HWND list = GetDlgItem(dialog, IDC_SELDIR_DIRS);
        SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(list), TRUE);
        SendMessageA(list, LB_SETCURSEL, ListIndex(dialog, "Gamma"), 0);
        PostMessageA(list, WM_KEYDOWN, VK_RETURN, 0);
        EXPECT_TRUE(WaitUntil(
            [&] { return ItemText(dialog, IDC_SELDIR_PATH) == "C:\\SelDirTest\\Alpha\\Gamma"; }));
        Sleep(100);
        EXPECT_TRUE(IsWindow(dialog));
        // With the current directory selected, Enter is OK.
        PostMessageA(list, WM_KEYDOWN, VK_RETURN, 0);
    });
    EXPECT_EQ(chosen, "C:\\SelDirTest\\Alpha\\Gamma");
}

// LB_ERR and CB_ERR: notifications without a selected item change nothing.
TEST_F(ChooseDirectoryDialogTest, NotificationsWithoutSelectionAreIgnored) {
    RunChooser(Alpha(), [](HWND dialog) {
        HWND list = GetDlgItem(dialog, IDC_SELDIR_DIRS);
        HWND combo = GetDlgItem(dialog, IDC_SELDIR_DRIVES);
        int drive = CurrentDriveIndex;
        DoubleClickItem(dialog, -1);
        EXPECT_EQ(ItemText(dialog, IDC_SELDIR_PATH), "C:\\SelDirTest\\Alpha");
        EXPECT_EQ(CurrentLevelIndex, 2);
        EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 6);

        PickDrive(dialog, -1);
        EXPECT_EQ(ItemText(dialog, IDC_SELDIR_PATH), "C:\\SelDirTest\\Alpha");
        EXPECT_EQ(CurrentDriveIndex, drive);

        // A cancelled drop-down selects the drive being shown again.
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_SELDIR_DRIVES, CBN_SELENDCANCEL),
                     reinterpret_cast<LPARAM>(combo));
        EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), drive);
        Press(dialog, IDCANCEL);
    });
}

TEST_F(ChooseDirectoryDialogTest, IndicesKeepTheirValuesBetweenOpenings) {
    int driveC = -1;
    RunChooser(Alpha() + "\\Beta", [&](HWND dialog) {
        driveC =
            static_cast<int>(SendDlgItemMessageA(dialog, IDC_SELDIR_DRIVES, CB_GETCURSEL, 0, 0));
        Press(dialog, IDCANCEL);
    });
    EXPECT_EQ(CurrentLevelIndex, 3);
    EXPECT_EQ(CurrentDriveIndex, driveC);
    // The next opening starts from them and refills them.
    RunChooser("C:\\", [&](HWND dialog) {
        EXPECT_EQ(CurrentLevelIndex, 0);
        Press(dialog, IDCANCEL);
    });
    EXPECT_EQ(CurrentLevelIndex, 0);
    EXPECT_EQ(CurrentDriveIndex, driveC);
}

} // namespace
