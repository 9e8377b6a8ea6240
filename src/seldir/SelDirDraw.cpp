// Owner drawing of the directory and drive lists: a 16-pixel row with the
// item's icon at its indentation and its text beside it.
#include "ScopedWin32.h"
#include "SelDirInternal.h"

namespace seldir {

void MeasureListItem(MEASUREITEMSTRUCT& item) {
    item.itemHeight = 16;
}

void DrawListItem(int controlId, const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    RECT rect = item.rcItem;
    if (item.itemID == static_cast<UINT>(-1)) {
        DrawFocusRect(dc, &rect);
        return;
    }
    // Only the selected item of the focused control is highlighted.
    bool highlight = (item.itemState & ODS_SELECTED) && (item.itemState & ODS_FOCUS);
    COLORREF oldText = 0, oldBack = 0;
    if (highlight) {
        oldText = SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
        oldBack = SetBkColor(dc, GetSysColor(COLOR_HIGHLIGHT));
    }
    {
        ScopedGdiObject<HBRUSH> brush(CreateSolidBrush(GetBkColor(dc)));
        if (brush.get() != nullptr) FillRect(dc, &rect, brush.get());
    }

    int x = rect.left + 2;
    HICON icon = nullptr;
    std::string text;
    int index = static_cast<int>(item.itemID);
    if (controlId == IDC_SELDIR_DIRS) {
        x += static_cast<int>(item.itemData);
        icon = index < CurrentLevelIndex    ? OpenFolderIcon
               : index == CurrentLevelIndex ? CurrentFolderIcon
                                            : ClosedFolderIcon;
        ListBoxText(item.hwndItem, index, text);
    } else if (controlId == IDC_SELDIR_DRIVES) {
        icon = reinterpret_cast<HICON>(item.itemData);
        ComboBoxText(item.hwndItem, index, text);
    }
    if (icon != nullptr) DrawIconEx(dc, x, rect.top, icon, 0, 0, 0, nullptr, DI_NORMAL);
    x += 20;
    RECT textRect = {x, rect.top, rect.right, rect.bottom};
    ExtTextOutA(dc, x, rect.top, ETO_OPAQUE, &textRect, text.c_str(),
                static_cast<UINT>(text.size()), nullptr);

    if (highlight) {
        SetTextColor(dc, oldText);
        SetBkColor(dc, oldBack);
    }
}

} // namespace seldir
