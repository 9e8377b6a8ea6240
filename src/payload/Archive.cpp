// The payload locator. Only the lower-case marker is in the program: the
// first upper-case occurrence in the installer file must be the one put
// after the program image.
#include "Archive.h"

#include <algorithm>
#include <memory>

#include "ArchiveLayout.h"
#include "PayloadLocation.h"
#include "QxUnZip.h"
#include "ShortUtl.h"

namespace {

std::string payloadMarker;

constexpr uint32_t kBlockSize = 65536;

ArchiveResult Failure(ArchiveFault fault, SysError code) {
    ArchiveResult result;
    result.fault = fault;
    result.system = code;
    return result;
}

} // namespace

void InitArchive() {
    payloadMarker = UpperAscii(kPayloadMarkerLower);
}

void DoneArchive() {
    payloadMarker.clear();
    payloadMarker.shrink_to_fit();
}

const std::string& PayloadMarker() {
    return payloadMarker;
}

void RelayProgress(void* context, ArchiveEvent event, const ArchiveReader&) {
    const ProgressCallback progress = *static_cast<const ProgressCallback*>(context);
    if (progress != nullptr && event != ArchiveEvent::Member) progress(false);
}

bool ExtractPayload(const std::string& destination, ProgressCallback progress, ArchiveResult* why) {
    return ExtractPayloadFrom(OwnProgramPath(), destination, progress, why);
}

bool ExtractPayloadFrom(const std::string& installerPath, const std::string& destination,
                        ProgressCallback progress, ArchiveResult* why) {
    // The temporary archive is never written through a link planted there.
    const LinkFreeBelow linkFree(destination);
    File installer;
    installer.open(installerPath, FileOpen::ReadShared);
    const PayloadLocation where = LocatePayload(installer, payloadMarker, progress);
    // A signature table where none can be leaves the file as it is unsigned:
    // copied to its end, and refused.
    const bool signatureFault = where.end.fault != SignatureFault::None;
    const uint32_t end = signatureFault ? where.fileSize : where.end.end;
    const std::string temporaryArchive = destination + kTemporaryArchiveSuffix;
    const PayloadCopyErrors copied =
        CopyPayload(installer, where.start, end, temporaryArchive, progress);
    ArchiveResult result;
    if (copied.source != 0)
        result = Failure(ArchiveFault::ReadFailed, copied.source);
    else if (copied.copy != 0)
        result =
            Failure(IsDiskFull(copied.copy) ? ArchiveFault::DiskFull : ArchiveFault::WriteFailed,
                    copied.copy);
    else if (signatureFault)
        result = Failure(ArchiveFault::BadSignature, 0);
    else
        result = UnpackArchiveFile(temporaryArchive.c_str(), destination.c_str(), nullptr,
                                   ArchiveObserver{RelayProgress, &progress}, where.end.maxPadding);
    RemoveFile(temporaryArchive);
    if (why != nullptr) *why = result;
    return result.ok();
}

PayloadCopyErrors CopyPayload(File& installer, uint32_t start, uint32_t end,
                              const std::string& copyPath, ProgressCallback progress) {
    // Never written through an existing file: a link planted under this name
    // could redirect the writes.
    ApplyAttributes(copyPath, 0);
    RemoveFile(copyPath);
    File copy;
    copy.open(copyPath, FileOpen::CreateNew);

    std::unique_ptr<uint8_t[]> block(new uint8_t[kBlockSize]);
    installer.seek(start);
    for (uint32_t at = start; at < end && copy.pendingError() == 0;) {
        if (progress != nullptr) progress(false);
        const uint32_t n = installer.read(block.get(), std::min(kBlockSize, end - at));
        if (n == 0) break;
        copy.write(block.get(), n);
        at += n;
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
    return CopyPayload(installer, start, installer.size(), copyPath, nullptr);
}
