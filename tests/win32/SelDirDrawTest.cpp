// Owner drawing of the two lists: each row drawn into a bitmap by the
// dialog procedure and compared with the icon drawn by hand at the place
// and in the colours the row must have.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "SelDirTestDriver.h"

namespace {

using namespace seldirtest;
using ChooseDirectoryDrawTest = SelDirTree;

constexpr int kWidth = 200;
constexpr int kHeight = 16;

// A top-down 32-bit bitmap selected into a memory DC, white to start.
class Canvas {
public:
    Canvas() {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = kWidth;
        info.bmiHeader.biHeight = -kHeight;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        dc_ = CreateCompatibleDC(nullptr);
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        pixels_ = static_cast<uint32_t*>(bits);
        old_ = SelectObject(dc_, bitmap_);
        for (int i = 0; i < kWidth * kHeight; ++i) pixels_[i] = 0x00FFFFFF;
    }
    ~Canvas() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return dc_; }
    // As a COLORREF (0x00BBGGRR).
    COLORREF At(int x, int y) const {
        GdiFlush();
        uint32_t p = pixels_[y * kWidth + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    bool SameBlock(const Canvas& other, int x, int width) const {
        for (int y = 0; y < kHeight; ++y)
            for (int i = x; i < x + width; ++i)
                if (At(i, y) != other.At(i, y)) return false;
        return true;
    }

private:
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
    uint32_t* pixels_ = nullptr;
};

HICON Icon(int id) {
    return static_cast<HICON>(
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON, 0, 0, LR_SHARED));
}

// Draws item index of control id with the dialog procedure.
void DrawItem(HWND dialog, int id, int index, UINT state, const Canvas& canvas) {
    HWND control = GetDlgItem(dialog, id);
    DRAWITEMSTRUCT item{};
    item.CtlType = id == IDC_SELDIR_DIRS ? ODT_LISTBOX : ODT_COMBOBOX;
    item.CtlID = id;
    item.itemID = static_cast<UINT>(index);
    item.itemAction = ODA_DRAWENTIRE;
    item.itemState = state;
    item.hwndItem = control;
    item.hDC = canvas.dc();
    item.rcItem = {0, 0, kWidth, kHeight};
    if (index >= 0)
        item.itemData = SendMessageA(
            control, id == IDC_SELDIR_DIRS ? LB_GETITEMDATA : CB_GETITEMDATA, index, 0);
    EXPECT_EQ(ChooseDirectoryDialog(dialog, WM_DRAWITEM, id, reinterpret_cast<LPARAM>(&item)),
              TRUE);
}

// The icon alone at x on a white row, for comparison.
void DrawExpectedIcon(HICON icon, int x, const Canvas& canvas) {
    DrawIconEx(canvas.dc(), x, 0, icon, 0, 0, 0, nullptr, DI_NORMAL);
}

bool RowHasInk(const Canvas& canvas, int from, int to, COLORREF background) {
    for (int y = 0; y < kHeight; ++y)
        for (int x = from; x < to; ++x)
            if (canvas.At(x, y) != background) return true;
    return false;
}

TEST_F(ChooseDirectoryDrawTest, DirectoryItemsShowTheirIconAtTheirIndentation) {
    RunChooser(Alpha(), [](HWND dialog) {
        struct Case {
            const char* item;
            int icon;
            int x;
        };
        // Ancestors open, the current directory dark, subdirectories closed.
        const Case cases[] = {
            {"C:\\", IDI_FOLDER_OPEN, 2},
            {"SelDirTest", IDI_FOLDER_OPEN, 8},
            {"Alpha", IDI_FOLDER_CURRENT, 14},
            {"Beta", IDI_FOLDER_CLOSED, 20},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.item);
            Canvas drawn, expected;
            DrawItem(dialog, IDC_SELDIR_DIRS, ListIndex(dialog, c.item), 0, drawn);
            DrawExpectedIcon(Icon(c.icon), c.x, expected);
            EXPECT_TRUE(drawn.SameBlock(expected, 0, c.x + 16));
            EXPECT_TRUE(RowHasInk(drawn, c.x + 20, kWidth, RGB(255, 255, 255))); // the text
            EXPECT_FALSE(RowHasInk(drawn, c.x + 16, c.x + 20, RGB(255, 255, 255)));
        }
        Press(dialog, IDCANCEL);
    });
}

