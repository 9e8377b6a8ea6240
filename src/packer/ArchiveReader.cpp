#include "ArchiveReader.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

#include "ArchiveWriter.h"
#include "Crc32.h"
#include "Encript.h"
#include "Explode.h"
#include "ExplodeStream.h"
#include "HostPlatform.h"
#include "InputFile.h"
#include "QxUnZip.h"

namespace {

constexpr size_t kBlock = 1 << 16;

// Closes the stdio file on every path.
struct FileCloser {
    std::FILE* f;
    ~FileCloser() {
        if (f) std::fclose(f);
    }
};

std::FILE* OpenForReading(const std::string& path, std::string* error) {
    std::FILE* f = nullptr;
    std::string kind;
    if (const SysError code = OpenRegularFile(path, &f, &kind))
        *error = kind.empty() ? path + ": cannot open: " + SystemErrorText(code)
                              : path + ": " + kind + ", not a regular file";
    return f;
}

// Reads and drops count bytes; false when the file ends first.
bool SkipBytes(std::FILE* f, uint64_t count) {
    std::vector<uint8_t> scratch(kBlock);
    while (count > 0) {
        const size_t n =
            std::fread(scratch.data(), 1, size_t(std::min<uint64_t>(count, kBlock)), f);
        if (n == 0) return false;
        count -= n;
    }
    return true;
}

// The descrambled body, block by block, from one sequential pass.
struct BodyReader {
    std::FILE* f;
    uint64_t remaining; // body bytes not yet read from the file
    std::vector<uint8_t> block = std::vector<uint8_t>(kBlock);
    size_t at = 0;
    size_t count = 0;
    uint64_t consumed = 0; // body bytes handed out
    bool failed = false;

    uint64_t left() const { return remaining + (count - at); }

    size_t read(uint8_t* out, size_t wanted) {
        size_t given = 0;
        while (given < wanted) {
            if (at == count && !refill()) break;
            const size_t n = std::min(wanted - given, count - at);
            std::memcpy(out + given, block.data() + at, n);
            at += n;
            given += n;
        }
        consumed += given;
        return given;
    }

    bool skip(uint64_t n) {
        while (n > 0) {
            if (at == count && !refill()) return false;
            const size_t step = size_t(std::min<uint64_t>(n, count - at));
            at += step;
            n -= step;
            consumed += step;
        }
        return true;
    }

    bool refill() {
        if (remaining == 0) return false;
        const size_t n =
            std::fread(block.data(), 1, size_t(std::min<uint64_t>(remaining, kBlock)), f);
        if (n == 0) {
            failed = true;
            return false;
        }
        DescrambleBlock(block.data(), int32_t(n));
        remaining -= n;
        at = 0;
        count = n;
        return true;
    }
};

bool OpenBody(const ArchiveLocation& where, const std::string& key, FileCloser* file,
              uint64_t* bodySize, std::string* error) {
    file->f = OpenForReading(where.path, error);
    if (!file->f) return false;
    const uint64_t archiveSize = where.fileSize - where.payloadStart;
    if (archiveSize < kArchiveChecksumSize) {
        *error = where.path + ": the archive is " + std::to_string(archiveSize) +
                 " bytes long, shorter than its 4-byte checksum";
        return false;
    }
    if (!SkipBytes(file->f, where.payloadStart)) {
        *error = where.path + ": cannot read";
        return false;
    }
    *bodySize = archiveSize - kArchiveChecksumSize;
    SetScrambleKey(key);
    return true;
}

std::string Hex32(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", v);
    return text;
}

} // namespace

bool LocateArchive(const std::string& path, ArchiveLocation* where, std::string* error) {
    // A file that grows while it is read stops at the limit, not at its end.
    InputFile file;
    if (!file.open(path, kLargestInstaller, kTooLargeForInstaller, error)) return false;
    const std::string marker = UpperPayloadMarker();
    *where = ArchiveLocation{};
    where->path = path;
    // Blocks overlap by the marker's length less one, so a marker across a
    // block boundary lies whole in the next window.
    std::vector<uint8_t> window;
    uint64_t windowStart = 0;
    std::vector<uint8_t> block(kBlock);
    size_t n;
    for (;;) {
        if (!file.read(block.data(), kBlock, &n, error)) return false;
        if (n == 0) break;
        window.insert(window.end(), block.begin(), block.begin() + ptrdiff_t(n));
        where->fileSize += n;
        if (!where->installer) {
            const auto hit =
                std::search(window.begin(), window.end(), marker.begin(), marker.end());
            if (hit != window.end()) {
                where->installer = true;
                where->payloadStart = windowStart + uint64_t(hit - window.begin()) + marker.size();
                // The rest need not be read: only its length counts.
                if (!file.lengthToEnd(&where->fileSize, error)) return false;
                break;
            }
        }
        const size_t keep = std::min(window.size(), marker.size() - 1);
        windowStart += window.size() - keep;
        window.erase(window.begin(), window.end() - ptrdiff_t(keep));
    }
    return true;
}

