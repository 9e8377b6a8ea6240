// The payload locator: finds the archive behind the installer's program
// image, copies it into the temporary archive in the destination directory
// and unpacks it from there.
#pragma once

#include <cstdint>
#include <string>

#include "FileIo.h"
#include "Global.h"

void InitArchive();
void DoneArchive();

// Unpacks the payload of the running program's own file below destination
// (no trailing backslash). True only when every member was written and
// verified; the temporary archive is gone afterwards in every outcome.
bool ExtractPayload(const std::string& destination, ProgressCallback progress);
// The same for an explicit installer file, for the host tool.
bool ExtractPayloadFrom(const std::string& installerPath, const std::string& destination,
                        ProgressCallback progress);

// How a copy of the payload into the temporary archive ended: 0 on both
// sides, or the system code of the side that failed.
struct PayloadCopyErrors {
    SysError source = 0; // opening or reading the installer
    SysError copy = 0;   // creating or writing the copy
};
// Copies the installer's bytes from offset start to its end into a new file
// at copyPath (a file already of that name is removed, never written
// through), in blocks of 64 KiB with a progress call before each; closes
// both files.
PayloadCopyErrors CopyPayload(File& installer, uint32_t start, const std::string& copyPath,
                              ProgressCallback progress);
// The same from an installer file that it opens itself, without progress.
PayloadCopyErrors CopyPayloadFile(const std::string& installerPath, uint32_t start,
                                  const std::string& copyPath);

// The member progress of UnpackArchive, passed on to the stored
// ProgressCallback as "keep the dialog open".
void RelayProgress(const char* memberPath, int32_t percent);

// The upper-case marker made at InitArchive (empty before).
const std::string& PayloadMarker();
