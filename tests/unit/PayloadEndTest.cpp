// Where the archive ends in a signed or unsigned installer, read from the PE
// header's security directory in both header forms, and the refusal of every
// directory that does not name a table right at the end of the file.
#include "PayloadEnd.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ArchiveLayout.h"
#include "SignatureFaultText.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kNewHeader = 0x80;
constexpr uint32_t kOptional = kNewHeader + 4 + 20;

// The first 4096 bytes of a PE32 (32-bit) or PE32+ (64-bit) image whose
// security directory holds offset and size; everything else a signer does
// not read is zero.
struct Header {
    bool plus = false;
    Bytes bytes = Bytes(4096);

    Header(bool plusForm, uint32_t offset, uint32_t size) : plus(plusForm) {
        bytes[0] = 'M';
        bytes[1] = 'Z';
        StoreLe32(&bytes[0x3C], kNewHeader);
        bytes[kNewHeader] = 'P';
        bytes[kNewHeader + 1] = 'E';
        StoreLe16(&bytes[kNewHeader + 4], plus ? 0x8664 : 0x14C);             // Machine
        StoreLe16(&bytes[kNewHeader + 4 + 16], uint16_t(plus ? 0xF0 : 0xE0)); // optional size
        StoreLe16(&bytes[kOptional], uint16_t(plus ? 0x20B : 0x10B));         // Magic
        StoreLe32(&bytes[CountField()], 16);                                  // directories
        StoreLe32(&bytes[Security()], offset);
        StoreLe32(&bytes[Security() + 4], size);
    }
    uint32_t CountField() const { return kOptional + (plus ? 108 : 92); }
    uint32_t Security() const { return CountField() + 4 + 4 * 8; }
};

constexpr uint32_t kFile = 10000;   // the file's length
constexpr uint32_t kPayload = 3000; // the first byte after the marker

