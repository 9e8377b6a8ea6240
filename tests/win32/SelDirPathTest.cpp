// NormalizePath: the full path of what the user typed, backslash runs
// collapsed, and an empty answer for everything the chooser can't accept.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "SelDir.h"

namespace {

class CurrentDirectory {
public:
    explicit CurrentDirectory(const char* path) {
        GetCurrentDirectoryA(sizeof saved_, saved_);
        SetCurrentDirectoryA(path);
    }
    ~CurrentDirectory() { SetCurrentDirectoryA(saved_); }

private:
    char saved_[MAX_PATH] = "";
};

TEST(SelDirNormalize, CompletesTypedFormsAndCollapsesBackslashRuns) {
    CurrentDirectory current("C:\\windows");
    struct Case {
        const char* typed;
        const char* normalized;
    };
    const Case cases[] = {
        {"C:\\Dir\\\\Sub\\", "C:\\Dir\\Sub\\"},
        {"C:\\\\\\a\\\\\\b", "C:\\a\\b"},
        {"\\Temp", "C:\\Temp"},    // the current drive
        {"C:x", "C:\\windows\\x"}, // the drive's current directory
        {"C:\\a\\..\\b\\.\\c", "C:\\b\\c"},
        {"C:\\", "C:\\"},
        {"C:\\Program Files\\Tavholt", "C:\\Program Files\\Tavholt"},
    };
    for (const Case& c : cases) EXPECT_EQ(NormalizePath(c.typed), c.normalized) << c.typed;
}

TEST(SelDirNormalize, NetworkAndDevicePathsGiveEmptyResult) {
    for (const char* typed :
         {"\\\\server\\share", "\\\\server\\share\\dir", "\\\\?\\C:\\x", "\\\\.\\C:"})
        EXPECT_EQ(NormalizePath(typed), "") << typed;
}

TEST(SelDirNormalize, FailingCallGivesEmptyResult) {
    EXPECT_EQ(NormalizePath(""), "");
}

// A drive-relative path takes the drive's current directory from the "=D:"
// variable, which can be longer than the buffer: that must not be read past.
TEST(SelDirNormalize, AnswerThatDoesNotFitGivesEmptyResult) {
    CurrentDirectory current("C:\\windows");
    std::string longDirectory = "D:\\" + std::string(300, 'a');
    ASSERT_TRUE(SetEnvironmentVariableA("=D:", longDirectory.c_str()));
    std::string normalized = NormalizePath("D:x");
    SetEnvironmentVariableA("=D:", nullptr);
    EXPECT_EQ(normalized, "");
}

TEST(SelDirNormalize, CollapseBackslashesLeavesOtherCharacters) {
    EXPECT_EQ(CollapseBackslashes("C:\\\\a//b\\\\\\c\\"), "C:\\a//b\\c\\");
    EXPECT_EQ(CollapseBackslashes(""), "");
}

} // namespace
