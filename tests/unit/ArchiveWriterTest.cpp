// The archive writer and the installer assembly, read back by the
// installer's own unpacker (bytes, dates, read-only bits) and by the host
// reader; DOS times; the reader's verdicts on damaged members.
#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <filesystem>

#include "ArchiveBuilder.h"
#include "ArchiveReader.h"
#include "ArchiveWriter.h"
#include "DosTime.h"
#include "Encript.h"
#include "Global.h"
#include "HostPlatform.h"
#include "PayloadLocation.h"
#include "QxUnZip.h"
#include "ScratchDir.h"
#include "ShortUtl.h"
#include "TestSupport.h"
#include <memory>

namespace fs = std::filesystem;

namespace {

// What the archive reader's check found in a file: where the archive lies,
// the result, and every member it reported.
struct Checked {
    PayloadLocation where;
    ArchiveResult result;
    std::vector<ArchiveMember> members;
};

Checked CheckFile(const std::string& path, const std::string& key, bool decode) {
    Checked checked;
    File file;
    file.open(path, FileOpen::ReadShared);
    checked.where = LocatePayload(file, UpperPayloadMarker(), nullptr);
    const ArchiveObserver collect{[](void* context, ArchiveEvent event, const ArchiveReader& r) {
                                      if (event == ArchiveEvent::Member)
                                          static_cast<Checked*>(context)->members.push_back(
                                              r.member());
                                  },
                                  &checked};
    std::unique_ptr<ArchiveReader> reader(
        new ArchiveReader(file, checked.where.span(), key, collect));
    checked.result = reader->check(decode, nullptr);
    return checked;
}

void WriteText(const std::string& layerPath, const std::string& text) {
    WriteBytes(layerPath, Bytes(text.begin(), text.end()));
}

uint32_t DosTimeOf(const std::string& layerPath) {
    int64_t seconds = 0;
    EXPECT_EQ(ModificationTime(ScratchDir::Native(layerPath), &seconds), 0u) << layerPath;
    return DosDateTimeFromUnix(seconds);
}

uint32_t AttributesOf(const std::string& layerPath) {
    uint32_t attributes = 0;
    EXPECT_EQ(QueryFileAttributes(layerPath, &attributes), 0u) << layerPath;
    return attributes;
}

class ArchiveWriter : public testing::Test {
protected:
    void SetUp() override {
        InitShortUtl();
        InitEncript();
        InitQxUnZip();
        tree = dir.sub("tree");
        ASSERT_EQ(MakeDirectory(tree), 0u);
        MakeDirectoryPath(tree + "\\help\\deep");
        WriteText(tree + "\\Quorvath.exe", std::string(70000, 'Q') + "end");
        WriteText(tree + "\\help\\contents.htm", "<html>contents</html>\r\n");
        WriteText(tree + "\\help\\deep\\empty.txt", "");
        WriteText(tree + "\\b.txt", "lower case sorts after upper case");
        ASSERT_EQ(ChangeFileAttributes(tree + "\\help\\contents.htm", kAttrReadOnly), 0u);
    }
    void TearDown() override { DoneQxUnZip(); }

    std::vector<PackSource> Sources() {
        std::vector<PackSource> sources;
        std::string error;
        EXPECT_TRUE(CollectPackSources(ScratchDir::Native(tree), &sources, &error)) << error;
        return sources;
    }

    bool Write(const std::string& target, const PackOptions& options, std::string* error,
               const std::string* stub = nullptr, std::vector<PackedMember>* packed = nullptr) {
        return WriteSources(target, Sources(), options, error, stub, packed);
    }
    bool WriteSources(const std::string& target, const std::vector<PackSource>& sources,
                      const PackOptions& options, std::string* error,
                      const std::string* stub = nullptr,
                      std::vector<PackedMember>* packed = nullptr) {
        OutputFile out;
        return out.create(ScratchDir::Native(target), error) &&
               (stub ? WriteInstaller(*stub, sources, options, out, packed, error)
                     : WriteArchive(sources, options, out, packed, error)) &&
               out.commit(error);
    }

