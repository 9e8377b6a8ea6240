// Why an archive was refused, with what the reader knew at that point. The
// installer's UnpackArchive codes and the host tool's messages are both
// derived from it.
#pragma once

#include <cstdint>

#include "FileIo.h"

enum class ArchiveFault : uint8_t {
    None,
    NoArchiveName, // no archive name was given
    NoDestination, // no destination was given
    OpenFailed,    // the archive file cannot be opened (system)
    ReadFailed,    // reading the archive failed (system; member during unpacking)
    RewriteFailed, // the plain body could not be written back or copied (system)
    BadChecksum,   // the ArchiveChecksum does not match (stored, computed)
    BadSignature,  // the installer's signature table lies where it cannot (installers only)
    RecordPastEnd, // a member record runs past the body (member)
    BadName,       // a member name would not stay below the destination (member)
    BadStream,     // the packed data is not a valid stream (member; computed: Explode's result)
    StreamUnused,  // the stream ends before its packed size (member; stored, computed: consumed)
    WrongSize,     // the member unpacks to another size (member; stored, computed)
    WrongCrc,      // the member's CRC differs (member; stored, computed)
    CreateFailed,  // a member file cannot be created (member, system)
    WriteFailed,   // writing a member failed (member, system)
    DiskFull,      // the disk is full (member, system)
};

constexpr uint32_t kNoMember = 0xFFFFFFFF;

struct ArchiveResult {
    ArchiveFault fault = ArchiveFault::None;
    SysError system = 0;         // the system's code for the faults that come from it
    uint32_t member = kNoMember; // index of the member at fault, from 0
    uint32_t stored = 0;         // what the archive says (checksum, size, CRC)
    uint32_t computed = 0;       // what the reader found
    bool ok() const { return fault == ArchiveFault::None; }
    bool namesMember() const { return member != kNoMember; }
    // Faults of the destination side (creating or writing files), as opposed
    // to a damaged or unreadable archive.
    bool isWriteFailure() const;
};

// UnpackArchive's code for a result: 0, -1, -2, -3, -5 or -6.
int32_t UnpackCode(const ArchiveResult& result);
