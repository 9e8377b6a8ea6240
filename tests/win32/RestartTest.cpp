// A real restart request. Wine answers ExitWindowsEx and keeps this process
// running; the prefix is a throwaway copy, since Wine acts on the request.
#include <gtest/gtest.h>

#include "MessageBoxDriver.h"
#include "PostSet.h"
#include "PostSetInternal.h"
#include "PostSetTestSupport.h"

TEST(Restart, AcceptedRestartOnNtTakesThePrivilegeAndEndsWithoutAMessage) {
    ResetPostSetupForTest();
    ScratchDirectory dest{"qx my apps"};
    HWND owner = CreateOwnerWindow();
    PostSetupContext context;
    context.destination = dest.path();
    context.owner = owner;
    context.version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    GetVersionExA(&context.version);
    ASSERT_EQ(context.version.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    SetRestartNeeded(true);

    MessageBoxDriver driver({IDYES});
    CompleteSetup(context);
    std::vector<SeenDialog> boxes = driver.Stop();

    // Checked before anything of the restart can run.
    EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER,
                            "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                            "QuorvathSetup")
                  .data,
              "\"" + (dest / "tolvane.exe") + "\"");
    ASSERT_EQ(boxes.size(), 1u) << "no message after an accepted restart";
    EXPECT_TRUE(boxes[0].hasYes && boxes[0].hasNo);
    RemoveProductRegistry();
    DestroyWindow(owner);
}
