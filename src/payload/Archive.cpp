// The payload locator. Only the lower-case marker is in the program: the
// first upper-case occurrence in the installer file must be the one put
// after the program image.
#include "Archive.h"

#include <algorithm>
#include <cstring>

#include "ArchiveLayout.h"
#include "FileIo.h"
#include "QxUnZip.h"
#include "ShortUtl.h"

namespace {

std::string payloadMarker;
ProgressCallback storedProgress = nullptr;

constexpr uint32_t kBlockSize = 65536;
// The block buffer of the marker scan and of the copy.
uint8_t blockBuffer[kBlockSize];

void Progress() {
    if (storedProgress != nullptr) storedProgress(false);
}

// Index of the first marker in the n bytes of block, or n when there is none.
uint32_t FindMarker(const uint8_t* block, uint32_t n) {
    const uint8_t* marker = reinterpret_cast<const uint8_t*>(payloadMarker.data());
    const uint32_t length = uint32_t(payloadMarker.size());
    if (length == 0 || n < length) return n;
    const uint8_t* found = std::search(block, block + n, marker, marker + length);
    return uint32_t(found - block);
}

// The offset of the first byte after the first marker, or 0 without one.
// Blocks overlap by the marker's length, so a marker across a block boundary
// lies whole in the next block.
uint32_t FindPayloadStart(File& installer) {
    while (!installer.atEnd()) {
        Progress();
        uint32_t start = installer.position();
        if (start > 0) {
            start -= kPayloadMarkerLength;
            installer.seek(start);
        }
        const uint32_t n = installer.read(blockBuffer, kBlockSize);
        // A read that delivers nothing or fails ends the scan: "not at the
        // end" would hold for ever on a failing medium.
        if (n == 0 || installer.pendingError() != 0) break;
        const uint32_t k = FindMarker(blockBuffer, n);
        if (k < n) return start + k + kPayloadMarkerLength;
        if (n <= kPayloadMarkerLength) break; // nothing new past the overlap
    }
    return 0;
}

} // namespace

void InitArchive() {
    payloadMarker = UpperAscii(kPayloadMarkerLower);
}

void DoneArchive() {
    payloadMarker.clear();
    payloadMarker.shrink_to_fit();
    storedProgress = nullptr;
}

const std::string& PayloadMarker() {
    return payloadMarker;
}

void RelayProgress(const char* /*memberPath*/, int32_t /*percent*/) {
    Progress();
}

bool ExtractPayload(const std::string& destination, ProgressCallback progress) {
    return ExtractPayloadFrom(OwnProgramPath(), destination, progress);
}

bool ExtractPayloadFrom(const std::string& installerPath, const std::string& destination,
                        ProgressCallback progress) {
    storedProgress = progress;
    File installer;
    installer.open(installerPath, FileOpen::ReadShared);
    const uint32_t payloadStart = FindPayloadStart(installer);
    const std::string temporaryArchive = destination + kTemporaryArchiveSuffix;
    const PayloadCopyErrors copied =
        CopyPayload(installer, payloadStart, temporaryArchive, progress);
    bool result = false;
    if (copied.source == 0 && copied.copy == 0)
        result = UnpackArchive(temporaryArchive.c_str(), destination.c_str(), nullptr,
                               RelayProgress) == kUnpackOk;
    RemoveFile(temporaryArchive);
    return result;
}

PayloadCopyErrors CopyPayload(File& installer, uint32_t start, const std::string& copyPath,
                              ProgressCallback progress) {
    // Never written through an existing file: a link planted under this name
    // could redirect the writes.
    ApplyAttributes(copyPath, 0);
    RemoveFile(copyPath);
    File copy;
    copy.open(copyPath, FileOpen::CreateNew);

    installer.seek(start);
    while (!installer.atEnd() && copy.pendingError() == 0) {
        if (progress != nullptr) progress(false);
        const uint32_t n = installer.read(blockBuffer, kBlockSize);
        if (n == 0) break;
        copy.write(blockBuffer, n);
    }
    copy.close();
    installer.close();
    // Both pending codes are taken, so neither survives into a later call.
    PayloadCopyErrors errors;
    errors.source = installer.takeError();
    errors.copy = copy.takeError();
    return errors;
}

PayloadCopyErrors CopyPayloadFile(const std::string& installerPath, uint32_t start,
                                  const std::string& copyPath) {
    File installer;
    installer.open(installerPath, FileOpen::ReadShared);
    return CopyPayload(installer, start, copyPath, nullptr);
}
