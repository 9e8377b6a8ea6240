// The archive reader: descrambles an archive file in place, verifies its
// checksum and writes every member below a destination directory.
#pragma once

#include <cstdint>
#include <string>

#include "Global.h"

void InitQxUnZip();
void DoneQxUnZip();

// Results of UnpackArchive.
constexpr int32_t kUnpackOk = 0;
constexpr int32_t kUnpackArchiveFailed = -1;     // no name, cannot be opened, read or rewritten
constexpr int32_t kUnpackDestinationFailed = -2; // no destination, a member cannot be created
constexpr int32_t kUnpackFileError = -3;         // a file error while a member was written
constexpr int32_t kUnpackBadChecksum = -5;       // the ArchiveChecksum does not match
constexpr int32_t kUnpackBadMember = -6;         // a bad record, name, size, CRC or packed data

// Unpacks archiveName (".qxz" added when it has no extension) below
// destination and deletes the archive file in every outcome after it was
// opened. key null reads as the empty key; progress may be null.
int32_t UnpackArchive(const char* archiveName, const char* destination, const char* key,
                      MemberProgressCallback progress);

// name with the current directory when it has no directory, and with
// defaultExtension when it has no extension.
std::string CompleteArchiveName(const std::string& name, const std::string& defaultExtension);

// Whether a member name stays below the destination as one ordinary file:
// relative, "\" between non-empty components, no "/", ":" or control bytes,
// no component of dots and blanks only or ending in a dot or a blank, no DOS
// device name, and not the temporary archive "tempfile.$$$" at the top.
bool IsAcceptableMemberName(const std::string& name);

// The callbacks handed to Explode, over the member being unpacked.
uint32_t ReadPackedData(uint8_t* buffer, uint32_t* size, void* param);
void WritePlainData(uint8_t* buffer, uint32_t* size, void* param);
// Closes both files and deletes the archive file; leaves no error pending.
void CloseArchiveFiles();
