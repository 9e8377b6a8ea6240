// The payload locator: the marker found wherever it lies, the temporary
// archive made fresh and always removed, and false for every failure.
#include <gtest/gtest.h>

#include <filesystem>

#include "Archive.h"
#include "ArchiveBuilder.h"
#include "QxUnZip.h"
#include "ScratchDir.h"
#include "ShortUtl.h"

namespace {

int keepOpenCalls = 0;
int closeCalls = 0;

void CountProgress(bool close) {
    ++(close ? closeCalls : keepOpenCalls);
}

Bytes Marker() {
    const std::string text = UpperAscii(kPayloadMarkerLower);
    return Bytes(text.begin(), text.end());
}

// Program-image stand-in: bytes that hold no marker, not even its start.
Bytes Image(size_t size) {
    Bytes image(size);
    for (size_t i = 0; i < size; ++i) image[i] = uint8_t('a' + i % 23);
    return image;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

class Locator : public testing::Test {
protected:
    void SetUp() override {
        InitQxUnZip();
        InitArchive();
        keepOpenCalls = closeCalls = 0;
        destination = dir.sub("dest");
        installer = dir.sub("setup.exe");
        ASSERT_EQ(MakeDirectory(destination), 0u);
    }
    void TearDown() override {
        DoneArchive();
        DoneQxUnZip();
    }

    bool Extract(const Bytes& installerBytes) {
        WriteBytes(installer, installerBytes);
        return ExtractPayloadFrom(installer, destination, CountProgress);
    }
    bool TemporaryArchiveExists() const {
        return ReadContents(destination + kTemporaryArchiveSuffix).has_value();
    }

    ScratchDir dir;
    std::string destination;
    std::string installer;
    const Bytes payload = BuildArchive({{"sub\\file.txt", "payload text"}});
};

} // namespace

TEST_F(Locator, MarkerIsMadeUpperCaseAtInitialisation) {
    EXPECT_EQ(PayloadMarker().size(), kPayloadMarkerLength);
    EXPECT_EQ(PayloadMarker(), UpperAscii(kPayloadMarkerLower));
    EXPECT_NE(PayloadMarker(), kPayloadMarkerLower);
}

TEST_F(Locator, MarkerIsFoundAtEveryOffsetAcrossTheFirstBlockBoundary) {
    for (size_t offset = 65536 - 24; offset <= 65536; ++offset) {
        EXPECT_TRUE(Extract(Join({Image(offset), Marker(), payload}))) << offset;
        EXPECT_EQ(ReadContents(destination + "\\sub\\file.txt"), "payload text") << offset;
        EXPECT_FALSE(TemporaryArchiveExists()) << offset;
        RemoveFile(destination + "\\sub\\file.txt");
    }
    EXPECT_EQ(closeCalls, 0);
}

TEST_F(Locator, MarkerIsFoundAtTheStartOfTheFileAndOfTheThirdBlock) {
    // Blocks start at 0, 65536 - 24 and 2 x (65536 - 24).
    for (size_t offset : {size_t(0), size_t(2 * (65536 - 24)), size_t(3 * 65536)}) {
        EXPECT_TRUE(Extract(Join({Image(offset), Marker(), payload}))) << offset;
        EXPECT_EQ(ReadContents(destination + "\\sub\\file.txt"), "payload text") << offset;
    }
}

TEST_F(Locator, ProgressIsKeptOpenOncePerBlockOfScanAndCopy) {
    // Scan: blocks at 0 and 65512 (the marker is in the second); copy: 2 blocks.
    const Bytes bigPayload = BuildArchive({{"big.bin", std::string(70000, 'b')}});
    EXPECT_TRUE(Extract(Join({Image(70000), Marker(), bigPayload})));
    const int unpackCalls = 1 + 18 + 1; // member start, 18 writes of Explode, the end
    EXPECT_EQ(keepOpenCalls, 2 + 2 + unpackCalls);
    EXPECT_EQ(closeCalls, 0);
}

TEST_F(Locator, MarkerEndingTheFileLeavesAnEmptyPayload) {
    EXPECT_FALSE(Extract(Join({Image(1000), Marker()})));
    EXPECT_FALSE(TemporaryArchiveExists());
    EXPECT_TRUE(std::filesystem::is_empty(ScratchDir::Native(destination)));
}

TEST_F(Locator, OnlyTheFirstMarkerCounts) {
    // After the first marker come bytes that are no archive, then a second
    // marker with a valid archive: the payload is all of it, and fails.
    EXPECT_FALSE(Extract(Join({Image(100), Marker(), Image(50), Marker(), payload})));
    EXPECT_TRUE(std::filesystem::is_empty(ScratchDir::Native(destination)));
    EXPECT_FALSE(TemporaryArchiveExists());
}

TEST_F(Locator, LowerCaseMarkerIsNoMarker) {
    const Bytes lower(kPayloadMarkerLower, kPayloadMarkerLower + kPayloadMarkerLength);
    EXPECT_FALSE(Extract(Join({Image(100), lower, payload})));
    EXPECT_TRUE(std::filesystem::is_empty(ScratchDir::Native(destination)));
    EXPECT_FALSE(TemporaryArchiveExists());
}

TEST_F(Locator, ExistingTemporaryArchiveIsReplacedAndRemoved) {
    const std::string temporary = destination + kTemporaryArchiveSuffix;
    WriteBytes(temporary, Image(100000));
    ASSERT_EQ(ApplyAttributes(temporary, kAttrReadOnly), 0u);
    EXPECT_TRUE(Extract(Join({Image(10), Marker(), payload})));
    EXPECT_FALSE(TemporaryArchiveExists());
    EXPECT_EQ(ReadContents(destination + "\\sub\\file.txt"), "payload text");
}

#ifndef _WIN32
TEST_F(Locator, LinkPlantedAsTheTemporaryArchiveIsRefusedAndLeftAlone) {
    const std::string target = dir.sub("target.txt");
    WriteBytes(target, {'k', 'e', 'e', 'p'});
    ASSERT_EQ(ApplyAttributes(target, kAttrReadOnly), 0u);
    const std::string link = ScratchDir::Native(destination + kTemporaryArchiveSuffix);
    std::filesystem::create_symlink(ScratchDir::Native(target), link);
    EXPECT_FALSE(Extract(Join({Image(10), Marker(), payload})));
    EXPECT_EQ(ReadContents(target), "keep");
    uint32_t attributes = 0;
    ASSERT_EQ(QueryFileAttributes(target, &attributes), 0u);
    EXPECT_NE(attributes & kAttrReadOnly, 0u) << "the link was followed to clear the attribute";
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_FALSE(std::filesystem::exists(ScratchDir::Native(destination + "\\sub")));
}
#endif

TEST_F(Locator, MissingDestinationFailsAndCreatesNothing) {
    WriteBytes(installer, Join({Image(10), Marker(), payload}));
    const std::string missing = dir.sub("missing");
    EXPECT_FALSE(ExtractPayloadFrom(installer, missing, CountProgress));
    EXPECT_FALSE(std::filesystem::exists(ScratchDir::Native(missing)));
}

TEST_F(Locator, MissingInstallerFailsAndLeavesNoTemporaryArchive) {
    EXPECT_FALSE(ExtractPayloadFrom(dir.sub("nothing.exe"), destination, CountProgress));
    EXPECT_FALSE(TemporaryArchiveExists());
    EXPECT_TRUE(std::filesystem::is_empty(ScratchDir::Native(destination)));
}

TEST_F(Locator, DamagedPayloadFailsAndRemovesTheTemporaryArchive) {
    Bytes damaged = payload;
    damaged[5] ^= 0x40;
    EXPECT_FALSE(Extract(Join({Image(10), Marker(), damaged})));
    EXPECT_FALSE(TemporaryArchiveExists());
    EXPECT_TRUE(std::filesystem::is_empty(ScratchDir::Native(destination)));
}

TEST_F(Locator, OwnProgramHoldsNoPayload) {
    EXPECT_FALSE(ExtractPayload(destination, CountProgress));
    EXPECT_FALSE(TemporaryArchiveExists());
    EXPECT_GT(keepOpenCalls, 0);
}

// A failure says which side it came from: the installer that cannot be read
// is the setup's fault, a temporary archive that cannot be created the
// destination's.
TEST_F(Locator, FailuresNameTheSideThatFailed) {
    WriteBytes(installer, Join({Image(10), Marker(), payload}));
    ArchiveResult why;
    EXPECT_FALSE(ExtractPayloadFrom(dir.sub("nothing.exe"), destination, CountProgress, &why));
    EXPECT_FALSE(why.isWriteFailure()) << int(why.fault);
    EXPECT_FALSE(ExtractPayloadFrom(installer, dir.sub("missing"), CountProgress, &why));
    EXPECT_TRUE(why.isWriteFailure()) << int(why.fault);
    Bytes damaged = payload;
    damaged[5] ^= 0x40;
    EXPECT_FALSE(Extract(Join({Image(10), Marker(), damaged})));
    EXPECT_FALSE(ExtractPayloadFrom(installer, destination, CountProgress, &why));
    EXPECT_EQ(why.fault, ArchiveFault::BadChecksum);
}

namespace {

// A program image whose PE32 header names a security directory: the first
// 512 bytes of a signed installer, as far as the locator reads them.
Bytes SignedImage(uint32_t tableOffset, uint32_t tableSize) {
    Bytes image = Image(512);
    image[0] = 'M';
    image[1] = 'Z';
    StoreLe32(&image[0x3C], 0x80);
    const Bytes pe = {'P', 'E', 0, 0};
    std::copy(pe.begin(), pe.end(), image.begin() + 0x80);
    StoreLe16(&image[0x80 + 4 + 16], 0xE0); // optional header size
    const uint32_t optional = 0x80 + 4 + 20;
    StoreLe16(&image[optional], 0x10B); // PE32
    StoreLe32(&image[optional + 92], 16);
    StoreLe32(&image[optional + 96 + 4 * 8], tableOffset);
    StoreLe32(&image[optional + 96 + 4 * 8 + 4], tableSize);
    return image;
}

} // namespace

// The archive of a signed installer ends where its certificate table begins,
// less the signer's zero padding; a table anywhere else makes the file count
// as damaged, and nothing is written.
TEST_F(Locator, SignedInstallerEndsAtItsTableAndMisplacedTablesAreRefused) {
    // From 10 bytes before the marker up to where a table would begin.
    const int32_t before = int32_t(payload.size() + kPayloadMarkerLength + 10);
    const struct {
        const char* name;
        uint32_t padding;   // zero bytes between the archive and the table
        int32_t shift;      // the directory's offset against where the table begins
        uint32_t extraSize; // added to the directory's size
        int flip;           // archive byte to change, or -1
        bool extracted;
        ArchiveFault fault;
    } cases[] = {
        {"signed", 0, 0, 0, -1, true, ArchiveFault::None},
        {"signed after padding", 5, 0, 0, -1, true, ArchiveFault::None},
        {"signed, archive byte changed", 0, 0, 0, 7, false, ArchiveFault::BadChecksum},
        {"table past the end", 0, 0, 1, -1, false, ArchiveFault::BadSignature},
        // A table over the archive's end leaves a shorter archive: its checksum fails.
        {"table over the archive's end", 0, -20, 20, -1, false, ArchiveFault::BadChecksum},
        {"table before the marker", 0, -before, uint32_t(before), -1, false,
         ArchiveFault::BadSignature},
        {"table outside the file", 0, 100000, 0, -1, false, ArchiveFault::BadSignature},
    };
    constexpr uint32_t kTableSize = 300;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes archive = payload;
        if (c.flip >= 0) archive[size_t(c.flip)] ^= 0x01;
        const uint32_t tableStart =
            512 + kPayloadMarkerLength + uint32_t(archive.size()) + c.padding;
        const Bytes image =
            SignedImage(uint32_t(int64_t(tableStart) + c.shift), kTableSize + c.extraSize);
        const Bytes installerBytes =
            Join({image, Marker(), archive, Bytes(c.padding, 0), Bytes(kTableSize, 0x30)});
        WriteBytes(installer, installerBytes);
        ArchiveResult why;
        EXPECT_EQ(ExtractPayloadFrom(installer, destination, CountProgress, &why), c.extracted);
        EXPECT_EQ(why.fault, c.fault);
        EXPECT_FALSE(TemporaryArchiveExists());
        if (c.extracted) {
            EXPECT_EQ(ReadContents(destination + "\\sub\\file.txt"), "payload text");
            std::filesystem::remove_all(ScratchDir::Native(destination + "\\sub"));
        }
        EXPECT_TRUE(std::filesystem::is_empty(ScratchDir::Native(destination)));
    }
}
