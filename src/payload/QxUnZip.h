// UnpackArchive: descrambles an archive file in place, verifies its checksum
// and writes every member below a destination directory, through the
// archive reader.
#pragma once

#include <cstdint>
#include <string>

#include "ArchiveReader.h"
#include "ArchiveResult.h"
#include "Global.h"
#include "MemberName.h"

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

// The same with the reader's events going to observer, up to maxPadding
// zero bytes of a signing tool's padding allowed after the ArchiveChecksum,
// and the reason for the outcome.
ArchiveResult UnpackArchiveFile(const char* archiveName, const char* destination, const char* key,
                                ArchiveObserver observer, uint32_t maxPadding);

// name with the current directory when it has no directory, and with
// defaultExtension when it has no extension.
std::string CompleteArchiveName(const std::string& name, const std::string& defaultExtension);
