// The archive writer and the installer assembly (layout in ArchiveLayout.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ArchiveLayout.h"
#include "DosTime.h"
#include "Implode.h"
#include "OutputFile.h"

// One file to pack, as its member record will describe it.
struct PackSource {
    std::string memberName;            // relative to the packed folder, "\" between components
    std::string path;                  // where the bytes are read from
    uint32_t dosDateTime = 0x00210000; // 1980-01-01 00:00:00
    uint32_t attributes = 0;
    uint64_t size = 0;
};

// Every regular file below dir, sorted byte-wise by member name. Dates come
// from the modification times (clamped to SOURCE_DATE_EPOCH when it is set,
// in zone), attributes from the files (read-only, hidden, system,
// archive). Refuses, with a reason naming the file, anything the installer
// could not unpack as that same file: a name the reader rejects, two names
// that differ only in case, a file of 4 GiB or more, a special file.
// Empty folders have no record in the format and are left out.
bool CollectPackSources(const std::string& dir, std::vector<PackSource>* sources,
                        std::string* error, DosTimeZone zone = DosTimeZone::Automatic);

// Installer offsets are 32-bit signed: the whole file stays below 2 GiB.
constexpr uint64_t kLargestInstaller = 0x7FFFFFFF;

struct PackOptions {
    std::string key; // scrambling key; installers always use the empty one
    // The literal modes and dictionaries a member may be encoded with.
    std::vector<ImplodeChoice> candidates = AllImplodeChoices();
    // Each member encoded with every candidate, the shortest kept; otherwise
    // with the one its byte statistics suggest (LikelyImplodeChoice).
    bool exhaustive = false;
    // Members encoded at once; 0 means one per core. The archive's bytes
    // are the same whatever the count.
    unsigned jobs = 0;
    // About how many bytes of packed data the members in flight keep in
    // memory; a member's data beyond its share goes to a scratch file beside
    // the output, which is always removed.
    size_t memoryBudget = size_t(32) << 20;
    // The output's size limit, enforced as the members are read.
    uint64_t sizeLimit = kLargestInstaller;
    // Called on the calling thread now and then with the work done and the
    // total (input bytes times the encodings per member), and a member's name.
    std::function<void(uint64_t done, uint64_t total, const std::string& member)> progress;
};

struct PackedMember {
    std::string name;
    MemberHeader header;
    ImplodeChoice choice;
};

// Appends the archive (scrambled body, then the plain ArchiveChecksum) to out.
// Files are read in pieces, members packed side by side and written in
// order; memory stays flat whatever the sizes.
bool WriteArchive(const std::vector<PackSource>& sources, const PackOptions& options,
                  OutputFile& out, std::vector<PackedMember>* packed, std::string* error);

// The upper-case payload marker, made from the lower-case literal as the
// locator makes it.
std::string UpperPayloadMarker();

// An installer's length is a multiple of this, as Authenticode signing
// needs it: the signer then adds no padding of its own.
constexpr uint32_t kInstallerAlignment = 8;

// stub + zero padding + marker + archive of sources, always with the empty
// key; the padding (0 to 7 bytes) makes the length a multiple of
// kInstallerAlignment. Refuses a stub that already holds the upper-case
// marker (the locator would take the first one and unpack the wrong bytes)
// and a signed stub (its certificate table would lie before the marker).
bool WriteInstaller(const std::string& stubPath, const std::vector<PackSource>& sources,
                    PackOptions options, OutputFile& out, std::vector<PackedMember>* packed,
                    std::string* error);
