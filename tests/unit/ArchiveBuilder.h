// Builds payload archives for tests, damaged ones included: members with any
// name, header and packed bytes, the body scrambled with any key, and any
// checksum. The scrambling and the CRC are written here from the format's
// definition, independently of the reader's units.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ArchiveLayout.h"
#include "BitWriter.h"
#include "FileIo.h"

using Bytes = std::vector<uint8_t>;

// An implode stream of binary literals only, ended by the end marker: the
// simplest valid stream, byte for byte predictable.
inline Bytes LiteralStream(const std::string& plain, uint8_t dictionaryBits = 6) {
    BitWriter w;
    w.byte(0);              // header: binary literals
    w.byte(dictionaryBits); // header: window of 2^(6 + bits) bytes
    for (const char c : plain) {
        w.bits(1, 0);                             // literal flag
        w.bits(8, static_cast<unsigned char>(c)); // the byte
    }
    w.code("1");       // copy flag
    w.code("0000000"); // length symbol 15
    w.bits(8, 255);    // extra bits all ones: the end marker
    return w.bytes();
}

// The CRC register of the format, bit by bit: reflected, polynomial
// 0xEDB88320, no final inversion.
inline uint32_t TestCrc(const uint8_t* data, size_t size, uint32_t crc = kCrcStart) {
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = crc & 1 ? crc >> 1 ^ 0xEDB88320u : crc >> 1;
    }
    return crc;
}
inline uint32_t TestCrc(const std::string& text) {
    return TestCrc(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// XORs data with the scrambling stream of key: a sum of the key's bytes
// shifted by 8 x (position mod 4) seeds the generator x := 134775813 x + 1,
// and each byte takes the top 8 bits of the next state.
inline void TestScramble(Bytes& data, const std::string& key) {
    uint32_t state = 0;
    const size_t length = key.size() % 65536;
    for (size_t i = 1; i <= length; ++i)
        state += uint32_t(static_cast<unsigned char>(key[i - 1])) << (8 * (i % 4));
    for (uint8_t& byte : data) {
        state = state * 134775813u + 1;
        byte ^= uint8_t(state >> 24);
    }
}

inline constexpr uint32_t TestDosTime(int year, int month, int day, int hour, int minute,
                                      int second) {
    return uint32_t((year - 1980) << 9 | month << 5 | day) << 16 |
           uint32_t(hour << 11 | minute << 5 | second / 2);
}

struct TestMember {
    TestMember(std::string name_, std::string plain_,
               uint32_t dosDateTime_ = TestDosTime(2004, 6, 15, 10, 20, 30),
               uint32_t attributes_ = 0, std::optional<Bytes> packed_ = std::nullopt)
        : name(std::move(name_)), plain(std::move(plain_)), dosDateTime(dosDateTime_),
          attributes(attributes_), packed(std::move(packed_)) {}

    std::string name;
    std::string plain;
    uint32_t dosDateTime;
    uint32_t attributes;
    // Overrides of what the member would normally hold.
    std::optional<Bytes> packed;          // default: LiteralStream(plain)
    std::optional<uint32_t> unpackedSize; // default: plain.size()
    std::optional<uint32_t> packedSize;   // default: packed bytes' size
    std::optional<uint32_t> crc;          // default: TestCrc(plain)
    std::optional<uint16_t> nameLength;   // default: name.size()
};

inline void AppendMember(Bytes& body, const TestMember& m) {
    const Bytes packed = m.packed ? *m.packed : LiteralStream(m.plain);
    uint8_t field[kMemberHeaderSize];
    StoreLe16(field, m.nameLength ? *m.nameLength : uint16_t(m.name.size()));
    body.insert(body.end(), field, field + kNameLengthSize);
    body.insert(body.end(), m.name.begin(), m.name.end());
    const MemberHeader header{
        m.dosDateTime, m.unpackedSize ? *m.unpackedSize : uint32_t(m.plain.size()), m.attributes,
        m.packedSize ? *m.packedSize : uint32_t(packed.size()), m.crc ? *m.crc : TestCrc(m.plain)};
    EncodeMemberHeader(header, field);
    body.insert(body.end(), field, field + kMemberHeaderSize);
    body.insert(body.end(), packed.begin(), packed.end());
}

inline Bytes PlainBody(const std::vector<TestMember>& members) {
    Bytes body;
    for (const TestMember& m : members) AppendMember(body, m);
    return body;
}

// The archive of a plain body: scrambled with key, then the checksum (the
// right one unless given).
inline Bytes ArchiveOfBody(Bytes body, const std::string& key = "",
                           std::optional<uint32_t> checksum = std::nullopt) {
    const uint32_t crc = checksum ? *checksum : TestCrc(body.data(), body.size());
    TestScramble(body, key);
    uint8_t stored[kArchiveChecksumSize];
    StoreLe32(stored, crc);
    body.insert(body.end(), stored, stored + kArchiveChecksumSize);
    return body;
}

inline Bytes BuildArchive(const std::vector<TestMember>& members, const std::string& key = "") {
    return ArchiveOfBody(PlainBody(members), key);
}

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
    File file;
    file.open(path, FileOpen::CreateAlways);
    file.write(bytes.data(), uint32_t(bytes.size()));
    file.close();
    file.takeError();
}

inline std::optional<std::string> ReadContents(const std::string& path) {
    File file;
    file.open(path, FileOpen::ReadShared);
    if (file.pendingError() != 0) return std::nullopt;
    std::string text(file.size(), '\0');
    if (!text.empty()) text.resize(file.read(&text[0], uint32_t(text.size())));
    if (file.takeError() != 0) return std::nullopt;
    return text;
}
