// The payload locator: finds the archive behind the installer's program
// image, copies it into the temporary archive in the destination directory
// and unpacks it from there.
#pragma once

#include <cstdint>
#include <string>

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

// The member progress of UnpackArchive, passed on to the stored
// ProgressCallback as "keep the dialog open".
void RelayProgress(const char* memberPath, int32_t percent);

// The upper-case marker made at InitArchive (empty before).
const std::string& PayloadMarker();
