#include "PostSet.h"

#include "DeliveredFiles.h"

#include "ScopedWin32.h"

void WriteRegistryStrings(HKEY root, const std::string& keyPath,
                          const std::vector<RegistryValue>& values) {
    ScopedRegKey key;
    DWORD disposition = 0;
    if (RegCreateKeyExA(root, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, key.receive(), &disposition) != ERROR_SUCCESS)
        return;
    for (const RegistryValue& value : values)
        RegSetValueExA(key.get(), value.name, 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(value.data.c_str()),
                       static_cast<DWORD>(value.data.size() + 1));
}

// Program paths in command lines are quoted: unquoted, a destination with
// blanks would make Windows start C:\My.exe for C:\My Apps\...\quorvath.exe.
std::vector<RegistryKey> ProductRegistryKeys(const std::string& destination) {
    const std::string& d = destination;
    return {
        {HKEY_LOCAL_MACHINE,
         "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zelquist 1.0",
         {{"DisplayName", "Zelquist 1.0"},
          {"UninstallString", "\"" + d + "\\" + kUninstaller + "\""}}},
        {HKEY_LOCAL_MACHINE,
         "SOFTWARE\\Tavrenholt\\Quorvath 1.0\\Openlist",
         {{"00", d + "\\" + kSampleQueries[0]},
          {"01", d + "\\" + kSampleQueries[1]},
          {"02", d + "\\" + kSampleQueries[2]}}},
        {HKEY_CLASSES_ROOT, ".qvq", {{nullptr, "Quorvath"}}},
        {HKEY_CLASSES_ROOT, "Quorvath", {{nullptr, "Zelquist"}}},
        {HKEY_CLASSES_ROOT, "Quorvath\\DefaultIcon", {{nullptr, d + "\\quorvath.exe,0"}}},
        {HKEY_CLASSES_ROOT,
         "Quorvath\\shell\\open\\command",
         {{nullptr, "\"" + d + "\\quorvath.exe\" \"%1\""}}},
    };
}

std::string BrowserFinderCommand(const std::string& destination) {
    return "\"" + destination + "\\" + kBrowserFinder + "\"";
}

RegistryKey BrowserFinderRunOnceKey(const std::string& destination) {
    return {HKEY_CURRENT_USER,
            "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
            {{"QuorvathSetup", BrowserFinderCommand(destination)}}};
}
