// The words for the archive reader's results, as list, verify and extract
// print them. No message shows an internal number.
#pragma once

#include <string>

#include "ArchiveReader.h"
#include "ArchiveResult.h"

enum class ChecksumWording { Plain, WithValues };

// What is wrong, naming the member from the reader's own record of it:
// "the member record at body offset 120 runs past the end of the archive",
// "member 'a.txt' is damaged: its CRC 0x... differs from the record's 0x...".
std::string ArchiveFaultText(const ArchiveResult& result, const ArchiveMember& member,
                             ChecksumWording checksum = ChecksumWording::WithValues);
