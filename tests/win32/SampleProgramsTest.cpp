// The sample product's files: the payload folder and its manifest, the
// version records of the library stand-ins, the programs' imports, and each
// program started as the shortcut, the association and the installer start
// it. Runs in the shared prefix; every test removes what it wrote.
#include "SampleTestSupport.h"

#include "DeliveredFiles.h"

#include <shellapi.h>

#include <algorithm>
#include <cstddef>
#include <iterator>

namespace {

// What the post-setup steps use, and the uninstaller's manifest.
std::vector<std::string> DeliveredNames() {
    std::vector<std::string> names(std::begin(kDeliveredFiles), std::end(kDeliveredFiles));
    names.push_back("uninstall.lst");
    return names;
}
const std::vector<std::string> kDeliveredNames = DeliveredNames();

std::vector<std::string> ManifestMembers(const std::string& text) {
    std::vector<std::string> members;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line[0] != ';') members.push_back(line);
        start = end + 1;
    }
    return members;
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
    for (std::string& name : names) CharLowerA(&name[0]);
    std::sort(names.begin(), names.end());
    return names;
}

TEST(SamplePayload, FolderHoldsExactlyTheDeliveredNamesAndTheManifestListsThem) {
    std::vector<std::string> files;
    ListFiles(PayloadPath(), "", files);
    EXPECT_EQ(Sorted(files), Sorted(kDeliveredNames));
    std::string manifest = ReadWholeFile(PayloadPath("uninstall.lst"));
    EXPECT_EQ(Sorted(ManifestMembers(manifest)), Sorted(kDeliveredNames));
    // Delivered names are case-exact in the manifest as in the archive.
    for (const std::string& name : kDeliveredNames)
        EXPECT_NE(manifest.find("\r\n" + name + "\r\n"), std::string::npos) << name;
}

TEST(SampleStandIns, LibrariesLoadAndAnswerTheirVersions) {
    struct Case {
        const char* name;
        DWORD ms, ls;
    } cases[] = {{"Wininet.dl", MAKELONG(71, 4), MAKELONG(5, 1712)},
                 {"Shlwapi.dl", MAKELONG(71, 4), MAKELONG(0, 1712)},
                 {"DELPHIMM.DLL", MAKELONG(0, 1), 0},
                 {"QVR32.DLL", MAKELONG(5, 1), 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = PayloadPath(c.name);
        DWORD handle = 0;
        DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
        ASSERT_GT(size, 0u);
        std::vector<char> block(size);
        ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), handle, size, block.data()));
        VS_FIXEDFILEINFO* info = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &length));
        ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
        EXPECT_EQ(info->dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(info->dwFileVersionMS, c.ms);
        EXPECT_EQ(info->dwFileVersionLS, c.ls);
        ScopedLibrary library(LoadLibraryA(path.c_str()));
        EXPECT_NE(library.get(), nullptr);
    }
}

// The DLL names in a PE file's import table, read from the file itself.
std::vector<std::string> ImportedLibraries(const std::string& path) {
    std::string image = ReadWholeFile(path);
    std::vector<std::string> names;
    auto at = [&](size_t offset, size_t size) {
        return offset + size <= image.size() ? image.data() + offset : nullptr;
    };
    const char* dos = at(0, sizeof(IMAGE_DOS_HEADER));
    if (dos == nullptr) return names;
    LONG peOffset = reinterpret_cast<const IMAGE_DOS_HEADER*>(dos)->e_lfanew;
    const char* ntBytes = at(peOffset, sizeof(IMAGE_NT_HEADERS32));
    if (ntBytes == nullptr) return names;
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(ntBytes);
    DWORD importRva = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    if (importRva == 0) return names;
    auto* sections = reinterpret_cast<const IMAGE_SECTION_HEADER*>(
        ntBytes + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) +
        nt->FileHeader.SizeOfOptionalHeader);
    auto toOffset = [&](DWORD rva) -> size_t {
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i)
            if (rva >= sections[i].VirtualAddress &&
                rva < sections[i].VirtualAddress + sections[i].SizeOfRawData)
                return rva - sections[i].VirtualAddress + sections[i].PointerToRawData;
        return image.size();
    };
    for (size_t d = toOffset(importRva);; d += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
            at(d, sizeof(IMAGE_IMPORT_DESCRIPTOR)));
        if (entry == nullptr || entry->Name == 0) break;
        size_t nameOffset = toOffset(entry->Name);
        if (nameOffset >= image.size()) break;
        std::string name(image.c_str() + nameOffset);
        CharLowerA(&name[0]);
        names.push_back(name);
    }
    return names;
}

