#include <gtest/gtest.h>

#include "PostSetTestSupport.h"
#include "shortcut.h"

namespace {

OSVERSIONINFOA Platform(DWORD platformId) {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof(version);
    version.dwPlatformId = platformId;
    version.dwMajorVersion = platformId == VER_PLATFORM_WIN32_NT ? 5 : 4;
    return version;
}

int rightsAsked = 0;
bool GrantRights() {
    return ++rightsAsked, true;
}
bool DenyRights() {
    return ++rightsAsked, false;
}

class ShortcutTest : public testing::Test {
protected:
    void SetUp() override { SetProgramsFolderPath(programs.path()); }
    void TearDown() override { DoneShortcut(); }
    ScratchDirectory programs{"qx programs"};
    ScratchDirectory product{"qx product"};
};

} // namespace

TEST(ProgramsFolder, AllUsersFolderOnlyForNtAdministrators) {
    rightsAsked = 0;
    EXPECT_EQ(ChooseProgramsFolderId(Platform(VER_PLATFORM_WIN32_WINDOWS), GrantRights),
              CSIDL_PROGRAMS);
    EXPECT_EQ(rightsAsked, 0) << "the rights test is made only on the NT family";
    EXPECT_EQ(ChooseProgramsFolderId(Platform(VER_PLATFORM_WIN32_NT), DenyRights), CSIDL_PROGRAMS);
    EXPECT_EQ(ChooseProgramsFolderId(Platform(VER_PLATFORM_WIN32_NT), GrantRights),
              CSIDL_COMMON_PROGRAMS);
}

TEST(ProgramsFolder, InitialisationFindsTheAllUsersFolderUnderWine) {
    // Wine answers platform 2 and lets us open the service manager.
    ASSERT_TRUE(HasAdminRights());
    InitShortcut();
    std::string found = ProgramsFolderPath();
    DoneShortcut();
    EXPECT_FALSE(found.empty());
    EXPECT_EQ(found, FindSpecialFolder(CSIDL_COMMON_PROGRAMS));
    EXPECT_TRUE(GetFileAttributesA(found.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(ProgramsFolderPath().empty()) << "finalisation releases the path";
}

TEST(LinkWorkingDirectory, IsTheTargetsDirectoryAndKeepsADriveRoot) {
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\Prog\\help\\contents.htm", "C:\\Prog\\help"},
        {"C:\\x.exe", "C:\\"},
        {"C:\\Prog\\", "C:\\Prog"},
        {"x.exe", ""},
        {"", ""},
        {"C:\\My Apps\\Q\\tolvane.exe", "C:\\My Apps\\Q"},
    };
    for (const auto& [target, expected] : cases)
        EXPECT_EQ(LinkWorkingDirectory(target), expected) << target;
}

TEST_F(ShortcutTest, GroupIsCreatedOnceAndAnExistingOneAnswersFalse) {
    EXPECT_TRUE(CreateProgramGroup("Zelquist"));
    EXPECT_TRUE(GetFileAttributesA((programs / "Zelquist").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(CreateProgramGroup("Zelquist"));
    // Only one level is created.
    EXPECT_FALSE(CreateProgramGroup("Missing\\Zelquist"));
    // Shortcuts still go into the existing group.
    EXPECT_TRUE(CreateProgramShortcut("Zelquist", "Quorvath", product / "Quorvath.exe"));
    EXPECT_TRUE(FileExists(programs / "Zelquist\\Quorvath.lnk"));
}

TEST_F(ShortcutTest, LinkReadsBackWithTargetWorkingDirectoryAndDescription) {
    ASSERT_TRUE(CreateProgramGroup("Zelquist"));
    std::string target = product / "help\\contents.htm";
    ASSERT_TRUE(CreateProgramShortcut("Zelquist", "QVR Help", target));
    LinkContents link = ReadLink(programs / "Zelquist\\QVR Help.lnk");
    ASSERT_TRUE(link.loaded);
    EXPECT_EQ(link.path, target);
    EXPECT_EQ(link.workingDirectory, product / "help");
    EXPECT_EQ(link.description, "QVR Help");
    EXPECT_EQ(link.arguments, "");
}

TEST_F(ShortcutTest, EmptyGroupPutsTheLinkStraightIntoPrograms) {
    ASSERT_TRUE(CreateProgramShortcut("", "X", "C:\\x.exe"));
    LinkContents link = ReadLink(programs / "X.lnk");
    ASSERT_TRUE(link.loaded);
    EXPECT_EQ(link.path, "C:\\x.exe");
    EXPECT_EQ(link.workingDirectory, "C:\\");
}

TEST_F(ShortcutTest, NoProgramsFolderFailsWithoutTouchingTheDisk) {
    SetProgramsFolderPath("");
    EXPECT_FALSE(CreateProgramGroup("Zelquist"));
    EXPECT_FALSE(CreateProgramShortcut("Zelquist", "Quorvath", product / "Quorvath.exe"));
    EXPECT_FALSE(CreateProgramShortcut("", "Quorvath", product / "Quorvath.exe"));
    EXPECT_FALSE(FileExists("\\Zelquist"));
    EXPECT_FALSE(FileExists("\\Quorvath.lnk"));
}

TEST_F(ShortcutTest, LinkFileNameMustFitTheWideBuffer) {
    // folder + "\" + name + ".lnk" with its terminator in 260 UTF-16 units.
    std::string folder = programs.path();
    size_t fitting = MAX_PATH - 1 - folder.size() - 1 - 4;
    std::string name(fitting, 'n');
    EXPECT_TRUE(CreateShellLink("C:\\x.exe", folder, name, false));
    EXPECT_TRUE(FileExists(folder + "\\" + name + ".lnk"));
    std::string tooLong(fitting + 1, 'l');
    EXPECT_FALSE(CreateShellLink("C:\\x.exe", folder, tooLong, false));
    EXPECT_FALSE(FileExists(folder + "\\" + tooLong + ".lnk"));
    EXPECT_FALSE(FileExists(folder + "\\" + tooLong.substr(0, fitting - 1)))
        << "nothing is written under a cut name";
}

TEST_F(ShortcutTest, MissingFolderFailsTheSave) {
    EXPECT_FALSE(CreateShellLink("C:\\x.exe", programs / "absent", "X", true));
    EXPECT_FALSE(FileExists(programs / "absent\\X.lnk"));
}
