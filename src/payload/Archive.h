// The payload locator: finds the archive behind the installer's program
// image, copies it into the temporary archive in the destination directory
// (descrambled, while checking it) and unpacks it from there.
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

// The reader's events (each block copied, each member and block unpacked),
// passed on to the ProgressCallback in context as "keep the dialog open".
void RelayProgress(void* context, ArchiveEvent event, const ArchiveReader& reader);

// The upper-case marker made at InitArchive (empty before).
const std::string& PayloadMarker();
