// The payload archive, shared by the reader (QxUnZip, Archive) and the
// writer (src/packer). All integers are little-endian.
//
// Installer file: program image, the marker "<QXZIP FILE BEGINS HERE>",
// then the archive up to the end of the file. Only the lower-case literal
// lives in the program; the locator upper-cases it at start-up, so the
// upper-case text never occurs in the program image.
//
// Archive: a body of members back to back, scrambled as one stream, then
// the 4-byte ArchiveChecksum (CRC register over the plain body, started at
// 0xFFFFFFFF, no final inversion), stored plain. No header, no count, no
// directory: the members end where the checksum begins.
//
// Member: u16 name length N, N name bytes (ANSI, "\" between directories,
// no terminator), the 20-byte MemberHeader, then packed-size bytes of one
// implode stream. An empty member has unpacked size 0 and the 4-byte stream
// of a header and the end marker.
#pragma once

#include <cstdint>

constexpr char kPayloadMarkerLower[] = "<qxzip file begins here>";
constexpr uint32_t kPayloadMarkerLength = 24;
static_assert(sizeof(kPayloadMarkerLower) == kPayloadMarkerLength + 1);

constexpr char kTemporaryArchiveSuffix[] = "\\tempfile.$$$";
constexpr char kArchiveDefaultExtension[] = ".qxz";

constexpr uint32_t kArchiveChecksumSize = 4;
constexpr uint32_t kNameLengthSize = 2;
constexpr uint32_t kMemberHeaderSize = 20;
constexpr uint32_t kCrcStart = 0xFFFFFFFF;

// The 20 bytes after a member's name, in file order.
struct MemberHeader {
    uint32_t dosDateTime;  // DOS date in the high 16 bits, DOS time in the low 16, local time
    uint32_t unpackedSize; // bytes after decompression
    uint32_t attributes;   // attribute mask given to the file after it is written
    uint32_t packedSize;   // bytes of the implode stream that follows
    uint32_t crc;          // CRC register over the unpacked bytes, no final inversion
};
static_assert(sizeof(MemberHeader) == kMemberHeaderSize);

inline uint32_t LoadLe32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint16_t LoadLe16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}
inline void StoreLe32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
inline void StoreLe16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

inline MemberHeader DecodeMemberHeader(const uint8_t* p) {
    return {LoadLe32(p), LoadLe32(p + 4), LoadLe32(p + 8), LoadLe32(p + 12), LoadLe32(p + 16)};
}
inline void EncodeMemberHeader(const MemberHeader& h, uint8_t* p) {
    StoreLe32(p, h.dosDateTime);
    StoreLe32(p + 4, h.unpackedSize);
    StoreLe32(p + 8, h.attributes);
    StoreLe32(p + 12, h.packedSize);
    StoreLe32(p + 16, h.crc);
}
