// The archive reader. The layout is in ArchiveLayout.h; the order of the
// steps is what makes a damaged or hostile archive harmless: the whole body
// is verified and every record and name checked before the first member is
// written.
#include "QxUnZip.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

#include "ArchiveLayout.h"
#include "Crc32.h"
#include "Encript.h"
#include "Explode.h"
#include "FileIo.h"
#include "ShortUtl.h"

namespace {

// Module state, valid during one UnpackArchive.
File archiveFile;
File memberFile;
std::string archivePath;
std::string currentMemberPath;
uint32_t packedRemaining = 0;
uint32_t packedConsumed = 0;
uint32_t plainWritten = 0;
uint32_t plainLimit = 0;    // the member's unpacked size: nothing is written beyond it
bool plainOverflow = false; // the packed data decoded to more than the unpacked size
uint32_t plainCrc = kCrcStart;
int32_t memberPercent = 0;
MemberProgressCallback memberProgress = nullptr;

constexpr size_t kWorkBufferSize = std::max<size_t>(kExplodeWorkSize, sizeof(ExplodeWork));

// One block for the descrambling pass and, afterwards, for collecting
// Explode's 4096-byte output into fewer, larger writes. Static, so the stub
// carries it without a heap allocation or a large stack frame.
constexpr uint32_t kIoBlockSize = 65536;
uint8_t ioBlock[kIoBlockSize];
uint32_t ioBlockFill = 0; // bytes of the current member waiting in ioBlock

// Packed data read ahead in larger blocks than Explode asks for, never past
// the member's packed size.
constexpr uint32_t kReadAheadSize = 32768;
uint8_t readAhead[kReadAheadSize];
uint32_t readAheadAt = 0;
uint32_t readAheadEnd = 0;

// round(100 * position / max(length, 1)), ties to even, in exact integers.
int32_t Percent(uint32_t position, uint32_t length) {
    const uint64_t numerator = uint64_t(position) * 100;
    const uint64_t denominator = std::max<uint64_t>(length, 1);
    uint64_t quotient = numerator / denominator;
    const uint64_t twiceRemainder = 2 * (numerator % denominator);
    if (twiceRemainder > denominator || (twiceRemainder == denominator && (quotient & 1) != 0))
        ++quotient;
    return int32_t(quotient);
}

bool IsDeviceName(const std::string& component) {
    // Windows opens the device for "CON", "con.txt" and "CON .txt" alike.
    std::string base = UpperAscii(component.substr(0, component.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    static const char* const kNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    for (const char* name : kNames)
        if (base == name) return true;
    if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0)) {
        const unsigned char digit = static_cast<unsigned char>(base[3]);
        // The superscript digits of the ANSI code page count as digits too.
        return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    }
    return false;
}

bool IsAcceptableComponent(const std::string& component) {
    if (component.empty()) return false;
    if (component.find_first_not_of(". ") == std::string::npos) return false;
    if (component.back() == '.' || component.back() == ' ') return false;
    return !IsDeviceName(component);
}

// Writes what WritePlainData has collected; a failure is recorded in
// memberFile like that of any other write.
void FlushPlainData() {
    memberFile.write(ioBlock, ioBlockFill);
    ioBlockFill = 0;
}

// Deletes the member being written: a file known to be corrupt must not be
// left where a product file belongs.
void DiscardMemberFile() {
    memberFile.close();
    memberFile.takeError();
    RemoveFile(currentMemberPath);
}

int32_t FailMember(int32_t code) {
    DiscardMemberFile();
    CloseArchiveFiles();
    return code;
}

// The descrambling pass: rewrites the body in place with its plain bytes and
// answers its CRC register. False when a read or a rewrite failed.
bool DescrambleBody(uint32_t bodySize, uint32_t* crc) {
    uint8_t* buffer = ioBlock;
    uint32_t remaining = bodySize;
    uint32_t register_ = kCrcStart;
    while (remaining > 0) {
        const uint32_t at = archiveFile.position();
        const uint32_t count = archiveFile.read(buffer, std::min(remaining, kIoBlockSize));
        if (count == 0 || archiveFile.pendingError() != 0) return false;
        remaining -= count;
        DescrambleBlock(buffer, int32_t(count));
        register_ = UpdateCrc32(buffer, count, register_);
        archiveFile.seek(at);
        archiveFile.write(buffer, count);
        if (archiveFile.pendingError() != 0) return false;
    }
    *crc = register_;
    return true;
}

struct MemberRecord {
    std::string name;
    MemberHeader header;
};

// Reads the name length, the name and the MemberHeader at the current
// position. False when the record does not fit in the body or the read fails.
bool ReadMemberRecord(uint32_t bodySize, MemberRecord* record) {
    const uint64_t start = archiveFile.position();
    uint8_t field[kMemberHeaderSize];
    if (start + kNameLengthSize > bodySize) return false;
    if (archiveFile.read(field, kNameLengthSize) != kNameLengthSize) return false;
    const uint16_t nameLength = LoadLe16(field);
    if (start + kNameLengthSize + nameLength + kMemberHeaderSize > bodySize) return false;
    record->name.assign(nameLength, '\0');
    if (nameLength > 0 && archiveFile.read(&record->name[0], nameLength) != nameLength)
        return false;
    if (archiveFile.read(field, kMemberHeaderSize) != kMemberHeaderSize) return false;
    record->header = DecodeMemberHeader(field);
    return archiveFile.pendingError() == 0;
}

// The first pass over the plain body: every record lies inside the body and
// every name is acceptable. Nothing is written.
int32_t CheckMemberRecords(uint32_t bodySize) {
    archiveFile.seek(0);
    uint64_t position = 0;
    while (position < bodySize) {
        MemberRecord record;
        if (!ReadMemberRecord(bodySize, &record))
            return archiveFile.pendingError() != 0 ? kUnpackArchiveFailed : kUnpackBadMember;
        if (!IsAcceptableMemberName(record.name)) return kUnpackBadMember;
        position += kNameLengthSize + record.name.size() + kMemberHeaderSize;
        if (record.header.packedSize > bodySize - position) return kUnpackBadMember;
        position += record.header.packedSize;
        archiveFile.seek(uint32_t(position));
    }
    return archiveFile.pendingError() != 0 ? kUnpackArchiveFailed : kUnpackOk;
}

} // namespace