    // Text, noise and a file larger than a read block, beside the small ones.
    void AddLargerFiles() {
        const Bytes text = ReadFixture("dcl/text8193.plain");
        Bytes manyTexts;
        for (int k = 0; k < 8; ++k) manyTexts.insert(manyTexts.end(), text.begin(), text.end());
        WriteBytes(tree + "\\help\\manual.txt", manyTexts);
        Bytes noise(300000);
        uint32_t seed = 5;
        for (size_t i = 0; i < noise.size(); ++i) {
            seed = seed * 1103515245u + 12345u;
            noise[i] = i % 3000 < 2000 ? uint8_t(seed >> 16) : noise[i - 1000];
        }
        WriteBytes(tree + "\\data.bin", noise);
    }

    // What the scratch directory holds besides the tree: outputs only, no
    // temporary or scratch file of a build.
    std::vector<std::string> OutputsLeft() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(ScratchDir::Native(dir.path())))
            if (entry.path().filename() != "tree")
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    ScratchDir dir;
    std::string tree;
};

} // namespace

TEST_F(ArchiveWriter, MembersAreSortedByteWiseWithBackslashes) {
    std::vector<std::string> names;
    for (const PackSource& s : Sources()) names.push_back(s.memberName);
    EXPECT_EQ(names, (std::vector<std::string>{"Quorvath.exe", "b.txt", "help\\contents.htm",
                                               "help\\deep\\empty.txt"}));
}

TEST_F(ArchiveWriter, UnpackArchiveGivesBackBytesDatesAndReadOnlyBits) {
    const std::string archive = dir.sub("payload.qxz");
    const std::string out = dir.sub("out");
    ASSERT_EQ(MakeDirectory(out), 0u);
    for (const char* key : {"", "a key"}) {
        PackOptions options;
        options.key = key;
        std::string error;
        ASSERT_TRUE(Write(archive, options, &error)) << error;
        ASSERT_EQ(UnpackArchive(archive.c_str(), out.c_str(), key, nullptr), kUnpackOk) << key;
        for (const char* name :
             {"Quorvath.exe", "b.txt", "help\\contents.htm", "help\\deep\\empty.txt"}) {
            const std::string from = tree + "\\" + name;
            const std::string to = out + "\\" + name;
            EXPECT_EQ(ReadContents(to), ReadContents(from)) << name;
            EXPECT_EQ(DosTimeOf(to), DosTimeOf(from)) << name;
            EXPECT_EQ(AttributesOf(to) & kAttrReadOnly, AttributesOf(from) & kAttrReadOnly) << name;
        }
        EXPECT_NE(AttributesOf(out + "\\help\\contents.htm") & kAttrReadOnly, 0u);
    }
}

TEST_F(ArchiveWriter, SameInputsGiveTheSameBytes) {
    std::string error;
    ASSERT_TRUE(Write(dir.sub("one.qxz"), {}, &error)) << error;
    ASSERT_TRUE(Write(dir.sub("two.qxz"), {}, &error)) << error;
    EXPECT_EQ(ReadContents(dir.sub("one.qxz")), ReadContents(dir.sub("two.qxz")));
}

TEST_F(ArchiveWriter, InstallerIsStubPaddingMarkerArchiveAndReadsBack) {
    // Moving the archive up for the padding crosses its 64 KiB blocks.
    AddLargerFiles();
    PackOptions options;
    options.key = "ignored: installers have no key";
    std::string error;
    const std::string setup = dir.sub("setup.exe");
    const std::string stub = ScratchDir::Native(dir.sub("stub.exe"));
    // Eight stub lengths: every padding from 0 to 7 bytes.
    for (size_t extra = 0; extra < kInstallerAlignment; ++extra) {
        const std::string stubBytes =
            "MZ stub with the <qxzip file begins here> literal only" + std::string(extra, 'x');
        SCOPED_TRACE(stubBytes.size());
        WriteText(dir.sub("stub.exe"), stubBytes);
        ASSERT_TRUE(Write(setup, options, &error, &stub)) << error;
        const std::string bytes = *ReadContents(setup);
        EXPECT_EQ(bytes.size() % kInstallerAlignment, 0u);
        EXPECT_EQ(bytes.compare(0, stubBytes.size(), stubBytes), 0);
        const size_t marker = bytes.find("<QXZIP FILE BEGINS HERE>");
        ASSERT_NE(marker, std::string::npos);
        ASSERT_LT(marker - stubBytes.size(), kInstallerAlignment);
        EXPECT_EQ(bytes.substr(stubBytes.size(), marker - stubBytes.size()),
                  std::string(marker - stubBytes.size(), '\0'));

        const Checked checked = CheckFile(setup, "", true);
        EXPECT_TRUE(checked.where.marker);
        EXPECT_EQ(checked.where.start, marker + kPayloadMarkerLength);
        EXPECT_TRUE(checked.result.ok()) << int(checked.result.fault);
        std::vector<std::string> sound;
        for (const ArchiveMember& m : checked.members)
            if (m.problem.ok()) sound.push_back(m.name);
        EXPECT_EQ(sound.size(), 6u);
    }

    // The installer as a stub: its marker would hide the new payload. The
    // stub is read in blocks of 64 KiB: a marker across their seam counts too.
    std::string seam(65536 - 10, 'M');
    seam += "<QXZIP FILE BEGINS HERE> and more";
    WriteText(dir.sub("seam.exe"), seam);
    for (const std::string& stubWithMarker :
         {ScratchDir::Native(setup), ScratchDir::Native(dir.sub("seam.exe"))}) {
        EXPECT_FALSE(Write(dir.sub("twice.exe"), {}, &error, &stubWithMarker));
        EXPECT_NE(error.find("already holds the payload marker"), std::string::npos) << error;
        EXPECT_FALSE(ReadContents(dir.sub("twice.exe")).has_value());
    }
}

