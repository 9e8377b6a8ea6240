// The progress callback's pacing: a queue pass on the first call, on every
// close and once at least 20 ms of the clock have gone by since the last
// pass; calls in between return at once and leave the messages queued.
#include <vector>

#include "SetupTestSupport.h"

namespace {

DWORD FakeTicks = 0;
DWORD WINAPI FakeClock() {
    return FakeTicks;
}

int Delivered = 0;
LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) ++Delivered;
    return DefWindowProcA(window, message, wParam, lParam);
}

class SetupProgressPacing : public SetupTest {
protected:
    void SetUp() override {
        SetupTest::SetUp();
        Seams.tickCount = FakeClock;
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = CountingProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "QxPacingRecorder";
        RegisterClassA(&windowClass);
        window = CreateWindowExA(0, "QxPacingRecorder", "", WS_POPUP, 0, 0, 10, 10, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override {
        DestroyWindow(window);
        SetupTest::TearDown();
    }
    HWND window = nullptr;
};

TEST_F(SetupProgressPacing, QueuePassesAreSpacedByTwentyMillisecondsExceptFirstAndClose) {
    struct Step {
        DWORD ticks;
        bool close;
        bool drains;
    };
    // One program run: the first call drains whatever the clock says.
    const Step steps[] = {
        {1000, false, true},         {1005, false, false},        {1019, false, false},
        {1020, false, true},         {1021, true, true},          {1022, false, false},
        {1040, false, false},        {1041, false, true},         {0xFFFFFFF8u, false, true},
        {0xFFFFFFFFu, false, false}, {0x0000000Bu, false, false}, {0x0000000Cu, false, true},
    };
    ActiveDialog = nullptr;
    for (const Step& step : steps) {
        FakeTicks = step.ticks;
        Delivered = 0;
        PostMessageA(window, WM_APP, 0, 0);
        SetupProgressCallback(step.close);
        EXPECT_EQ(Delivered, step.drains ? 1 : 0) << step.ticks;
        MSG left;
        EXPECT_EQ(PeekMessageA(&left, nullptr, 0, 0, PM_NOREMOVE) != FALSE, !step.drains)
            << step.ticks;
        // Nothing stays queued for the next step.
        while (PeekMessageA(&left, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&left);
    }
}

TEST_F(SetupProgressPacing, CloseDestroysTheDialogEvenRightAfterAPass) {
    FakeTicks = 5000;
    SetupProgressCallback(false);
    ActiveDialog = CreateWindowExA(0, "QxPacingRecorder", "", WS_POPUP, 0, 0, 10, 10, nullptr,
                                   nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(ActiveDialog, nullptr);
    Delivered = 0;
    PostMessageA(window, WM_APP, 0, 0);
    SetupProgressCallback(true);
    EXPECT_EQ(Delivered, 1);
    EXPECT_FALSE(IsWindow(ActiveDialog));
}

} // namespace
