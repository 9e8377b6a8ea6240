// The few host services the packer and qxpack need beyond the standard
// library and the file layer, one implementation per platform.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

#include "FileIo.h"

// Whether the stream is an interactive terminal (progress bars go there only).
bool IsTerminal(std::FILE* stream);

// The number of processors online, at least 1.
unsigned ProcessorCount();

// The width of the terminal that stream writes to, or 0 when unknown.
int TerminalColumns(std::FILE* stream);

// The system's text for an error code of the file layer.
std::string SystemErrorText(SysError code);

// Last modification time in seconds since 1970-01-01 UTC, or the error.
SysError ModificationTime(const std::string& path, int64_t* seconds);

// Opens a regular file for reading in binary mode. Anything else is refused
// before it is read: ENOENT-like codes come back as they are; a FIFO, a
// device, a folder or a socket give a nonzero code with *kind naming it
// ("a FIFO", "a device", "a folder", "a socket").
SysError OpenRegularFile(const std::string& path, std::FILE** file, std::string* kind);
// What a file that is not regular is, in the same words, for a refusal.
std::string KindOfFile(const std::string& path);

// Whether both are open on the same file (the same device and inode, or
// volume and file index on Win32), whatever names led to it.
bool SameFile(const File& a, const File& b);

// Renames from to to, replacing an existing to in one step.
SysError RenameOver(const std::string& from, const std::string& to);