void InitQxUnZip() {
    archivePath.clear();
    currentMemberPath.clear();
}

void DoneQxUnZip() {
    archivePath.clear();
    archivePath.shrink_to_fit();
    currentMemberPath.clear();
    currentMemberPath.shrink_to_fit();
}

std::string CompleteArchiveName(const std::string& name, const std::string& defaultExtension) {
    std::string directory = PathOf(name);
    if (directory.empty()) {
        directory = CurrentDirectory();
        if (!directory.empty() && directory.back() != '\\') directory += '\\';
    }
    const std::string extension = ExtensionOf(name).empty() ? defaultExtension : std::string();
    return directory + NameOf(name) + extension;
}

bool IsAcceptableMemberName(const std::string& name) {
    if (name.empty() || name.front() == '\\') return false;
    for (const char c : name)
        if (c == '/' || c == ':' || static_cast<unsigned char>(c) < 0x20) return false;
    size_t start = 0;
    for (;;) {
        const size_t end = name.find('\\', start);
        if (!IsAcceptableComponent(name.substr(start, end - start))) return false;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    // A top-level member of this name would replace the archive being read.
    return name.find('\\') != std::string::npos ||
           UpperAscii(name) != UpperAscii(kTemporaryArchiveSuffix + 1);
}

uint32_t ReadPackedData(uint8_t* buffer, uint32_t* size, void* /*param*/) {
    // While the read-ahead block is empty, packedRemaining bytes of the
    // member are still in the file.
    const uint32_t wanted = std::min(packedRemaining, *size);
    uint32_t count = 0;
    while (count < wanted) {
        if (readAheadAt == readAheadEnd) {
            readAheadAt = 0;
            readAheadEnd = archiveFile.read(readAhead, std::min(kReadAheadSize, packedRemaining));
            if (readAheadEnd == 0) break;
        }
        const uint32_t part = std::min(wanted - count, readAheadEnd - readAheadAt);
        std::memcpy(buffer + count, readAhead + readAheadAt, part);
        readAheadAt += part;
        count += part;
        packedRemaining -= part;
    }
    packedConsumed += count;
    return count;
}

void WritePlainData(uint8_t* buffer, uint32_t* size, void* /*param*/) {
    // A damaged stream may decode to far more than the member holds; the
    // excess is never written, and the member then fails its size check.
    const uint32_t count = *size;
    const uint32_t allowed = std::min(count, plainLimit - plainWritten);
    if (allowed < count) plainOverflow = true;
    for (uint32_t done = 0; done < allowed;) {
        if (ioBlockFill == kIoBlockSize) FlushPlainData();
        const uint32_t part = std::min(allowed - done, kIoBlockSize - ioBlockFill);
        std::memcpy(ioBlock + ioBlockFill, buffer + done, part);
        ioBlockFill += part;
        done += part;
    }
    plainCrc = UpdateCrc32(buffer, allowed, plainCrc);
    plainWritten += allowed;
    if (memberProgress != nullptr) memberProgress(currentMemberPath.c_str(), memberPercent);
}

void CloseArchiveFiles() {
    archiveFile.close();
    if (archiveFile.takeError() != 0) {
        archiveFile.close();
        archiveFile.takeError();
    }
    if (!archivePath.empty()) RemoveFile(archivePath);
    memberFile.close();
    if (memberFile.takeError() != 0) {
        memberFile.close();
        memberFile.takeError();
    }
}

int32_t UnpackArchive(const char* archiveName, const char* destination, const char* key,
                      MemberProgressCallback progress) {
    if (archiveName == nullptr) return kUnpackArchiveFailed;
    if (destination == nullptr) return kUnpackDestinationFailed;
    archivePath = CompleteArchiveName(std::string(archiveName, ZeroTerminatedLength(archiveName)),
                                      kArchiveDefaultExtension);
    memberProgress = progress;
    currentMemberPath.clear();
    std::string destinationText(destination, ZeroTerminatedLength(destination));
    while (!destinationText.empty() && destinationText.back() == '\\') destinationText.pop_back();

    archiveFile.takeError();
    memberFile.takeError();
    archiveFile.open(archivePath, FileOpen::ReadWriteShared);
    if (archiveFile.pendingError() != 0) {
        CloseArchiveFiles();
        return kUnpackArchiveFailed;
    }

    SetScrambleKey(key != nullptr ? std::string(key, ZeroTerminatedLength(key)) : std::string());
    alignas(ExplodeWork) alignas(std::max_align_t) uint8_t work[kWorkBufferSize];
    const uint32_t archiveSize = archiveFile.size();
    const uint32_t bodySize =
        archiveSize >= kArchiveChecksumSize ? archiveSize - kArchiveChecksumSize : 0;
    uint32_t bodyCrc = kCrcStart;
    // A failed read or rewrite leaves the body unverified: nothing is unpacked.
    if (!DescrambleBody(bodySize, &bodyCrc)) {
        CloseArchiveFiles();
        return kUnpackArchiveFailed;
    }
    uint8_t stored[kArchiveChecksumSize] = {};
    archiveFile.read(stored, kArchiveChecksumSize);
    if (archiveFile.pendingError() != 0) {
        CloseArchiveFiles();
        return kUnpackArchiveFailed;
    }
    if (LoadLe32(stored) != bodyCrc) {
        CloseArchiveFiles();
        return kUnpackBadChecksum;
    }
    const int32_t recordCheck = CheckMemberRecords(bodySize);
    if (recordCheck != kUnpackOk) {
        CloseArchiveFiles();
        return recordCheck;
    }

    ExplodeWork* explodeWork = new (work) ExplodeWork;
    archiveFile.seek(0);
    while (archiveFile.position() < bodySize && archiveFile.pendingError() == 0) {
        MemberRecord record;
        // The first pass accepted this record; failing now is a read error.
        if (!ReadMemberRecord(bodySize, &record) || !IsAcceptableMemberName(record.name)) {
            CloseArchiveFiles();
            return kUnpackFileError;
        }
        const MemberHeader& header = record.header;
        currentMemberPath = destinationText + "\\" + record.name;
        MakeDirectoryPath(PathOf(currentMemberPath));
        ApplyAttributes(currentMemberPath, 0);
        RemoveFile(currentMemberPath);
        memberFile.open(currentMemberPath, FileOpen::CreateAlways);
        if (memberFile.pendingError() != 0) {
            CloseArchiveFiles();
            return kUnpackDestinationFailed;
        }

        packedRemaining = header.packedSize;
        packedConsumed = 0;
        plainWritten = 0;
        plainLimit = header.unpackedSize;
        plainOverflow = false;
        plainCrc = kCrcStart;
        memberPercent = Percent(archiveFile.position(), archiveSize);
        if (memberProgress != nullptr) memberProgress(currentMemberPath.c_str(), memberPercent);

        uint32_t param = 0;
        ioBlockFill = 0;
        readAheadAt = readAheadEnd = 0;
        uint32_t result = Explode(ReadPackedData, WritePlainData, explodeWork, &param);
        FlushPlainData();
        if (archiveFile.pendingError() != 0 || memberFile.pendingError() != 0)
            return FailMember(kUnpackFileError);
        // The 4-byte stream of an empty member is too short for Explode.
        if (header.unpackedSize == 0 && header.packedSize == 4 && result == ExplodeBadData)
            result = ExplodeOk;
        if (packedConsumed != header.packedSize || plainOverflow ||
            plainWritten != header.unpackedSize || plainCrc != header.crc || result != ExplodeOk)
            return FailMember(kUnpackBadMember);

        SetFileDosTime(memberFile, header.dosDateTime);
        memberFile.close();
        if (memberFile.takeError() != 0) {
            RemoveFile(currentMemberPath);
            CloseArchiveFiles();
            return kUnpackFileError;
        }
        ApplyAttributes(currentMemberPath, header.attributes);
    }
    if (archiveFile.pendingError() != 0) {
        CloseArchiveFiles();
        return kUnpackFileError;
    }
    if (memberProgress != nullptr) memberProgress(currentMemberPath.c_str(), 100);
    CloseArchiveFiles();
    return kUnpackOk;
}
