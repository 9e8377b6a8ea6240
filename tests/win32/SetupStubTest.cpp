// The built installer stub as a file: which libraries it imports, that it
// holds no upper-case payload marker, and its resources as the loader sees
// them (dialog templates, main icon, version record).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

std::string StubPath() {
    std::string path = QX_STUB_PATH;
    std::replace(path.begin(), path.end(), '/', '\\');
    return "Z:" + path;
}

std::vector<uint8_t> ReadStub() {
    std::ifstream in(StubPath(), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A small reader of the PE import directory, by the file format alone.
class PeImage {
public:
    explicit PeImage(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

    uint32_t U16(size_t at) const {
        return at + 2 <= bytes_.size() ? bytes_[at] | bytes_[at + 1] << 8 : 0;
    }
    uint32_t U32(size_t at) const {
        return at + 4 <= bytes_.size() ? U16(at) | U16(at + 2) << 16 : 0;
    }

    // File offset of a relative virtual address, through the section table.
    size_t Offset(uint32_t rva) const {
        size_t pe = U32(0x3C);
        size_t sections = pe + 24 + U16(pe + 20);
        for (uint32_t i = 0; i < U16(pe + 6); ++i) {
            size_t section = sections + 40 * i;
            uint32_t virtualAddress = U32(section + 12), size = U32(section + 16);
            if (rva >= virtualAddress && rva < virtualAddress + std::max(size, U32(section + 8)))
                return U32(section + 20) + (rva - virtualAddress);
        }
        return bytes_.size();
    }

    bool Valid() const {
        size_t pe = U32(0x3C);
        return U16(0) == 0x5A4D && U32(pe) == 0x4550 && U16(pe + 24) == 0x10B; // PE32
    }
    uint32_t Subsystem() const { return U16(U32(0x3C) + 24 + 68); }
    uint32_t DirectoryRva(int index) const { return U32(U32(0x3C) + 24 + 96 + 8 * index); }

    std::set<std::string> ImportedLibraries() const {
        std::set<std::string> names;
        for (size_t at = Offset(DirectoryRva(1)); at + 20 <= bytes_.size(); at += 20) {
            uint32_t nameRva = U32(at + 12);
            if (nameRva == 0) break;
            std::string name;
            for (size_t c = Offset(nameRva); c < bytes_.size() && bytes_[c] != 0; ++c)
                name += static_cast<char>(tolower(bytes_[c]));
            names.insert(name);
        }
        return names;
    }

private:
    std::vector<uint8_t> bytes_;
};

TEST(Stub, ImportsOnlyLibrariesThatWindowsLoadsFromTheSystemDirectory) {
    // The import walk reads 32-bit images; what ships is always the 32-bit build.
    if (sizeof(void*) != 4) GTEST_SKIP() << "64-bit test build";
    PeImage image(ReadStub());
    ASSERT_TRUE(image.Valid()) << StubPath();
    EXPECT_EQ(image.Subsystem(), 2u); // IMAGE_SUBSYSTEM_WINDOWS_GUI
    const std::set<std::string> allowed = {"kernel32.dll", "user32.dll",  "gdi32.dll",
                                           "advapi32.dll", "shell32.dll", "ole32.dll",
                                           "msvcrt.dll"};
    std::set<std::string> imported = image.ImportedLibraries();
    EXPECT_TRUE(imported.count("kernel32.dll"));
    for (const std::string& name : imported) EXPECT_TRUE(allowed.count(name)) << name;
    EXPECT_EQ(image.DirectoryRva(13), 0u); // no delay-load imports either
}

TEST(Stub, HoldsNoUpperCasePayloadMarker) {
    std::vector<uint8_t> stub = ReadStub();
    ASSERT_FALSE(stub.empty());
    std::string marker = "<qxzip file begins here>";
    for (char& c : marker) c = static_cast<char>(toupper(c));
    EXPECT_EQ(std::search(stub.begin(), stub.end(), marker.begin(), marker.end()), stub.end());
}

// The stub's resources, loaded the way the system reads them.
class StubResources : public testing::Test {
protected:
    static void SetUpTestSuite() {
        module = LoadLibraryExA(StubPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    }
    static void TearDownTestSuite() { FreeLibrary(module); }
    static HMODULE module;
};
HMODULE StubResources::module = nullptr;

// Reads a DLGTEMPLATE (not the extended form) and its items.
struct DialogItem {
    DWORD style;
    short x, y, cx, cy;
    WORD id;
    std::string className;
    std::string text;
};
struct DialogTemplate {
    DWORD style = 0;
    short cx = 0, cy = 0;
    std::string caption;
    WORD pointSize = 0;
    std::string font;
    std::vector<DialogItem> items;
};

class TemplateReader {
public:
    explicit TemplateReader(const BYTE* data) : at_(data), start_(data) {}
    WORD Word() {
        WORD value;
        memcpy(&value, at_, 2);
        at_ += 2;
        return value;
    }
    DWORD Dword() {
        DWORD value;
        memcpy(&value, at_, 4);
        at_ += 4;
        return value;
    }
    std::string String() {
        std::string text;
        for (WORD c = Word(); c != 0; c = Word()) text += static_cast<char>(c);
        return text;
    }
    // A name or an ordinal; the predefined control classes have ordinals.
    std::string NameOrOrdinal() {
        WORD first;
        memcpy(&first, at_, 2);
        if (first != 0xFFFF) return String();
        Word();
        switch (WORD ordinal = Word()) {
        case 0x80: return "BUTTON";
        case 0x81: return "EDIT";
        case 0x82: return "STATIC";
        default: return "#" + std::to_string(ordinal);
        }
    }
    void AlignDword() {
        while ((at_ - start_) % 4 != 0) ++at_;
    }

private:
    const BYTE* at_;
    const BYTE* start_;
};

DialogTemplate ReadDialog(HMODULE module, int id) {
    DialogTemplate dialog;
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5)); // RT_DIALOG
    if (resource == nullptr) return dialog;
    TemplateReader reader(static_cast<const BYTE*>(LockResource(LoadResource(module, resource))));
    dialog.style = reader.Dword();
    reader.Dword(); // extended style
    WORD count = reader.Word();
    reader.Word(); // x
    reader.Word(); // y
    dialog.cx = static_cast<short>(reader.Word());
    dialog.cy = static_cast<short>(reader.Word());
    reader.NameOrOrdinal(); // menu
    reader.NameOrOrdinal(); // class
    dialog.caption = reader.String();
    if (dialog.style & DS_SETFONT) {
        dialog.pointSize = reader.Word();
        dialog.font = reader.String();
    }
    for (WORD i = 0; i < count; ++i) {
        reader.AlignDword();
        DialogItem item;
        item.style = reader.Dword();
        reader.Dword();
        item.x = static_cast<short>(reader.Word());
        item.y = static_cast<short>(reader.Word());
        item.cx = static_cast<short>(reader.Word());
        item.cy = static_cast<short>(reader.Word());
        item.id = reader.Word();
        item.className = reader.NameOrOrdinal();
        item.text = reader.NameOrOrdinal();
        WORD extra = reader.Word();
        for (WORD b = 0; b < extra; ++b) reader.Word();
        dialog.items.push_back(item);
    }
    return dialog;
}

TEST_F(StubResources, WelcomeDialogTemplateIsExactlyAsDesigned) {
    ASSERT_NE(module, nullptr);
    DialogTemplate dialog = ReadDialog(module, 200);
    EXPECT_EQ(dialog.style, 0x80C008C0u);
    EXPECT_EQ(dialog.cx, 275);
    EXPECT_EQ(dialog.cy, 154);
    EXPECT_EQ(dialog.caption, "");
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.font, "MS Sans Serif");
    // In template order, which is the tab order.
    const struct {
        WORD id;
        const char* className;
        const char* text;
        DWORD style;
        short x, y, cx, cy;
    } expected[] = {
        {201, "BUTTON", "&Install", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 226, 7,
         44, 15},
        {202, "BUTTON", "&Cancel", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 226, 35, 44,
         15},
        {203, "BUTTON", "&Browse", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 223, 130, 44,
         15},
        {205, "BUTTON", "Destination directory", WS_CHILD | WS_VISIBLE | BS_GROUPBOX, 34, 120, 237,
         30},
        {204, "EDIT", "", 0x50A10804, 34, 7, 186, 108},
        {206, "STATIC", "", WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, 43, 134, 175, 8},
        {207, "STATIC", "MAINICON", WS_CHILD | WS_VISIBLE | SS_ICON, 5, 7, 21, 20},
    };
    ASSERT_EQ(dialog.items.size(), std::size(expected));
    for (size_t i = 0; i < dialog.items.size(); ++i) {
        const DialogItem& item = dialog.items[i];
        SCOPED_TRACE(item.id);
        EXPECT_EQ(item.id, expected[i].id);
        EXPECT_EQ(item.className, expected[i].className);
        EXPECT_EQ(item.text, expected[i].text);
        EXPECT_EQ(item.style, expected[i].style);
        EXPECT_EQ(item.x, expected[i].x);
        EXPECT_EQ(item.y, expected[i].y);
        EXPECT_EQ(item.cx, expected[i].cx);
        EXPECT_EQ(item.cy, expected[i].cy);
    }
}

TEST_F(StubResources, ProgressDialogTemplateHasNoControls) {
    ASSERT_NE(module, nullptr);
    DialogTemplate dialog = ReadDialog(module, 300);
    EXPECT_EQ(dialog.style, 0x90C008C0u);
    EXPECT_EQ(dialog.cx, 225);
    EXPECT_EQ(dialog.cy, 55);
    EXPECT_EQ(dialog.caption, "Setup is placing files on your computer...");
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.font, "MS Sans Serif");
    EXPECT_TRUE(dialog.items.empty());
}

TEST_F(StubResources, MainIconLoads) {
    ASSERT_NE(module, nullptr);
    HANDLE icon = LoadImageA(module, "MAINICON", IMAGE_ICON, 32, 32, 0);
    EXPECT_NE(icon, nullptr);
    if (icon != nullptr) DestroyIcon(static_cast<HICON>(icon));
}

std::string VersionString(const std::vector<char>& info, const char* name) {
    char* value = nullptr;
    UINT length = 0;
    std::string key = std::string("\\StringFileInfo\\040904E4\\") + name;
    if (!VerQueryValueA(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &length))
        return "<missing>";
    return std::string(value, length > 0 ? strnlen(value, length) : 0);
}

TEST(StubVersion, RecordNamesFileVersionDescriptionProductVersionAndMaker) {
    std::string path = StubPath();
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), nullptr);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00010003u);
    EXPECT_EQ(VersionString(info, "FileDescription"), "Installation program for Quorvath");
    EXPECT_EQ(VersionString(info, "ProductVersion"), "1.05");
    EXPECT_EQ(VersionString(info, "FileVersion"), "1.0.1.3");
    EXPECT_NE(VersionString(info, "CompanyName").find("Tavrenholt"), std::string::npos);
}

} // namespace
