// The Start menu entries: the Programs folder, found once at start-up, and
// program groups and shell links below it. No operation shows a message.
#pragma once

#include <windows.h>

#include <string>

// Finds the Programs folder (all users' one for an NT administrator).
void InitShortcut();
void DoneShortcut();

// Creates ProgramsFolderPath\groupName; true only when this call created it.
bool CreateProgramGroup(const std::string& groupName);
// Writes ProgramsFolderPath[\groupName]\linkName.lnk pointing at targetPath.
bool CreateProgramShortcut(const std::string& groupName, const std::string& linkName,
                           const std::string& targetPath);
// Writes folderPath\linkName.lnk; the link name is also its description.
bool CreateShellLink(const std::string& targetPath, const std::string& folderPath,
                     const std::string& linkName, bool notifyShell);
// Whether the account may open the service manager with full generic access.
bool HasAdminRights();

// Pieces of the above, open to tests.
const std::string& ProgramsFolderPath();
void SetProgramsFolderPath(const std::string& path);
// CSIDL_COMMON_PROGRAMS on the NT family when hasRights() says so, else
// CSIDL_PROGRAMS; hasRights is asked only on the NT family.
int ChooseProgramsFolderId(const OSVERSIONINFOA& version, bool (*hasRights)());
// The folder's path as the shell gives it, empty when it has none.
std::string FindSpecialFolder(int folderId);
// The target's directory; a drive root keeps its backslash.
std::string LinkWorkingDirectory(const std::string& targetPath);
