// The payload locator. Only the lower-case marker is in the program: the
// first upper-case occurrence in the installer file must be the one put
// after the program image.
#include "Archive.h"

#include <memory>

#include "ArchiveLayout.h"
#include "PayloadLocation.h"
#include "ShortUtl.h"

namespace {

std::string payloadMarker;

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

    // Never written through an existing file: a link planted under this name
    // could redirect the writes.
    const std::string temporaryArchive = destination + kTemporaryArchiveSuffix;
    ApplyAttributes(temporaryArchive, 0);
    RemoveFile(temporaryArchive);
    File copy;
    copy.open(temporaryArchive, FileOpen::CreateNew);

    ArchiveResult result;
    const SysError readError = installer.takeError();
    const SysError createError = copy.takeError();
    if (readError != 0) {
        result = Failure(ArchiveFault::ReadFailed, readError);
    } else if (createError != 0) {
        result =
            Failure(IsDiskFull(createError) ? ArchiveFault::DiskFull : ArchiveFault::WriteFailed,
                    createError);
    } else if (where.end.fault != SignatureFault::None) {
        result = Failure(ArchiveFault::BadSignature, 0);
    } else {
        // One pass copies the payload into the temporary archive, plain, while
        // it checks it; the members are then unpacked from the copy.
        std::unique_ptr<ArchiveReader> reader(
            new ArchiveReader(installer, where.span(), std::string(), {RelayProgress, &progress}));
        result = reader->check(false, &copy);
        if (result.ok()) result = reader->unpack(destination, BodyState::Plain, &copy);
    }
    copy.close();
    copy.takeError();
    installer.close();
    RemoveFile(temporaryArchive);
    if (why != nullptr) *why = result;
    return result.ok();
}