TEST_F(ArchiveWriter, SameBytesWhateverTheThreadsAndTheMemory) {
    AddLargerFiles();
    struct Case {
        const char* name;
        unsigned jobs;
        size_t memoryBudget; // 0: every member's packed data goes to a scratch file
        bool exhaustive;
    };
    const Case cases[] = {
        {"one thread", 1, size_t(32) << 20, false},
        {"two threads", 2, size_t(32) << 20, false},
        {"seven threads", 7, size_t(32) << 20, false},
        {"three threads, spilled", 3, 0, false},
        {"best, one thread", 1, size_t(32) << 20, true},
        {"best, four threads, spilled", 4, 0, true},
    };
    std::optional<std::string> expected[2];
    for (const Case& c : cases) {
        PackOptions options;
        options.jobs = c.jobs;
        options.memoryBudget = c.memoryBudget;
        options.exhaustive = c.exhaustive;
        std::string error;
        ASSERT_TRUE(Write(dir.sub("out.qxz"), options, &error)) << c.name << ": " << error;
        const std::optional<std::string> bytes = ReadContents(dir.sub("out.qxz"));
        ASSERT_TRUE(bytes.has_value()) << c.name;
        std::optional<std::string>& reference = expected[c.exhaustive ? 1 : 0];
        if (!reference) reference = bytes;
        EXPECT_TRUE(bytes == reference) << c.name;
        EXPECT_EQ(OutputsLeft(), std::vector<std::string>{"out.qxz"}) << c.name;
    }
    // Both unpack to the tree.
    for (int k = 0; k < 2; ++k) {
        const std::string archive = dir.sub("check" + std::to_string(k) + ".qxz");
        const std::string out = dir.sub("check" + std::to_string(k));
        WriteBytes(archive, Bytes(expected[k]->begin(), expected[k]->end()));
        ASSERT_EQ(MakeDirectory(out), 0u);
        ASSERT_EQ(UnpackArchive(archive.c_str(), out.c_str(), "", nullptr), kUnpackOk);
        for (const char* name : {"help\\manual.txt", "data.bin", "Quorvath.exe"})
            EXPECT_EQ(ReadContents(out + "\\" + name), ReadContents(tree + "\\" + name)) << name;
    }
}