TEST(SamplePrograms, ImportOnlyLibrariesThatWindowsLoadsFromTheSystemDirectory) {
    // The import walk reads 32-bit images; what ships is always the 32-bit build.
    if (sizeof(void*) != 4) GTEST_SKIP() << "64-bit test build";
    const std::vector<std::string> allowed = {"kernel32.dll", "user32.dll",  "gdi32.dll",
                                              "advapi32.dll", "shell32.dll", "msvcrt.dll"};
    for (const char* file : {"Quorvath.exe", "tolvane.exe", "unsetup.exe", "Wininet.dl",
                             "Shlwapi.dl", "DELPHIMM.DLL", "QVR32.DLL"}) {
        std::vector<std::string> imports = ImportedLibraries(PayloadPath(file));
        if (std::string(file).find(".exe") != std::string::npos) {
            EXPECT_FALSE(imports.empty()) << file;
        }
        for (const std::string& name : imports)
            EXPECT_NE(std::find(allowed.begin(), allowed.end(), name), allowed.end())
                << file << " imports " << name;
    }
}

TEST(Quorvath, CarriesItsOwnIconFirst) {
    std::string exe = PayloadPath("Quorvath.exe");
    // Index 0 is what the association's DefaultIcon names.
    HICON icon = ExtractIconA(GetModuleHandleA(nullptr), exe.c_str(), 0);
    EXPECT_NE(icon, nullptr);
    EXPECT_NE(icon, reinterpret_cast<HICON>(1));
    if (icon != nullptr && icon != reinterpret_cast<HICON>(1)) DestroyIcon(icon);
}

// A copy of travel.qvq in a folder whose path holds blanks.
std::string QueryWithBlanks(const std::string& folder) {
    std::string dir = FreshTempDir(folder);
    std::string query = dir + "\\My travel.qvq";
    EXPECT_TRUE(CopyFileA(PayloadPath("queries\\travel.qvq").c_str(), query.c_str(), FALSE));
    return query;
}

void ExpectQueryWindow(HWND window, const std::string& query) {
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(WindowText(window), "Quorvath - My travel.qvq");
    std::string text = WindowText(GetDlgItem(window, 100));
    EXPECT_NE(text.find("Query file: " + query + "\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Title: Travel\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("terms: ferry, night train"), std::string::npos) << text;
}

TEST(Quorvath, ShowsTheQueryFileNamedOnItsCommandLine) {
    std::string query = QueryWithBlanks("qx sample\\query args");
    std::string exe = "\"" + PayloadPath("Quorvath.exe") + "\"";
    // Quoted as the association and the shortcut hand it over, and unquoted
    // as an association with a bare %1 would.
    for (const std::string& argument : {"\"" + query + "\"", query, query + "  "}) {
        SCOPED_TRACE(argument);
        StartedProcess process = StartProgram(exe + " " + argument);
        ASSERT_TRUE(process.handle.valid());
        HWND window = WaitForProcessWindow(process.id, "QuorvathWnd");
        ExpectQueryWindow(window, query);
        EXPECT_TRUE(CloseAndWait(window, process));
    }
    RemoveTree(FreshTempDir("qx sample"));
}

TEST(Quorvath, OpensAQueryFileThroughTheAssociation) {
    std::string query = QueryWithBlanks("qx sample\\association");
    std::string command = "\"" + PayloadPath("Quorvath.exe") + "\" \"%1\"";
    ScopedRegKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, ".qvq", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              key.receive(), nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("Quorvath"), 9);
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "Quorvath\\shell\\open\\command", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, key.receive(), nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>(command.size() + 1));
    key.reset();

    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = "open";
    info.lpFile = query.c_str();
    info.nShow = SW_SHOWNORMAL;
    EXPECT_TRUE(ShellExecuteExA(&info));
    StartedProcess process;
    process.handle.reset(info.hProcess);
    if (info.hProcess != nullptr) {
        process.id = GetProcessId(info.hProcess);
        HWND window = WaitForProcessWindow(process.id, "QuorvathWnd");
        ExpectQueryWindow(window, query);
        EXPECT_TRUE(CloseAndWait(window, process));
    }
    RegDeleteTreeA(HKEY_CLASSES_ROOT, ".qvq");
    RegDeleteKeyA(HKEY_CLASSES_ROOT, ".qvq");
    RegDeleteTreeA(HKEY_CLASSES_ROOT, "Quorvath");
    RegDeleteKeyA(HKEY_CLASSES_ROOT, "Quorvath");
    RemoveTree(FreshTempDir("qx sample"));
}

