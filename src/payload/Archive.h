// The payload locator: finds the archive behind the installer's program
// image, copies it into the temporary archive in the destination directory
// and unpacks it from there.
#pragma once

#include <cstdint>
#include <string>

#include "ArchiveReader.h"
#include "ArchiveResult.h"
#include "FileIo.h"
#include "Global.h"

void InitArchive();
void DoneArchive();

// Unpacks the payload of the running program's own file below destination
// (no trailing backslash). True only when every member was written and
// verified; the temporary archive is gone afterwards in every outcome. why,
// when given, receives the reason.
bool ExtractPayload(const std::string& destination, ProgressCallback progress,
                    ArchiveResult* why = nullptr);
// The same for an explicit installer file.
bool ExtractPayloadFrom(const std::string& installerPath, const std::string& destination,
                        ProgressCallback progress, ArchiveResult* why = nullptr);

// How a copy of the payload into the temporary archive ended: 0 on both
// sides, or the system code of the side that failed.
struct PayloadCopyErrors {
    SysError source = 0; // opening or reading the installer
    SysError copy = 0;   // creating or writing the copy
};
// Copies the installer's bytes from offset start up to end into a new file
// at copyPath (a file already of that name is removed, never written
// through), in blocks of 64 KiB with a progress call before each; closes
// both files.
PayloadCopyErrors CopyPayload(File& installer, uint32_t start, uint32_t end,
                              const std::string& copyPath, ProgressCallback progress);
// The same from an installer file that it opens itself, to its end, without
// progress.
PayloadCopyErrors CopyPayloadFile(const std::string& installerPath, uint32_t start,
                                  const std::string& copyPath);

// The reader's events during the unpacking, passed on to the ProgressCallback
// in context as "keep the dialog open".
void RelayProgress(void* context, ArchiveEvent event, const ArchiveReader& reader);

// The upper-case marker made at InitArchive (empty before).
const std::string& PayloadMarker();
