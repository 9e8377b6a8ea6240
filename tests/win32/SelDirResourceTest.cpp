// The dialog template 100 and the icons as the program carries them: read
// back from the module's resources and compared field by field.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "SelDirIds.h"

namespace {

struct Control {
    DWORD style;
    short x, y, cx, cy;
    int id;
    std::string className;
    std::string text;
};

struct Template {
    DWORD style;
    short cx, cy;
    std::string caption;
    int pointSize;
    std::string font;
    std::vector<Control> controls;
};

// Reads the fields of a classic DLGTEMPLATE: WORD-aligned strings or
// 0xFFFF-prefixed ordinals, and DWORD-aligned item records.
class TemplateReader {
public:
    explicit TemplateReader(const uint8_t* base) : base_(base) {}
    uint16_t Word() {
        uint16_t value;
        std::memcpy(&value, base_ + offset_, 2);
        offset_ += 2;
        return value;
    }
    uint32_t Dword() { return Word() | static_cast<uint32_t>(Word()) << 16; }
    short Short() { return static_cast<short>(Word()); }
    std::string String() {
        std::string text;
        for (uint16_t c = Word(); c != 0; c = Word()) text += static_cast<char>(c);
        return text;
    }
    // A class: 0x0080.. ordinals name the predefined classes.
    std::string ClassName() {
        if (Peek() != 0xFFFF) return String();
        Word();
        switch (Word()) {
        case 0x80: return "BUTTON";
        case 0x81: return "EDIT";
        case 0x82: return "STATIC";
        case 0x83: return "LISTBOX";
        case 0x84: return "SCROLLBAR";
        case 0x85: return "COMBOBOX";
        default: return "?";
        }
    }
    std::string TextOrOrdinal() {
        if (Peek() != 0xFFFF) return String();
        Word();
        return "#" + std::to_string(Word());
    }
    void AlignDword() { offset_ = (offset_ + 3) & ~size_t(3); }

private:
    uint16_t Peek() {
        uint16_t value;
        std::memcpy(&value, base_ + offset_, 2);
        return value;
    }
    const uint8_t* base_;
    size_t offset_ = 0;
};

Template LoadTemplate(int id) {
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5)); // RT_DIALOG
    EXPECT_NE(found, nullptr);
    Template result{};
    if (found == nullptr) return result;
    auto base = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, found)));
    TemplateReader reader(base);
    result.style = reader.Dword();
    reader.Dword(); // extended style
    int count = reader.Word();
    reader.Short();
    reader.Short();
    result.cx = reader.Short();
    result.cy = reader.Short();
    EXPECT_EQ(reader.TextOrOrdinal(), ""); // no menu
    EXPECT_EQ(reader.TextOrOrdinal(), ""); // the standard dialog class
    result.caption = reader.String();
    if (result.style & DS_SETFONT) {
        result.pointSize = reader.Word();
        result.font = reader.String();
    }
    for (int i = 0; i < count; ++i) {
        reader.AlignDword();
        Control control{};
        control.style = reader.Dword();
        reader.Dword();
        control.x = reader.Short();
        control.y = reader.Short();
        control.cx = reader.Short();
        control.cy = reader.Short();
        control.id = reader.Word();
        control.className = reader.ClassName();
        control.text = reader.TextOrOrdinal();
        reader.Word(); // creation data size
        result.controls.push_back(control);
    }
    return result;
}

TEST(SelDirResources, ChooseDirectoryTemplateHasItsExactLayout) {
    Template dialog = LoadTemplate(IDD_CHOOSE_DIRECTORY);
    EXPECT_EQ(dialog.style,
              DWORD(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT));
    EXPECT_EQ(dialog.cx, 201);
    EXPECT_EQ(dialog.cy, 191);
    EXPECT_EQ(dialog.caption, "Choose Directory");
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.font, "MS Sans Serif");

    const DWORD base = WS_CHILD | WS_VISIBLE;
    // In tab order, which is the template order.
    const Control expected[] = {
        {base | WS_GROUP, 7, 7, 187, 8, 101, "STATIC",
         "Please, choose the directory for installation."},
        {base | WS_GROUP, 7, 20, 74, 8, 102, "STATIC", "&Path:"},
        {base | WS_BORDER | WS_GROUP | WS_TABSTOP | ES_AUTOHSCROLL, 7, 31, 187, 14, 103, "EDIT",
         ""},
        {base | WS_GROUP, 7, 52, 74, 8, 104, "STATIC", "&Directories:"},
        {base | WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_SORT | LBS_OWNERDRAWFIXED |
             LBS_HASSTRINGS | LBS_DISABLENOSCROLL,
         7, 64, 129, 94, 105, "LISTBOX", ""},
        {base | WS_GROUP, 7, 160, 74, 8, 106, "STATIC", "Dri&ves:"},
        {base | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_AUTOHSCROLL |
             CBS_HASSTRINGS,
         7, 171, 129, 67, 107, "COMBOBOX", ""},
        {base | WS_TABSTOP | BS_DEFPUSHBUTTON, 144, 64, 50, 14, 108, "BUTTON", "OK"},
        {base | WS_TABSTOP, 144, 86, 50, 14, IDCANCEL, "BUTTON", "Cancel"},
    };
    ASSERT_EQ(dialog.controls.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const Control& got = dialog.controls[i];
        const Control& want = expected[i];
        SCOPED_TRACE("control " + std::to_string(want.id));
        EXPECT_EQ(got.id, want.id);
        EXPECT_EQ(got.className, want.className);
        EXPECT_EQ(got.text, want.text);
        EXPECT_EQ(got.style, want.style) << std::hex << (got.style ^ want.style);
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
        EXPECT_EQ(got.cx, want.cx);
        EXPECT_EQ(got.cy, want.cy);
    }
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colorCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)

TEST(SelDirResources, IconsAreSixteenPixelSixteenColour) {
    for (int id : {IDI_FOLDER_CLOSED, IDI_FOLDER_CURRENT, IDI_FOLDER_OPEN, IDI_DRIVE_CDROM,
                   IDI_DRIVE_REMOVABLE, IDI_DRIVE_FIXED, IDI_DRIVE_REMOTE, IDI_DRIVE_RAMDISK}) {
        SCOPED_TRACE(id);
        HRSRC group = FindResourceA(nullptr, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(14));
        ASSERT_NE(group, nullptr); // RT_GROUP_ICON
        auto header = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, group)));
        WORD count;
        std::memcpy(&count, header + 4, 2);
        ASSERT_EQ(count, 1);
        GroupIconEntry entry;
        std::memcpy(&entry, header + 6, sizeof entry);
        EXPECT_EQ(entry.width, 16);
        EXPECT_EQ(entry.height, 16);
        EXPECT_EQ(entry.colorCount, 16);
        EXPECT_EQ(entry.bitCount, 4);

        HICON icon = static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id),
                                                   IMAGE_ICON, 0, 0, LR_SHARED));
        ASSERT_NE(icon, nullptr);
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP colour{};
        GetObjectA(info.hbmColor, sizeof colour, &colour);
        EXPECT_EQ(colour.bmWidth, 16);
        EXPECT_EQ(colour.bmHeight, 16);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
    }
}

} // namespace
