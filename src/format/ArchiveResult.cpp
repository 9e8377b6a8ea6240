#include "ArchiveResult.h"

bool ArchiveResult::isWriteFailure() const {
    return fault == ArchiveFault::RewriteFailed || fault == ArchiveFault::CreateFailed ||
           fault == ArchiveFault::WriteFailed || fault == ArchiveFault::DiskFull;
}

int32_t UnpackCode(const ArchiveResult& result) {
    switch (result.fault) {
    case ArchiveFault::None: return 0;
    case ArchiveFault::NoArchiveName:
    case ArchiveFault::OpenFailed:
    case ArchiveFault::RewriteFailed: return -1;
    case ArchiveFault::NoDestination:
    case ArchiveFault::CreateFailed: return -2;
    case ArchiveFault::WriteFailed:
    case ArchiveFault::DiskFull: return -3;
    // Before the checksum is known a read error is the archive's; while a
    // member is unpacked it is an error of that member's file work.
    case ArchiveFault::ReadFailed: return result.member != kNoMember ? -3 : -1;
    case ArchiveFault::BadChecksum:
    case ArchiveFault::BadSignature: return -5;
    default: return -6;
    }
}
