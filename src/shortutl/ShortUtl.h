// Text, path and file helpers of the payload units. Paths are ANSI texts
// whose only delimiters are "\" and ":"; positions are 1-based.
#pragma once

#include <cstdint>
#include <string>

#include "FileIo.h"

void InitShortUtl();
void DoneShortUtl();

size_t ZeroTerminatedLength(const char* text);
std::string UpperAscii(const std::string& text);
SysError SetFileDosTime(File& file, uint32_t dosDateTime);
size_t FindLastOf(const std::string& delimiters, const std::string& text);
std::string PathOf(const std::string& path);
std::string NameOf(const std::string& path);
std::string ExtensionOf(const std::string& path);
SysError ApplyAttributes(const std::string& path, uint32_t attributes);
bool IsExistingDirectory(const std::string& path);
void MakeDirectoryPath(const std::string& path);
