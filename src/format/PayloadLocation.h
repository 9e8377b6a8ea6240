// Where the archive lies in an installer: after the first upper-case marker,
// up to the end of the file or, in a signed installer, up to the signature
// table (less the signing tool's padding).
#pragma once

#include <cstdint>
#include <string>

#include "FileIo.h"
#include "Global.h"
#include "PayloadEnd.h"

// Where an archive lies in its file.
struct ArchiveSpan {
    uint32_t start = 0;      // its first byte
    uint32_t end = 0;        // one past its last byte, at most
    uint32_t maxPadding = 0; // zero bytes before end that may be a signing tool's padding
};

struct PayloadLocation {
    bool marker = false;   // the marker was found
    uint32_t start = 0;    // the first byte after it; 0 without one
    uint32_t fileSize = 0; // the file's length
    PayloadEnd end;        // where the archive ends, and the signature table

    // The archive: after the marker up to its end, or without a marker the
    // whole file as a bare archive.
    ArchiveSpan span() const {
        return marker ? ArchiveSpan{start, end.end, end.maxPadding} : ArchiveSpan{0, fileSize, 0};
    }
};

// Scans file from its start for the first marker in 64 KiB blocks that
// overlap by the marker's length, so that a marker across a block boundary
// lies whole in the next block; calls progress(false), when given, before
// each block. A read error ends the scan (the file's pending error tells).
// Then finds the end from the file's PE header. Leaves the position where
// the scan stopped.
PayloadLocation LocatePayload(File& file, const std::string& marker, ProgressCallback progress);
