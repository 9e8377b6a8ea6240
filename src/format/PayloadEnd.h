// Where the archive of an installer ends. An Authenticode signature pads the
// file with zero bytes to a multiple of 8 and appends a certificate table;
// the PE optional header's security data directory (entry 4, whose first
// field is a file offset, not an address) then names that table. The
// archive ends where a well-placed table begins, less up to 7 bytes of that
// padding; without a table it runs to the end of the file.
//
// Pure: parses the bytes it is given, never reads past them. Built into the
// installer stub (no exceptions, no allocation) and into the host tool.
#pragma once

#include <cstdint>

enum class SignatureFault : uint8_t {
    None,
    ZeroSize,        // an offset with a size of 0
    OutsideFile,     // the table begins at or beyond the end of the file
    PastEnd,         // the table runs past the end of the file
    OverlapsArchive, // the table begins before the archive's checksum could end
    NotAtEnd,        // the table ends before the end of the file
};

struct PayloadEnd {
    uint32_t end = 0;        // the archive ends at or before this offset (exclusive)
    uint32_t maxPadding = 0; // up to this many zero bytes before end may be the signer's padding
    // The certificate table as the directory names it; 0/0 when the file
    // carries none. Kept as found when fault is set, for the message.
    uint32_t signatureOffset = 0;
    uint32_t signatureSize = 0;
    SignatureFault fault = SignatureFault::None;

    bool signedFile() const { return fault == SignatureFault::None && signatureSize != 0; }
};

// The largest padding a signing tool puts in front of the certificate table.
constexpr uint32_t kSignaturePaddingLimit = 7;

// head: the first headSize bytes of the file (at least the first 4096, or the
// whole file when it is shorter). fileSize: the file's length. payloadStart:
// the first byte after the marker.
//
// No valid PE header (the DOS and PE signatures, the optional header of a
// PE32 or PE32+ image within head and long enough for entry 4, at least 5
// directories) or a directory of 0/0: end = fileSize, no padding. A table
// that starts at or after payloadStart + 4 (room for the checksum) and ends
// exactly at the end of the file: end = its offset, maxPadding 7, or less
// where the archive would keep fewer than 4 bytes. Any other directory is a
// fault.
PayloadEnd FindPayloadEnd(const uint8_t* head, uint32_t headSize, uint32_t fileSize,
                          uint32_t payloadStart);
