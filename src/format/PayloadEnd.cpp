#include "PayloadEnd.h"

#include "ArchiveLayout.h"

namespace {

// Offsets into the headers of a PE image.
constexpr uint32_t kDosHeaderSize = 0x40;
constexpr uint32_t kNewHeaderOffsetField = 0x3C; // e_lfanew
constexpr uint32_t kPeSignatureSize = 4;
constexpr uint32_t kCoffHeaderSize = 20;
constexpr uint32_t kOptionalHeaderSizeField = 16; // within the COFF header
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
// Within the optional header: NumberOfRvaAndSizes, then the directories.
constexpr uint32_t kPe32DirectoryCountField = 92;
constexpr uint32_t kPe32PlusDirectoryCountField = 108;
constexpr uint32_t kDirectoryEntrySize = 8;
constexpr uint32_t kSecurityDirectory = 4;

// The security directory's two fields, or false when head holds no PE
// header that has one.
bool ReadSecurityDirectory(const uint8_t* head, uint32_t headSize, uint32_t* offset,
                           uint32_t* size) {
    if (headSize < kDosHeaderSize || head[0] != 'M' || head[1] != 'Z') return false;
    // Compared by differences that cannot wrap: e_lfanew may be anything,
    // and headSize is at least the DOS header's.
    const uint32_t peAt = LoadLe32(head + kNewHeaderOffsetField);
    if (peAt > headSize - (kPeSignatureSize + kCoffHeaderSize + 2)) return false;
    const uint8_t* pe = head + peAt;
    if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0) return false;
    const uint32_t optionalSize = LoadLe16(pe + kPeSignatureSize + kOptionalHeaderSizeField);
    const uint8_t* optional = pe + kPeSignatureSize + kCoffHeaderSize;
    uint32_t countField = 0;
    switch (LoadLe16(optional)) {
    case kPe32Magic: countField = kPe32DirectoryCountField; break;
    case kPe32PlusMagic: countField = kPe32PlusDirectoryCountField; break;
    default: return false;
    }
    const uint32_t entry = countField + 4 + kSecurityDirectory * kDirectoryEntrySize;
    const uint32_t needed = entry + kDirectoryEntrySize;
    const uint32_t optionalAt = peAt + kPeSignatureSize + kCoffHeaderSize;
    if (optionalSize < needed || needed > headSize - optionalAt) return false;
    if (LoadLe32(optional + countField) <= kSecurityDirectory) return false;
    *offset = LoadLe32(optional + entry);
    *size = LoadLe32(optional + entry + 4);
    return true;
}

} // namespace

PayloadEnd FindPayloadEnd(const uint8_t* head, uint32_t headSize, uint32_t fileSize,
                          uint32_t payloadStart) {
    PayloadEnd result;
    result.end = fileSize;
    if (headSize > fileSize) headSize = fileSize;
    uint32_t offset = 0;
    uint32_t size = 0;
    if (!ReadSecurityDirectory(head, headSize, &offset, &size) || (offset == 0 && size == 0))
        return result;
    result.signatureOffset = offset;
    result.signatureSize = size;
    // Each difference is taken only where it cannot wrap.
    if (size == 0) {
        result.fault = SignatureFault::ZeroSize;
    } else if (offset >= fileSize) {
        result.fault = SignatureFault::OutsideFile;
    } else if (size > fileSize - offset) {
        result.fault = SignatureFault::PastEnd;
    } else if (offset < payloadStart || offset - payloadStart < kArchiveChecksumSize) {
        result.fault = SignatureFault::OverlapsArchive;
    } else if (size < fileSize - offset) {
        result.fault = SignatureFault::NotAtEnd;
    } else {
        result.end = offset;
        const uint32_t room = offset - payloadStart - kArchiveChecksumSize;
        result.maxPadding = room < kSignaturePaddingLimit ? room : kSignaturePaddingLimit;
    }
    return result;
}