TEST_F(ArchiveWriter, ChoosesFromByteStatisticsAndBestIsNoLarger) {
    AddLargerFiles();
    std::string error;
    std::vector<PackedMember> likely;
    std::vector<PackedMember> best;
    PackOptions options;
    ASSERT_TRUE(Write(dir.sub("likely.qxz"), options, &error, nullptr, &likely)) << error;
    options.exhaustive = true;
    ASSERT_TRUE(Write(dir.sub("best.qxz"), options, &error, nullptr, &best)) << error;
    ASSERT_EQ(likely.size(), best.size());
    uint64_t likelyTotal = 0;
    uint64_t bestTotal = 0;
    for (size_t i = 0; i < likely.size(); ++i) {
        EXPECT_LE(best[i].header.packedSize, likely[i].header.packedSize) << likely[i].name;
        likelyTotal += likely[i].header.packedSize;
        bestTotal += best[i].header.packedSize;
        if (likely[i].name == "help\\manual.txt" || likely[i].name == "data.bin") {
            const bool text = likely[i].name == "help\\manual.txt";
            EXPECT_EQ(likely[i].choice.literals,
                      text ? ImplodeLiterals::Ascii : ImplodeLiterals::Binary)
                << likely[i].name;
            EXPECT_EQ(likely[i].choice.dictionarySize, 4096u) << likely[i].name;
        }
    }
    EXPECT_LE(likelyTotal, bestTotal + bestTotal / 100);

    // An explicit mode or dictionary is kept.
    options.exhaustive = false;
    options.candidates = {{ImplodeLiterals::Binary, 1024}};
    ASSERT_TRUE(Write(dir.sub("fixed.qxz"), options, &error, nullptr, &likely)) << error;
    for (const PackedMember& m : likely) {
        EXPECT_EQ(m.choice.literals, ImplodeLiterals::Binary) << m.name;
        EXPECT_EQ(m.choice.dictionarySize, 1024u) << m.name;
    }
}

TEST_F(ArchiveWriter, RefusesWhatChangesOrOverflowsWhileItIsRead) {
    AddLargerFiles();
    // Sorted: Quorvath.exe, b.txt, data.bin, help\contents.htm, ...
    struct Case {
        const char* name;
        std::function<void(std::vector<PackSource>&, PackOptions&)> spoil;
        const char* message;
    };
    const Case cases[] = {
        {"grew since it was listed", [](auto& s, auto&) { s[2].size -= 1; },
         "data.bin: changed while it was packed"},
        {"shrank since it was listed", [](auto& s, auto&) { s[2].size += 1; },
         "data.bin: changed while it was packed"},
        {"gone", [](auto& s, auto&) { s[2].path += ".gone"; }, "data.bin.gone: cannot open"},
        {"the first failure in member order is the one reported",
         [](auto& s, auto&) {
             s[4].size += 1;
             s[1].path += ".gone";
         },
         "b.txt.gone: cannot open"},
        {"output past the size limit", [](auto&, auto& o) { o.sizeLimit = 100000; },
         "would reach 2 GiB"},
        {"names alone past the size limit", [](auto&, auto& o) { o.sizeLimit = 20; },
         "would reach 2 GiB"},
    };
    for (const Case& c : cases) {
        for (unsigned jobs : {1u, 4u}) {
            std::vector<PackSource> sources = Sources();
            PackOptions options;
            options.jobs = jobs;
            options.memoryBudget = 0;
            c.spoil(sources, options);
            std::string error;
            EXPECT_FALSE(WriteSources(dir.sub("out.qxz"), sources, options, &error)) << c.name;
            EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": " << error;
            EXPECT_TRUE(OutputsLeft().empty()) << c.name;
        }
    }
}

TEST(ArchiveReader, NamesEachDamagedMember) {
    ScratchDir dir;
    std::vector<TestMember> members{{"good.txt", "fine"},
                                    {"crc.txt", "bad crc"},
                                    {"size.txt", "bad size"},
                                    {"cut.txt", "cut short"}};
    members[1].crc = 0x12345678;
    members[2].unpackedSize = 3;
    Bytes cut = LiteralStream("cut short");
    cut.resize(cut.size() - 3);
    members[3].packed = cut;
    WriteBytes(dir.sub("damaged.qxz"), BuildArchive(members, "k"));

    const Checked wrongKey = CheckFile(dir.sub("damaged.qxz"), "", false);
    EXPECT_FALSE(wrongKey.where.marker);
    EXPECT_EQ(wrongKey.result.fault, ArchiveFault::BadChecksum);
    const Checked checked = CheckFile(dir.sub("damaged.qxz"), "k", true);
    ASSERT_EQ(checked.members.size(), 4u);
    // The first damaged member is the result; each member carries its own.
    EXPECT_EQ(checked.result.fault, ArchiveFault::WrongCrc);
    EXPECT_EQ(checked.result.member, 1u);
    EXPECT_TRUE(checked.members[0].problem.ok());
    EXPECT_EQ(checked.members[1].problem.fault, ArchiveFault::WrongCrc);
    EXPECT_EQ(checked.members[1].problem.stored, 0x12345678u);
    const ArchiveResult& size = checked.members[2].problem;
    EXPECT_EQ(size.fault, ArchiveFault::WrongSize);
    EXPECT_EQ(size.computed, 8u); // unpacks to 8 bytes, the record says 3
    EXPECT_EQ(size.stored, 3u);
    EXPECT_EQ(checked.members[3].problem.fault, ArchiveFault::BadStream);
    EXPECT_EQ(checked.members[3].problem.computed, uint32_t(ExplodeAbort));
}

