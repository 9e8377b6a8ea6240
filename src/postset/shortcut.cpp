#include "shortcut.h"

#include <shlobj.h>

#include "ScopedWin32.h"

namespace {

// Empty when the shell has no Programs folder for us; every operation then fails.
std::string programsFolderPath;

constexpr int kUserPrograms = CSIDL_PROGRAMS;          // 2
constexpr int kCommonPrograms = CSIDL_COMMON_PROGRAMS; // 23
constexpr DWORD kFullGenericAccess = GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE;
constexpr int kLinkNameUnits = MAX_PATH; // IPersistFile::Save's buffer, terminator included

} // namespace

void InitShortcut() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof(version);
    GetVersionExA(&version);
    programsFolderPath = FindSpecialFolder(ChooseProgramsFolderId(version, HasAdminRights));
}

void DoneShortcut() {
    std::string().swap(programsFolderPath);
}

const std::string& ProgramsFolderPath() {
    return programsFolderPath;
}
void SetProgramsFolderPath(const std::string& path) {
    programsFolderPath = path;
}

int ChooseProgramsFolderId(const OSVERSIONINFOA& version, bool (*hasRights)()) {
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT && hasRights()) return kCommonPrograms;
    return kUserPrograms;
}

bool HasAdminRights() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, kFullGenericAccess);
    if (manager == nullptr) return false;
    CloseServiceHandle(manager);
    return true;
}

std::string FindSpecialFolder(int folderId) {
    ScopedCoMem<ITEMIDLIST> list;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, folderId, list.receive()))) return {};
    char buffer[MAX_PATH] = {};
    if (!SHGetPathFromIDListA(list.get(), buffer)) return {};
    return std::string(buffer);
}

bool CreateProgramGroup(const std::string& groupName) {
    if (programsFolderPath.empty()) return false;
    return CreateDirectoryA((programsFolderPath + "\\" + groupName).c_str(), nullptr) != 0;
}

bool CreateProgramShortcut(const std::string& groupName, const std::string& linkName,
                           const std::string& targetPath) {
    if (programsFolderPath.empty()) return false;
    std::string folder = programsFolderPath;
    if (!groupName.empty()) folder += "\\" + groupName;
    return CreateShellLink(targetPath, folder, linkName, true);
}

std::string LinkWorkingDirectory(const std::string& targetPath) {
    size_t slash = targetPath.find_last_of('\\');
    if (slash == std::string::npos) return {};
    size_t keep = slash + 1;
    if (keep > 3) --keep;
    return targetPath.substr(0, keep);
}

bool CreateShellLink(const std::string& targetPath, const std::string& folderPath,
                     const std::string& linkName, bool notifyShell) {
    ScopedCoInit com;
    if (!com.ok()) return false;
    ComPtr<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                link.receive())))
        return false;
    link->SetPath(targetPath.c_str());
    link->SetDescription(linkName.c_str());
    link->SetWorkingDirectory(LinkWorkingDirectory(targetPath).c_str());

    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.receive()))) return false;
    // A name that does not fit the buffer fails the save; a cut name would
    // write some other file.
    std::string fileName = folderPath + "\\" + linkName + ".lnk";
    wchar_t wideName[kLinkNameUnits];
    bool saved =
        MultiByteToWideChar(CP_ACP, 0, fileName.c_str(), -1, wideName, kLinkNameUnits) != 0 &&
        SUCCEEDED(file->Save(wideName, TRUE));
    file.reset();
    if (notifyShell) SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHA, folderPath.c_str(), nullptr);
    return saved;
}
