// A reader of installers and bare archives for the host tool: it streams the
// file (never holding a member whole), descrambles as it reads and writes
// nothing. list and verify use it; extract unpacks through UnpackArchive.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "ArchiveLayout.h"

struct ArchiveLocation {
    std::string path;
    uint64_t fileSize = 0;
    uint64_t payloadStart = 0; // the byte after the marker; 0 for a bare archive
    bool installer = false;    // the upper-case marker was found
};

// The reason given for a file of 2 GiB or more.
constexpr const char* kTooLargeForInstaller = "2 GiB or larger, more than an installer can be";

// Finds the first upper-case marker, as the installer's locator does; a
// file without one is taken as a bare archive.
bool LocateArchive(const std::string& path, ArchiveLocation* where, std::string* error);

// Descrambles the body with key and compares its CRC with the ArchiveChecksum.
bool CheckArchiveChecksum(const ArchiveLocation& where, const std::string& key, std::string* error);

struct MemberReport {
    std::string name;
    MemberHeader header{};
    uint64_t recordOffset = 0; // from the start of the body
    std::string problem;       // empty when the member is sound (or was not decoded)
    // The first bytes of the packed data: the stream's literal-mode and
    // dictionary-size bytes (streamHeadSize is less than 2 for a shorter one).
    uint8_t streamHead[2] = {};
    size_t streamHeadSize = 0;
};

// Reads every member record in order and calls visit for each. With decode,
// explodes the member's data (nothing is written) and checks the packed
// bytes consumed, the unpacked size, the CRC and the Explode result as the
// unpacker does. A record that runs past the body or a name the unpacker
// refuses ends the walk: false with the reason.
bool ReadMembers(const ArchiveLocation& where, const std::string& key, bool decode,
                 const std::function<void(const MemberReport&)>& visit, std::string* error);

// The words for an UnpackArchive result.
std::string UnpackResultText(int32_t code);