// An item of another process's list box. Wine hands LB_GETTEXT across
// processes back in UTF-16 even to an ANSI caller; accept both forms.
std::string ListItemText(HWND list, int index) {
    char item[2 * (MAX_PATH + 1)] = {};
    SendMessageA(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(item));
    if (item[0] == '\0' || item[1] != '\0') return item;
    char narrow[MAX_PATH + 1] = "";
    WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(item), -1, narrow,
                        sizeof narrow, nullptr, nullptr);
    return narrow;
}

TEST(Quorvath, ListsTheRegisteredSampleQueriesAndOpensOneOnDoubleClick) {
    std::string query = QueryWithBlanks("qx sample\\openlist");
    const char* vendorKey = "SOFTWARE\\Tavrenholt";
    ScopedRegKey existing;
    ASSERT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, vendorKey, 0, KEY_READ, existing.receive()),
              ERROR_SUCCESS)
        << "an earlier test left the vendor key behind";
    ScopedRegKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tavrenholt\\Quorvath 1.0\\Openlist", 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, key.receive(), nullptr),
              ERROR_SUCCESS);
    const std::string values[] = {"C:\\nowhere\\travel.qvq", query, "C:\\nowhere\\politics.qvq"};
    const char* names[] = {"00", "01", "02"};
    for (int i = 0; i < 3; ++i)
        RegSetValueExA(key.get(), names[i], 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(values[i].c_str()),
                       static_cast<DWORD>(values[i].size() + 1));
    key.reset();

    StartedProcess process = StartProgram("\"" + PayloadPath("Quorvath.exe") + "\"");
    HWND window = WaitForProcessWindow(process.id, "QuorvathWnd");
    EXPECT_NE(window, nullptr);
    if (window != nullptr) {
        HWND list = GetDlgItem(window, 101);
        ASSERT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 3);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(ListItemText(list, i), values[i]);
        SendMessageA(list, LB_SETCURSEL, 1, 0);
        SendMessageA(window, WM_COMMAND, MAKEWPARAM(101, LBN_DBLCLK),
                     reinterpret_cast<LPARAM>(list));
        ExpectQueryWindow(window, query);
        EXPECT_TRUE(CloseAndWait(window, process));
    }
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, vendorKey);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, vendorKey);
    RemoveTree(FreshTempDir("qx sample"));
}

TEST(Tolvane, ShowsTheBrowsersItFoundAndLogsEveryStart) {
    std::string dir = FreshTempDir("qx sample\\tolvane dir");
    std::string exe = dir + "\\tolvane.exe";
    ASSERT_TRUE(CopyFileA(PayloadPath("tolvane.exe").c_str(), exe.c_str(), FALSE));
    for (int run = 1; run <= 2; ++run) {
        // Started as the installer starts it: the quoted path, no arguments.
        StartedProcess process = StartProgram("\"" + exe + "\"");
        HWND window = WaitForProcessWindow(process.id, "TolvaneWnd");
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(WindowText(window), "QVR-compatible Browsers");
        std::string text = WindowText(GetDlgItem(window, 100));
        EXPECT_NE(text.find("Web browsers registered on this computer:"), std::string::npos);
        EXPECT_NE(text.find("Program that opens web links (http):"), std::string::npos);
        // Close it before going on, so that no running copy blocks anything.
        EXPECT_TRUE(CloseAndWait(window, process));
        std::vector<std::string> lines = ManifestMembers(ReadWholeFile(dir + "\\tolvane.log"));
        ASSERT_EQ(lines.size(), static_cast<size_t>(run));
        EXPECT_NE(lines.back().find(" tolvane started, "), std::string::npos) << lines.back();
    }
    RemoveTree(FreshTempDir("qx sample"));
}

} // namespace