TEST_F(ChooseDirectoryDrawTest, DriveItemsShowTheIconInTheirItemData) {
    RunChooser(Alpha(), [](HWND dialog) {
        HWND combo = GetDlgItem(dialog, IDC_SELDIR_DRIVES);
        int driveC = static_cast<int>(SendMessageA(combo, CB_FINDSTRING, static_cast<WPARAM>(-1),
                                                   reinterpret_cast<LPARAM>("C:")));
        ASSERT_GE(driveC, 0);
        EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(combo, CB_GETITEMDATA, driveC, 0)),
                  Icon(IDI_DRIVE_FIXED));
        Canvas drawn, expected;
        DrawItem(dialog, IDC_SELDIR_DRIVES, driveC, 0, drawn);
        DrawExpectedIcon(Icon(IDI_DRIVE_FIXED), 2, expected);
        EXPECT_TRUE(drawn.SameBlock(expected, 0, 18));
        EXPECT_TRUE(RowHasInk(drawn, 22, kWidth, RGB(255, 255, 255)));
        Press(dialog, IDCANCEL);
    });
}

TEST_F(ChooseDirectoryDrawTest, OnlySelectedFocusedItemIsHighlightedAndColoursAreRestored) {
    RunChooser(Alpha(), [](HWND dialog) {
        COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
        {
            Canvas canvas;
            COLORREF text = GetTextColor(canvas.dc()), back = GetBkColor(canvas.dc());
            DrawItem(dialog, IDC_SELDIR_DIRS, 2, ODS_SELECTED | ODS_FOCUS, canvas);
            EXPECT_EQ(canvas.At(0, 0), highlight);
            EXPECT_EQ(canvas.At(kWidth - 1, kHeight - 1), highlight);
            EXPECT_EQ(GetTextColor(canvas.dc()), text);
            EXPECT_EQ(GetBkColor(canvas.dc()), back);
        }
        {
            Canvas canvas;
            SetBkColor(canvas.dc(), RGB(0, 128, 0));
            DrawItem(dialog, IDC_SELDIR_DIRS, 2, ODS_SELECTED, canvas);
            EXPECT_EQ(canvas.At(0, 0), RGB(0, 128, 0)); // the DC's own background
            EXPECT_EQ(canvas.At(kWidth - 1, kHeight - 1), RGB(0, 128, 0));
        }
        Press(dialog, IDCANCEL);
    });
}

TEST_F(ChooseDirectoryDrawTest, NoItemDrawsOnlyTheFocusRectangle) {
    RunChooser(Alpha(), [](HWND dialog) {
        Canvas drawn, expected;
        DrawItem(dialog, IDC_SELDIR_DRIVES, -1, 0, drawn);
        RECT rect = {0, 0, kWidth, kHeight};
        DrawFocusRect(expected.dc(), &rect);
        EXPECT_TRUE(drawn.SameBlock(expected, 0, kWidth));

        MEASUREITEMSTRUCT measure{};
        measure.CtlType = ODT_LISTBOX;
        measure.CtlID = IDC_SELDIR_DIRS;
        EXPECT_EQ(ChooseDirectoryDialog(dialog, WM_MEASUREITEM, IDC_SELDIR_DIRS,
                                        reinterpret_cast<LPARAM>(&measure)),
                  TRUE);
        EXPECT_EQ(measure.itemHeight, 16u);
        EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_SELDIR_DIRS, LB_GETITEMHEIGHT, 0, 0), 16);
        Press(dialog, IDCANCEL);
    });
}

} // namespace
