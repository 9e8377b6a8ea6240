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
