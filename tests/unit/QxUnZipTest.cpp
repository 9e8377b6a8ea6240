// The archive reader: checksum and record checks before anything is written,
// members with their sizes, CRCs, dates and attributes, the progress calls,
// and what is left on disk after each failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <utility>

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

#include "ArchiveBuilder.h"
#include "Global.h"
#include "Implode.h"
#include "QxUnZip.h"
#include "ScratchDir.h"
#include "ShortUtl.h"

namespace {

std::vector<std::pair<std::string, int32_t>> progressCalls;

void RecordProgress(const char* memberPath, int32_t percent) {
    progressCalls.emplace_back(memberPath, percent);
}

// Every path below root, relative, "/" between components, sorted.
std::vector<std::string> Listing(const std::string& root) {
    std::vector<std::string> paths;
    const std::filesystem::path base(ScratchDir::Native(root));
    for (const auto& entry : std::filesystem::recursive_directory_iterator(base))
        paths.push_back(entry.path().lexically_relative(base).generic_string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

class QxUnZip : public testing::Test {
protected:
    void SetUp() override {
        InitQxUnZip();
        progressCalls.clear();
        destination = dir.sub("dest");
        archive = dir.sub("archive.qxz");
        ASSERT_EQ(MakeDirectory(destination), 0u);
    }
    void TearDown() override { DoneQxUnZip(); }

    int32_t Unpack(const Bytes& bytes, const char* key = nullptr) {
        WriteBytes(archive, bytes);
        return UnpackArchive(archive.c_str(), destination.c_str(), key, RecordProgress);
    }
    bool ArchiveExists() const { return ReadContents(archive).has_value(); }
    std::string Member(const std::string& name) const { return destination + "\\" + name; }

    ScratchDir dir;
    std::string destination;
    std::string archive;
};

} // namespace

TEST_F(QxUnZip, NullNameOrDestinationTouchesNothing) {
    WriteBytes(archive, {0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(UnpackArchive(nullptr, destination.c_str(), nullptr, RecordProgress), -1);
    EXPECT_EQ(UnpackArchive(archive.c_str(), nullptr, nullptr, RecordProgress), -2);
    EXPECT_TRUE(ArchiveExists());
    EXPECT_TRUE(progressCalls.empty());
}

TEST_F(QxUnZip, MissingArchiveFailsToOpen) {
    EXPECT_EQ(UnpackArchive(archive.c_str(), destination.c_str(), nullptr, RecordProgress), -1);
    EXPECT_TRUE(progressCalls.empty());
}

TEST_F(QxUnZip, ArchivesShorterThanTheChecksumNeverMatch) {
    for (const Bytes& bytes : {Bytes{}, Bytes{0xFF}, Bytes{0xFF, 0xFF, 0xFF}}) {
        EXPECT_EQ(Unpack(bytes), -5) << bytes.size();
        EXPECT_FALSE(ArchiveExists());
    }
    EXPECT_TRUE(progressCalls.empty());
    EXPECT_TRUE(Listing(destination).empty());
}

TEST_F(QxUnZip, FourBytesOfOnesAreAnEmptyArchive) {
    EXPECT_EQ(Unpack({0xFF, 0xFF, 0xFF, 0xFF}), 0);
    EXPECT_EQ(progressCalls, (decltype(progressCalls){{"", 100}}));
    EXPECT_FALSE(ArchiveExists());
}

TEST_F(QxUnZip, MembersAreWrittenWithContentsDatesAndAttributes) {
    const uint32_t when = TestDosTime(1999, 12, 31, 23, 59, 58);
    std::string big;
    for (int i = 0; i < 9000; ++i) big += char('a' + i % 26);
    const std::vector<TestMember> members = {
        {"readme.txt", "hello"},
        {"a\\b\\c.txt", "nested", when, kAttrReadOnly},
        {"empty.dat", "", when, kAttrHidden, Bytes{1, 2, 3, 4}}, // any 4 packed bytes
        {"a\\big.bin", big},
    };
    for (const char* key : {(const char*)nullptr, "", "Zelquist key"}) {
        SCOPED_TRACE(key ? key : "null key");
        const std::string keyText = key ? key : "";
        EXPECT_EQ(Unpack(BuildArchive(members, keyText), key), 0);
        EXPECT_FALSE(ArchiveExists());
        for (const TestMember& m : members) {
            EXPECT_EQ(ReadContents(Member(m.name)), m.plain) << m.name;
            uint32_t stamp = 0, attributes = 0;
            ASSERT_EQ(QueryFileDosTime(Member(m.name), &stamp), 0u);
            EXPECT_EQ(stamp, m.dosDateTime) << m.name;
            ASSERT_EQ(QueryFileAttributes(Member(m.name), &attributes), 0u);
            EXPECT_EQ(attributes & kAttrReadOnly, m.attributes & kAttrReadOnly) << m.name;
        }
        EXPECT_TRUE(IsExistingDirectory(Member("a\\b")));
        // A read-only member from the previous round is replaced in this one.
    }
}

TEST_F(QxUnZip, ReadOnlyFileAtAMemberPathIsReplaced) {
    WriteBytes(Member("old.txt"), {'o', 'l', 'd', '!', '!', '!', '!'});
    ASSERT_EQ(ApplyAttributes(Member("old.txt"), kAttrReadOnly), 0u);
    EXPECT_EQ(Unpack(BuildArchive({{"old.txt", "new", TestDosTime(2010, 1, 2, 3, 4, 6)}})), 0);
    EXPECT_EQ(ReadContents(Member("old.txt")), "new");
    uint32_t attributes = 0;
    ASSERT_EQ(QueryFileAttributes(Member("old.txt"), &attributes), 0u);
    EXPECT_EQ(attributes & ~kAttrArchive, 0u);
}

TEST_F(QxUnZip, TrailingBackslashesOfTheDestinationAreRemoved) {
    WriteBytes(archive, BuildArchive({{"x\\y.txt", "y"}}));
    const std::string withBackslashes = destination + "\\\\\\";
    EXPECT_EQ(UnpackArchive(archive.c_str(), withBackslashes.c_str(), nullptr, RecordProgress), 0);
    ASSERT_FALSE(progressCalls.empty());
    EXPECT_EQ(progressCalls.front().first, destination + "\\x\\y.txt");
    EXPECT_EQ(progressCalls.back().first, destination + "\\x\\y.txt");
    EXPECT_EQ(ReadContents(Member("x\\y.txt")), "y");
}

#ifdef _WIN32
TEST_F(QxUnZip, DriveRootDestinationJoinsWithOneBackslash) {
    const std::string name = "qxunzip-root-" + std::to_string(GetCurrentProcessId()) + ".txt";
    WriteBytes(archive, BuildArchive({{name, "root"}}));
    EXPECT_EQ(UnpackArchive(archive.c_str(), "C:\\", nullptr, RecordProgress), 0);
    EXPECT_EQ(ReadContents("C:\\" + name), "root");
    ASSERT_FALSE(progressCalls.empty());
    EXPECT_EQ(progressCalls.front().first, "C:\\" + name);
    RemoveFile("C:\\" + name);
}
#endif

TEST_F(QxUnZip, ProgressReportsEachMemberAtItsPackedDataAndEndsWith100) {
    std::string big(5000, 'q');
    const std::vector<TestMember> members = {{"one", "1"}, {"two", big}};
    const Bytes bytes = BuildArchive(members);
    EXPECT_EQ(Unpack(bytes), 0);
    const uint32_t length = uint32_t(bytes.size());
    const uint32_t firstData = 2 + 3 + 20;
    const uint32_t secondData = firstData + uint32_t(LiteralStream("1").size()) + 2 + 3 + 20;
    const auto percent = [&](uint32_t p) { return int32_t((200 * p + length) / (2 * length)); };
    const std::string one = Member("one"), two = Member("two");
    // One call at the start of each member, one per write of Explode (4096
    // bytes and the final rest), and the final 100.
    const decltype(progressCalls) expected = {
        {one, percent(firstData)},  {one, percent(firstData)},  {two, percent(secondData)},
        {two, percent(secondData)}, {two, percent(secondData)}, {two, 100}};
    EXPECT_EQ(progressCalls, expected);
}

TEST_F(QxUnZip, PercentagesRoundHalfToEven) {
    // Archives of 200 bytes whose only member's data starts at 23 or 25:
    // 11.5 becomes 12 and 12.5 becomes 12.
    for (const auto& [name, expected] : {std::pair<std::string, int32_t>{"n", 12}, {"nnn", 12}}) {
        const uint32_t dataStart = uint32_t(2 + name.size() + 20);
        std::string plain(148, 'p');
        Bytes packed = LiteralStream(plain);   // 171 bytes
        packed.resize(200 - 4 - dataStart, 0); // trailing bytes after the end marker are consumed
        TestMember m{name, plain};
        m.packed = packed;
        const Bytes bytes = BuildArchive({m});
        ASSERT_EQ(bytes.size(), 200u);
        progressCalls.clear();
        EXPECT_EQ(Unpack(bytes), 0);
        ASSERT_FALSE(progressCalls.empty());
        EXPECT_EQ(progressCalls.front().second, expected) << name;
    }
}

TEST_F(QxUnZip, BadCrcInTheThirdMemberKeepsTheFirstTwoAndDeletesTheThird) {
    TestMember third{"three.txt", "third"};
    third.crc = TestCrc("third") ^ 1;
    EXPECT_EQ(Unpack(BuildArchive(
                  {{"one.txt", "first"}, {"two.txt", "second"}, third, {"four.txt", "fourth"}})),
              -6);
    EXPECT_EQ(Listing(destination), (std::vector<std::string>{"one.txt", "two.txt"}));
    EXPECT_EQ(ReadContents(Member("two.txt")), "second");
    EXPECT_FALSE(ArchiveExists());
}

TEST_F(QxUnZip, DamagedMembersFailAndAreDeleted) {
    std::vector<TestMember> cases;
    {
        TestMember m{"short.txt", "abcdefgh"}; // decodes to more than it claims
        m.unpackedSize = 3;
        cases.push_back(m);
    }
    {
        TestMember m{"long.txt", "abc"};
        m.unpackedSize = 4;
        cases.push_back(m);
    }
    {
        TestMember m{"cut.txt", "abcdefgh"}; // stream ends before its end marker
        Bytes packed = LiteralStream("abcdefgh");
        packed.resize(packed.size() - 3);
        m.packed = packed;
        cases.push_back(m);
    }
    {
        TestMember m{"mode.txt", "abc"}; // bad dictionary size
        Bytes packed = LiteralStream("abc");
        packed[1] = 7;
        m.packed = packed;
        cases.push_back(m);
    }
    {
        TestMember m{"unused.txt", "abc"}; // packed bytes left over after 2048 are not consumed
        Bytes packed = LiteralStream("abc");
        packed.resize(3000, 0);
        m.packed = packed;
        cases.push_back(m);
    }
    {
        TestMember m{"empty.txt", ""}; // an empty member whose stream is not 4 bytes
        m.packed = Bytes{1, 2, 3};
        cases.push_back(m);
    }
    for (const TestMember& m : cases) {
        EXPECT_EQ(Unpack(BuildArchive({{"ok.txt", "ok"}, m})), -6) << m.name;
        EXPECT_EQ(Listing(destination), (std::vector<std::string>{"ok.txt"})) << m.name;
        EXPECT_FALSE(ArchiveExists());
    }
}

TEST_F(QxUnZip, WrongChecksumOrKeyWritesNothing) {
    const std::vector<TestMember> members = {{"a.txt", "a"}};
    EXPECT_EQ(Unpack(ArchiveOfBody(PlainBody(members), "", 0x12345678)), -5);
    EXPECT_EQ(Unpack(BuildArchive(members, "right"), "wrong"), -5);
    EXPECT_EQ(Unpack(BuildArchive(members, "right")), -5);
    EXPECT_TRUE(Listing(destination).empty());
    EXPECT_FALSE(ArchiveExists());
    EXPECT_TRUE(progressCalls.empty());
}

TEST_F(QxUnZip, RecordsRunningPastTheBodyWriteNothing) {
    const Bytes good = PlainBody({{"ok.txt", "ok"}});
    std::vector<Bytes> bodies;
    bodies.push_back(good);
    bodies.back().push_back(7); // half a name length
    {
        Bytes body = good;
        TestMember m{"x", "x"};
        m.nameLength = 200;
        AppendMember(body, m);
        bodies.push_back(body);
    }
    {
        Bytes body = good;
        TestMember m{"x", "x"};
        m.packedSize = 1000;
        AppendMember(body, m);
        bodies.push_back(body);
    }
    {
        Bytes body = good;
        AppendMember(body, {"cut", "x"});
        body.resize(good.size() + 2 + 3 + 10); // inside the header
        bodies.push_back(body);
    }
    for (const Bytes& body : bodies) {
        EXPECT_EQ(Unpack(ArchiveOfBody(body)), -6) << body.size();
        EXPECT_TRUE(Listing(destination).empty());
        EXPECT_FALSE(ArchiveExists());
    }
}

TEST_F(QxUnZip, UnacceptableNamesWriteNothingBelowOrBesideTheDestination) {
    const std::string names[] = {"",
                                 "\\root.txt",
                                 "a/b.txt",
                                 "C:x.txt",
                                 "a:b",
                                 std::string("a\x01.txt"),
                                 "a\\\\b",
                                 "a\\",
                                 ".",
                                 "..",
                                 "..\\up.txt",
                                 "a\\..\\..\\up.txt",
                                 ". .",
                                 "x\\ .",
                                 "CON",
                                 "con.txt",
                                 "Con .txt",
                                 "a\\NUL",
                                 "aux",
                                 "prn.log",
                                 "COM1",
                                 "com0.x",
                                 "LPT9.log",
                                 std::string("COM\xB9"),
                                 std::string("lpt\xB2.txt"),
                                 std::string("LPT\xB3"),
                                 "CONIN$",
                                 "conout$.x",
                                 "CLOCK$",
                                 "dir.\\x",
                                 "name ",
                                 "name.",
                                 "tempfile.$$$",
                                 "TEMPFILE.$$$"};
    for (const std::string& name : names) {
        EXPECT_FALSE(IsAcceptableMemberName(name)) << name;
        EXPECT_EQ(Unpack(BuildArchive({{"first.txt", "1"}, {name, "bad"}})), -6) << name;
        EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"dest"})) << name;
    }
    for (const char* name : {"a.txt", "sub\\tempfile.$$$", "COM10", "CONSOLE", "LPT", ".profile",
                             "a b", "x..y", "COMA.txt", "nul1", "..a"})
        EXPECT_TRUE(IsAcceptableMemberName(name)) << name;
}

TEST_F(QxUnZip, MemberThatCannotBeCreatedFailsWithMinus2) {
    ASSERT_EQ(MakeDirectory(Member("taken")), 0u);
    WriteBytes(Member("taken\\inside"), {'x'});
    EXPECT_EQ(Unpack(BuildArchive({{"taken", "file"}})), -2);
    EXPECT_EQ(ReadContents(Member("taken\\inside")), "x");
    EXPECT_FALSE(ArchiveExists());
}

// Output is collected into large writes: members on either side of those
// writes' size come out whole, with one progress call per 4096-byte block.
TEST_F(QxUnZip, LargeMembersAreWholeAndReportEveryBlock) {
    for (const size_t size : {size_t(65535), size_t(65536), size_t(65537), size_t(200001)}) {
        std::string plain(size, '\0');
        for (size_t i = 0; i < size; ++i) plain[i] = char(i * 7 + i / 4093);
        progressCalls.clear();
        ASSERT_EQ(Unpack(BuildArchive({{"big.bin", plain}, {"after.txt", "tail"}})), 0) << size;
        EXPECT_EQ(ReadContents(Member("big.bin")), plain) << size;
        EXPECT_EQ(ReadContents(Member("after.txt")), "tail") << size;
        const auto calls =
            std::count_if(progressCalls.begin(), progressCalls.end(),
                          [&](const auto& c) { return c.first == Member("big.bin"); });
        EXPECT_GE(calls, ptrdiff_t(1 + (size + 4095) / 4096)) << size; // the start and each block
        EXPECT_LE(calls, ptrdiff_t(2 + size / 4096)) << size; // and an empty final block at most
    }
}

#ifndef _WIN32
// A write that fails once the member's output is past its first large write:
// -3, the member deleted, the one before it kept, the archive gone.
TEST_F(QxUnZip, WriteFailureInsideALargeMemberFailsWithMinus3AndDeletesIt) {
    // Packed small, so the archive stays below the limit that the member
    // runs into.
    std::string plain(300000, 'w');
    TestMember big{"big.bin", plain};
    big.packed = Implode(reinterpret_cast<const uint8_t*>(plain.data()), plain.size(), {});
    const Bytes bytes = BuildArchive({{"first.txt", "kept"}, big});
    ASSERT_LT(bytes.size(), 100000u);
    WriteBytes(archive, bytes);
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = 100000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const int32_t result = UnpackArchive(archive.c_str(), destination.c_str(), nullptr, nullptr);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(result, -3);
    EXPECT_EQ(Listing(destination), (std::vector<std::string>{"first.txt"}));
    EXPECT_FALSE(ArchiveExists());
}
#endif

TEST(QxUnZipNames, CompleteArchiveNameAddsDirectoryAndExtensionOnlyWhenMissing) {
    EXPECT_EQ(CompleteArchiveName("C:\\dir\\arc", ".qxz"), "C:\\dir\\arc.qxz");
    EXPECT_EQ(CompleteArchiveName("C:\\dir\\arc.bin", ".qxz"), "C:\\dir\\arc.bin");
    EXPECT_EQ(CompleteArchiveName("C:\\dir.d\\arc", ".qxz"), "C:\\dir.d\\arc.qxz");
    EXPECT_EQ(CompleteArchiveName("C:\\d\\tempfile.$$$", ".qxz"), "C:\\d\\tempfile.$$$");
    EXPECT_EQ(CompleteArchiveName("C:arc", ".qxz"), "C:arc.qxz");
    std::string current = CurrentDirectory();
    if (!current.empty() && current.back() != '\\') current += '\\';
    EXPECT_EQ(CompleteArchiveName("arc", ".qxz"), current + "arc.qxz");
    EXPECT_EQ(CompleteArchiveName("arc.", ".qxz"), current + "arc.");
}

TEST_F(QxUnZip, RelativeArchiveNameIsFoundInTheCurrentDirectory) {
    WriteBytes(archive, BuildArchive({{"r.txt", "relative"}}));
    const std::filesystem::path saved = std::filesystem::current_path();
    std::filesystem::current_path(ScratchDir::Native(dir.path()));
    const int32_t result = UnpackArchive("archive", destination.c_str(), nullptr, nullptr);
    std::filesystem::current_path(saved);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadContents(Member("r.txt")), "relative");
    EXPECT_FALSE(ArchiveExists());
}