bool CheckArchiveChecksum(const ArchiveLocation& where, const std::string& key,
                          std::string* error) {
    FileCloser file{nullptr};
    uint64_t bodySize = 0;
    if (!OpenBody(where, key, &file, &bodySize, error)) return false;
    BodyReader body{file.f, bodySize};
    uint32_t crc = kCrcStart;
    while (body.at < body.count || body.refill()) {
        crc = UpdateCrc32(body.block.data() + body.at, uint32_t(body.count - body.at), crc);
        body.at = body.count;
    }
    uint8_t stored[kArchiveChecksumSize] = {};
    if (body.failed || std::fread(stored, 1, sizeof stored, file.f) != sizeof stored) {
        *error = where.path + ": cannot read";
        return false;
    }
    if (LoadLe32(stored) != crc) {
        *error = where.path + ": the checksum does not match (" + Hex32(LoadLe32(stored)) +
                 " stored, " + Hex32(crc) +
                 " computed): the file is damaged or was scrambled with another key";
        return false;
    }
    return true;
}

bool ReadMembers(const ArchiveLocation& where, const std::string& key, bool decode,
                 const std::function<void(const MemberReport&)>& visit, std::string* error) {
    FileCloser file{nullptr};
    uint64_t bodySize = 0;
    if (!OpenBody(where, key, &file, &bodySize, error)) return false;
    BodyReader body{file.f, bodySize};
    auto pastEnd = [&](const MemberReport& m) {
        *error = where.path + ": the member record at body offset " +
                 std::to_string(m.recordOffset) + " runs past the end of the archive";
        return false;
    };
    while (body.left() > 0) {
        MemberReport m;
        m.recordOffset = body.consumed;
        uint8_t fixed[kMemberHeaderSize];
        if (body.read(fixed, kNameLengthSize) != kNameLengthSize) return pastEnd(m);
        const uint16_t nameLength = LoadLe16(fixed);
        m.name.resize(nameLength);
        if (body.read(reinterpret_cast<uint8_t*>(&m.name[0]), nameLength) != nameLength ||
            body.read(fixed, kMemberHeaderSize) != kMemberHeaderSize)
            return pastEnd(m);
        m.header = DecodeMemberHeader(fixed);
        if (m.header.packedSize > body.left()) return pastEnd(m);
        if (!IsAcceptableMemberName(m.name)) {
            *error = where.path + ": the member name '" + m.name +
                     "' is refused by the installer (it would not stay below the destination "
                     "as one ordinary file)";
            return false;
        }
        if (decode) {
            uint64_t packedLeft = m.header.packedSize;
            uint64_t written = 0;
            uint32_t crc = kCrcStart;
            uint32_t result = ExplodeStream(
                [&](uint8_t* buffer, uint32_t capacity) {
                    const size_t n =
                        body.read(buffer, size_t(std::min<uint64_t>(packedLeft, capacity)));
                    for (size_t i = 0; i < n && m.streamHeadSize < 2; ++i)
                        m.streamHead[m.streamHeadSize++] = buffer[i];
                    packedLeft -= n;
                    return uint32_t(n);
                },
                [&](const uint8_t* data, uint32_t size) {
                    crc = UpdateCrc32(data, size, crc);
                    written += size;
                });
            const uint64_t consumed = m.header.packedSize - packedLeft;
            // The unpacker accepts any 4 packed bytes for an empty member.
            if (m.header.unpackedSize == 0 && m.header.packedSize == 4 && result == ExplodeBadData)
                result = ExplodeOk;
            if (result != ExplodeOk)
                m.problem = std::string("the packed data is not a valid stream: ") +
                            ExplodeResultText(result);
            else if (consumed != m.header.packedSize)
                m.problem = "the stream ends " + std::to_string(m.header.packedSize - consumed) +
                            " bytes before its packed size";
            else if (written != m.header.unpackedSize)
                m.problem = "it unpacks to " + std::to_string(written) +
                            " bytes, the record says " + std::to_string(m.header.unpackedSize);
            else if (crc != m.header.crc)
                m.problem =
                    "its CRC " + Hex32(crc) + " differs from the record's " + Hex32(m.header.crc);
            if (!body.skip(packedLeft)) return pastEnd(m);
        } else {
            m.streamHeadSize =
                body.read(m.streamHead, size_t(std::min<uint64_t>(m.header.packedSize, 2)));
            if (!body.skip(m.header.packedSize - m.streamHeadSize)) return pastEnd(m);
        }
        if (body.failed) {
            *error = where.path + ": cannot read";
            return false;
        }
        visit(m);
    }
    if (body.failed) {
        *error = where.path + ": cannot read";
        return false;
    }
    return true;
}

std::string UnpackResultText(int32_t code) {
    switch (code) {
    case kUnpackOk: return "every member written and verified";
    case kUnpackArchiveFailed: return "the archive cannot be opened, read or rewritten";
    case kUnpackDestinationFailed: return "a member file cannot be created below the destination";
    case kUnpackFileError: return "a file error while a member was written (disk full?)";
    case kUnpackBadChecksum:
        return "the checksum does not match: the file is damaged or was scrambled with another key";
    case kUnpackBadMember:
        return "a member failed verification (its record, name, size, CRC or packed data)";
    default: return "unexpected result";
    }
}
