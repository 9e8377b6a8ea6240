// The few host services the packer and qxpack need beyond the standard
// library and the file layer, one implementation per platform.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "FileIo.h"

// Whether the stream is an interactive terminal (progress bars go there only).
bool IsTerminal(std::FILE* stream);

// The system's text for an error code of the file layer.
std::string SystemErrorText(SysError code);

// Last modification time in seconds since 1970-01-01 UTC, or the error.
SysError ModificationTime(const std::string& path, int64_t* seconds);

// Renames from to to, replacing an existing to in one step.
SysError RenameOver(const std::string& from, const std::string& to);
