// Pieces of the file layer that both platform implementations share.
#pragma once

#include <string>

#include "FileIo.h"

enum class EntryKind { Missing, Link, Other };

// 0 when no existing component of systemPath below the link-free root, the
// last one included, is a link, or when the path is not below the root;
// otherwise kLinkInTheWay, with the link kept for RefusedLink. probe looks at
// one path without following a link; separators are the system's.
SysError CheckNoLinkBelowRoot(const std::string& systemPath, const char* separators,
                              EntryKind (*probe)(const std::string& systemPath));

// Reports a file that File::open created (or nullptr when it is closed).
void ReportCreatedFile(const char* systemPath);

#ifdef _WIN32
// QueryFileDosTime from the file's directory entry, as on Windows 95, which
// lacks GetFileAttributesExA.
SysError QueryFileDosTimeFromEntry(const std::string& path, uint32_t* dosDateTime);
#endif