TEST(ArchiveReader, RefusesRecordsPastTheEndAndBadNames) {
    ScratchDir dir;
    TestMember tooLong{"a.txt", "abc"};
    tooLong.packedSize = 1000;
    WriteBytes(dir.sub("long.qxz"), BuildArchive({{"first.txt", "1"}, tooLong}));
    WriteBytes(dir.sub("name.qxz"), BuildArchive({{"..\\escape.txt", "x"}}));
    const Checked longRecord = CheckFile(dir.sub("long.qxz"), "", false);
    EXPECT_EQ(longRecord.result.fault, ArchiveFault::RecordPastEnd);
    EXPECT_EQ(longRecord.result.member, 1u);
    EXPECT_EQ(longRecord.members.size(), 1u);
    const Checked badName = CheckFile(dir.sub("name.qxz"), "", false);
    EXPECT_EQ(badName.result.fault, ArchiveFault::BadName);
    EXPECT_EQ(badName.result.member, 0u);
    EXPECT_TRUE(badName.members.empty());
}

TEST(DosTime, LocalFieldsWithEvenSecondsAndClampedRange) {
    std::tm fields{};
    fields.tm_year = 2004 - 1900;
    fields.tm_mon = 5;
    fields.tm_mday = 15;
    fields.tm_hour = 10;
    fields.tm_min = 20;
    fields.tm_sec = 31;
    fields.tm_isdst = -1;
    const int64_t local = int64_t(std::mktime(&fields));
    EXPECT_EQ(DosDateTimeFromUnix(local), TestDosTime(2004, 6, 15, 10, 20, 30));
    EXPECT_EQ(DosDateTimeFromUnix(local + 1), TestDosTime(2004, 6, 15, 10, 20, 32));
    EXPECT_EQ(DosDateTimeFromUnix(0), kDosDateTimeEarliest);                   // 1970
    EXPECT_EQ(DosDateTimeFromUnix(-86400 * 400), kDosDateTimeEarliest);        // 1968
    EXPECT_EQ((DosDateTimeFromUnix(int64_t(4200000000)) >> 25) + 1980, 2103u); // in range
    EXPECT_EQ(DosDateTimeFromUnix(int64_t(7000000000)), kDosDateTimeLatest);   // 2191
    EXPECT_EQ(kDosDateTimeLatest, TestDosTime(2107, 12, 31, 23, 59, 58));
    EXPECT_EQ(kDosDateTimeEarliest, TestDosTime(1980, 1, 1, 0, 0, 0));
}

// UTC fields come from the calendar alone: leap days of 2000 (a leap year)
// and 2100 (none), the ends of the DOS range, and counts far outside it.
TEST(DosTime, UtcFieldsFromTheCalendar) {
    const struct {
        int64_t seconds;
        uint32_t dos;
    } cases[] = {
        {315532799, kDosDateTimeEarliest},
        {315532800, TestDosTime(1980, 1, 1, 0, 0, 0)},
        {951827697, TestDosTime(2000, 2, 29, 12, 34, 56)},
        {951868800, TestDosTime(2000, 3, 1, 0, 0, 0)},
        {4107542399, TestDosTime(2100, 2, 28, 23, 59, 58)},
        {4107542400, TestDosTime(2100, 3, 1, 0, 0, 0)},
        {4354819199, kDosDateTimeLatest},
        {4354819200, kDosDateTimeLatest},
        {INT64_MAX, kDosDateTimeLatest},
        {INT64_MIN, kDosDateTimeEarliest},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DosDateTimeFromUnix(c.seconds, DosTimeZone::Utc), c.dos) << c.seconds;
}