TEST(PayloadEnd, SecurityDirectoryInBothHeaderForms) {
    struct Case {
        const char* name;
        uint32_t offset, size;
        std::function<void(Header&)> spoil; // may also cut the head short
        uint32_t fileSize;
        // Expected: end (0 for the file's length), maxPadding, fault, words.
        uint32_t end, padding;
        SignatureFault fault;
        const char* words;
    };
    const auto none = [](Header&) {};
    const Case cases[] = {
        {"unsigned: 0/0", 0, 0, none, kFile, 0, 0, SignatureFault::None, ""},
        {"signed at the end", 9000, 1000, none, kFile, 9000, 7, SignatureFault::None, ""},
        {"signed right after the checksum", kPayload + 4, kFile - kPayload - 4, none, kFile,
         kPayload + 4, 0, SignatureFault::None, ""},
        {"signed with room for 2 bytes of padding", kPayload + 6, kFile - kPayload - 6, none, kFile,
         kPayload + 6, 2, SignatureFault::None, ""},
        // Not a PE header with a security directory: the file as today.
        {"no MZ", 9000, 1000, [](Header& h) { h.bytes[1] = 'X'; }, kFile, 0, 0,
         SignatureFault::None, ""},
        {"no PE signature", 9000, 1000, [](Header& h) { h.bytes[kNewHeader + 2] = 1; }, kFile, 0, 0,
         SignatureFault::None, ""},
        {"neither PE32 nor PE32+", 9000, 1000, [](Header& h) { h.bytes[kOptional] = 0x07; }, kFile,
         0, 0, SignatureFault::None, ""},
        {"four directories", 9000, 1000, [](Header& h) { StoreLe32(&h.bytes[h.CountField()], 4); },
         kFile, 0, 0, SignatureFault::None, ""},
        {"optional header ends before entry 4", 9000, 1000,
         [](Header& h) {
             StoreLe16(&h.bytes[kNewHeader + 4 + 16], uint16_t(h.Security() - kOptional + 7));
         },
         kFile, 0, 0, SignatureFault::None, ""},
        {"head ends inside entry 4", 9000, 1000,
         [](Header& h) { h.bytes.resize(h.Security() + 7); }, kFile, 0, 0, SignatureFault::None,
         ""},
        {"file shorter than its header", 9000, 1000,
         [](Header& h) { h.bytes.resize(kOptional + 4); }, kOptional + 4, 0, 0,
         SignatureFault::None, ""},
        {"head shorter than the DOS header", 0, 0, [](Header& h) { h.bytes.resize(0x3E); }, 0x3E, 0,
         0, SignatureFault::None, ""},
        {"e_lfanew past the head", 9000, 1000,
         [](Header& h) { StoreLe32(&h.bytes[0x3C], 4096 - 23); }, kFile, 0, 0, SignatureFault::None,
         ""},
        {"e_lfanew at the top of the range", 9000, 1000,
         [](Header& h) { StoreLe32(&h.bytes[0x3C], 0xFFFFFFF0); }, kFile, 0, 0,
         SignatureFault::None, ""},
        // A directory that names no table at the end: refused.
        {"zero size", 9000, 0, none, kFile, 0, 0, SignatureFault::ZeroSize,
         "the signature table at offset 9000 is empty (its size is 0)"},
        {"offset at the end of the file", kFile, 8, none, kFile, 0, 0, SignatureFault::OutsideFile,
         "the signature table at offset 10000 (8 bytes) lies outside the file (10000 bytes)"},
        {"offset far outside, the 32-bit sum wrapping to the file's length", 0xFFFFF000,
         kFile + 0x1000, none, kFile, 0, 0, SignatureFault::OutsideFile, "lies outside the file"},
        {"size past the end", 9000, 1001, none, kFile, 0, 0, SignatureFault::PastEnd,
         "the signature table at offset 9000 (1001 bytes) runs past the end of the file (10000 "
         "bytes)"},
        {"size past the end, wrapping in 32 bits", 9000, 0xFFFFFFFF, none, kFile, 0, 0,
         SignatureFault::PastEnd, "runs past the end of the file"},
        {"into the checksum", kPayload + 3, kFile - kPayload - 3, none, kFile, 0, 0,
         SignatureFault::OverlapsArchive,
         "the signature table at offset 3003 (6997 bytes) lies before or inside the archive, "
         "which begins at offset 3000"},
        {"before the marker", 1000, kFile - 1000, none, kFile, 0, 0,
         SignatureFault::OverlapsArchive, "lies before or inside the archive"},
        {"offset 0", 0, kFile, none, kFile, 0, 0, SignatureFault::OverlapsArchive,
         "lies before or inside the archive"},
        {"ends before the end of the file", 9000, 999, none, kFile, 0, 0, SignatureFault::NotAtEnd,
         "the signature table at offset 9000 (999 bytes) ends before the end of the file (10000 "
         "bytes)"},
    };
    for (const Case& c : cases) {
        for (bool plus : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (plus ? ", PE32+" : ", PE32"));
            Header header(plus, c.offset, c.size);
            c.spoil(header);
            // Exactly the bytes given, so that ASan sees any read beyond them.
            const Bytes head = header.bytes;
            const PayloadEnd found =
                FindPayloadEnd(head.data(), uint32_t(head.size()), c.fileSize, kPayload);
            EXPECT_EQ(found.fault, c.fault);
            EXPECT_EQ(found.maxPadding, c.padding);
            if (c.fault == SignatureFault::None) {
                EXPECT_EQ(found.end, c.end != 0 ? c.end : c.fileSize);
            }
            const bool named = c.fault != SignatureFault::None || c.end != 0;
            EXPECT_EQ(found.signatureOffset, named ? c.offset : 0);
            EXPECT_EQ(found.signatureSize, named ? c.size : 0);
            EXPECT_EQ(found.signedFile(), c.fault == SignatureFault::None && c.end != 0);
            const std::string words = SignatureFaultText(found, c.fileSize, kPayload);
            EXPECT_NE(words.find(c.words), std::string::npos) << words;
            EXPECT_EQ(words.empty(), c.fault == SignatureFault::None) << words;
        }
    }
}

} // namespace
