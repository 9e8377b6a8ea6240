// The file layer: the sticky pending error, the open modes and the free
// operations, on the platform the program was built for.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "FileIo.h"
#include "Global.h"
#include "ScratchDir.h"
#include "ShortUtl.h"

#ifdef _WIN32
#include <windows.h>

#include "FileIoInternal.h"
#else
#include <unistd.h>
#endif

namespace {

void WriteText(const std::string& path, const std::string& text) {
    File file;
    file.open(path, FileOpen::CreateAlways);
    file.write(text.data(), uint32_t(text.size()));
    file.close();
    ASSERT_EQ(file.takeError(), 0u) << path;
}

std::string ReadText(const std::string& path) {
    File file;
    file.open(path, FileOpen::ReadShared);
    std::string text(1024, '\0');
    text.resize(file.read(text.data(), uint32_t(text.size())));
    return file.takeError() == 0 ? text : "<error>";
}

// Opens path in mode and writes to it; the first error.
SysError OpenAndWrite(const std::string& path, FileOpen mode) {
    File file;
    file.open(path, mode);
    file.write("bad", 3);
    return file.takeError();
}

} // namespace

TEST(FileIo, FailedOpenLeavesAPendingErrorThatBlocksEverythingUntilTaken) {
    ScratchDir dir;
    File file;
    file.open(dir.sub("missing.bin"), FileOpen::ReadShared);
    EXPECT_FALSE(file.isOpen());
    const SysError code = file.pendingError();
    EXPECT_NE(code, 0u);

    // While the code is pending nothing happens and the first code is kept.
    char buffer[4] = {};
    EXPECT_EQ(file.read(buffer, 4), 0u);
    file.write("abcd", 4);
    file.seek(10);
    EXPECT_EQ(file.position(), 0u);
    EXPECT_TRUE(file.atEnd());
    file.open(dir.sub("new.bin"), FileOpen::CreateAlways);
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(file.pendingError(), code);

    EXPECT_EQ(file.takeError(), code);
    EXPECT_EQ(file.takeError(), 0u);
    file.open(dir.sub("new.bin"), FileOpen::CreateAlways);
    EXPECT_TRUE(file.isOpen());
}

TEST(FileIo, ReadsDeliverNothingAtTheEndWithoutAnError) {
    ScratchDir dir;
    WriteText(dir.sub("f.txt"), "hello");
    File file;
    file.open(dir.sub("f.txt"), FileOpen::ReadShared);
    char buffer[16] = {};
    EXPECT_EQ(file.size(), 5u);
    EXPECT_FALSE(file.atEnd());
    EXPECT_EQ(file.read(buffer, sizeof buffer), 5u);
    EXPECT_EQ(std::string(buffer, 5), "hello");
    EXPECT_TRUE(file.atEnd());
    EXPECT_EQ(file.read(buffer, sizeof buffer), 0u);
    file.seek(1);
    EXPECT_EQ(file.position(), 1u);
    EXPECT_EQ(file.read(buffer, 3), 3u);
    EXPECT_EQ(std::string(buffer, 3), "ell");
    EXPECT_EQ(file.takeError(), 0u);
}

TEST(FileIo, UseOfAClosedFileRecordsAnError) {
    File file;
    file.write("x", 1);
    EXPECT_NE(file.takeError(), 0u);
    char c;
    EXPECT_EQ(file.read(&c, 1), 0u);
    EXPECT_NE(file.takeError(), 0u);
    EXPECT_TRUE(file.atEnd());
}

TEST(FileIo, CloseReleasesTheFileEvenWithAnErrorPending) {
    ScratchDir dir;
    WriteText(dir.sub("f.txt"), "data");
    File file;
    file.open(dir.sub("f.txt"), FileOpen::ReadShared);
    file.write("x", 1); // a file opened for reading refuses writes
    EXPECT_NE(file.pendingError(), 0u);
    file.close();
    EXPECT_FALSE(file.isOpen());
    // Windows refuses to delete a file that is still open.
    EXPECT_EQ(RemoveFile(dir.sub("f.txt")), 0u);
}

TEST(FileIo, CreateAlwaysTruncatesAndCreateNewRefusesAnExistingName) {
    ScratchDir dir;
    WriteText(dir.sub("f.txt"), "long old text");
    WriteText(dir.sub("f.txt"), "new");
    EXPECT_EQ(ReadText(dir.sub("f.txt")), "new");

    File file;
    file.open(dir.sub("f.txt"), FileOpen::CreateNew);
    EXPECT_FALSE(file.isOpen());
    EXPECT_NE(file.takeError(), 0u);
    EXPECT_EQ(ReadText(dir.sub("f.txt")), "new");

    file.open(dir.sub("g.txt"), FileOpen::CreateNew);
    EXPECT_TRUE(file.isOpen());
    file.write("g", 1);
    file.close();
    EXPECT_EQ(file.takeError(), 0u);
    EXPECT_EQ(ReadText(dir.sub("g.txt")), "g");
}

#ifndef _WIN32
TEST(FileIo, CreateNewNeverWritesThroughALink) {
    ScratchDir dir;
    WriteText(dir.sub("target.txt"), "keep");
    ASSERT_EQ(symlink(ScratchDir::Native(dir.sub("target.txt")).c_str(),
                      ScratchDir::Native(dir.sub("link.txt")).c_str()),
              0);
    File file;
    file.open(dir.sub("link.txt"), FileOpen::CreateNew);
    EXPECT_FALSE(file.isOpen());
    EXPECT_NE(file.takeError(), 0u);
    EXPECT_EQ(ReadText(dir.sub("target.txt")), "keep");
}
#endif

// A destination with links planted in it, pointing outside: "in" is the
// link-free root, "out" a folder outside it that nothing may change.
class LinkFreeDestination : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(MakeDirectory(dir.sub("out")), 0u);
        ASSERT_EQ(MakeDirectory(dir.sub("in")), 0u);
        ASSERT_EQ(MakeDirectory(dir.sub("in\\real")), 0u);
        WriteText(dir.sub("out\\x.txt"), "outside");
        ASSERT_EQ(ChangeFileAttributes(dir.sub("out\\x.txt"), kAttrReadOnly), 0u);
        if (!Link(dir.sub("out"), "in\\dirlink"))
            GTEST_SKIP() << "this system makes no symbolic links for this user";
        ASSERT_TRUE(Link(dir.sub("out"), "in\\real\\deeper"));
        ASSERT_TRUE(Link(dir.sub("out\\x.txt"), "in\\filelink.txt"));
        ASSERT_TRUE(Link(dir.sub("out\\missing.txt"), "in\\dangling.txt"));
    }

    bool Link(const std::string& target, const std::string& name) {
#ifdef _WIN32
        // A symbolic link is a reparse point; Windows offers them from Vista on.
        using CreateLink = BOOLEAN(WINAPI*)(LPCSTR, LPCSTR, DWORD);
        const auto create = reinterpret_cast<CreateLink>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateSymbolicLinkA")));
        const DWORD folder = IsExistingDirectory(target) ? 1 : 0; // SYMBOLIC_LINK_FLAG_DIRECTORY
        const std::string link = dir.sub(name);
        if (create == nullptr || !create(link.c_str(), target.c_str(), folder)) return false;
        // Wine 8 makes links that it then cannot look at.
        const DWORD mask = GetFileAttributesA(link.c_str());
        return mask != INVALID_FILE_ATTRIBUTES && (mask & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
#else
        return symlink(ScratchDir::Native(target).c_str(),
                       ScratchDir::Native(dir.sub(name)).c_str()) == 0;
#endif
    }

    // Nothing below "out" changed: the one file keeps its text and mode.
    void ExpectOutsideUnchanged(const std::string& what) {
        EXPECT_EQ(ReadText(dir.sub("out\\x.txt")), "outside") << what;
        uint32_t attributes = 0;
        EXPECT_EQ(QueryFileAttributes(dir.sub("out\\x.txt"), &attributes), 0u) << what;
        EXPECT_EQ(attributes & (kAttrReadOnly | kAttrDirectory), kAttrReadOnly) << what;
        size_t entries = 0;
        for (const auto& entry :
             std::filesystem::directory_iterator(ScratchDir::Native(dir.sub("out")))) {
            (void)entry;
            ++entries;
        }
        EXPECT_EQ(entries, 1u) << what;
    }

    ScratchDir dir;
};

TEST_F(LinkFreeDestination, EveryChangeThroughALinkBelowTheRootIsRefusedAndNamesTheLink) {
    struct Place {
        const char* path; // below "in"
        const char* link; // the link that is in the way
    };
    std::vector<Place> places = {
        {"dirlink\\x.txt", "dirlink"},           // a folder link on a member's folder
        {"dirlink\\new\\y.txt", "dirlink"},      // ... with more to create below it
        {"real\\deeper\\x.txt", "real\\deeper"}, // a folder link deeper down
        {"filelink.txt", "filelink.txt"},        // a file link on the name itself
        {"dangling.txt", "dangling.txt"},        // a link to nothing yet
    };
#ifndef _WIN32
    // A second name of a file outside: changing its mode would change that file.
    ASSERT_EQ(link(ScratchDir::Native(dir.sub("out\\x.txt")).c_str(),
                   ScratchDir::Native(dir.sub("in\\hardlink.txt")).c_str()),
              0);
    places.push_back({"hardlink.txt", "hardlink.txt"});
#endif
    struct Operation {
        const char* name;
        SysError (*run)(const std::string& path);
    };
    const Operation operations[] = {
        {"CreateAlways",
         [](const std::string& path) { return OpenAndWrite(path, FileOpen::CreateAlways); }},
        {"CreateNew",
         [](const std::string& path) { return OpenAndWrite(path, FileOpen::CreateNew); }},
        {"ReadWriteShared",
         [](const std::string& path) { return OpenAndWrite(path, FileOpen::ReadWriteShared); }},
        {"ChangeFileAttributes",
         [](const std::string& path) { return ChangeFileAttributes(path, 0); }},
        {"RemoveFile", [](const std::string& path) { return RemoveFile(path); }},
        {"MakeDirectory", [](const std::string& path) { return MakeDirectory(path); }},
    };
    const LinkFreeBelow linkFree(dir.sub("in"));
    for (const Place& place : places) {
        for (const Operation& operation : operations) {
            const std::string what = std::string(operation.name) + " " + place.path;
            SetLinkFreeRoot("");
            SetLinkFreeRoot(dir.sub("in"));
            EXPECT_EQ(operation.run(dir.sub("in\\") + place.path), kLinkInTheWay) << what;
            EXPECT_EQ(RefusedLink(), ScratchDir::Native(dir.sub("in\\") + place.link)) << what;
            ExpectOutsideUnchanged(what);
        }
    }
    // The links themselves stay where they were planted.
    EXPECT_TRUE(std::filesystem::is_symlink(ScratchDir::Native(dir.sub("in\\filelink.txt"))));
}

TEST_F(LinkFreeDestination, TheRootMayLieBelowALinkAndReadingFollowsLinks) {
    Link(dir.sub("in"), "alias");
    {
        const LinkFreeBelow linkFree(dir.sub("alias"));
        WriteText(dir.sub("alias\\real\\new.txt"), "made");
        EXPECT_EQ(ReadText(dir.sub("alias\\real\\new.txt")), "made");
        EXPECT_EQ(ReadText(dir.sub("alias\\filelink.txt")), "outside");
        EXPECT_EQ(ChangeFileAttributes(dir.sub("alias\\real\\new.txt"), kAttrReadOnly), 0u);
        EXPECT_EQ(RemoveFile(dir.sub("alias\\real\\new.txt")), 0u);
        EXPECT_TRUE(RefusedLink().empty());
    }
    EXPECT_TRUE(LinkFreeRoot().empty());
    ExpectOutsideUnchanged("through the root's own link");
}

TEST_F(LinkFreeDestination, PathsOutsideTheRootAndTimesWithoutARootFollowLinksAsBefore) {
    {
        // A sibling whose name starts like the root is not below it.
        const LinkFreeBelow linkFree(dir.sub("in\\real"));
        EXPECT_EQ(ChangeFileAttributes(dir.sub("in\\filelink.txt"), 0), 0u);
        EXPECT_EQ(ChangeFileAttributes(dir.sub("in\\filelink.txt"), kAttrReadOnly), 0u);
        const LinkFreeBelow nested(dir.sub("in\\re"));
        WriteText(dir.sub("in\\real\\deeper\\y.txt"), "allowed");
    }
    EXPECT_EQ(ReadText(dir.sub("out\\y.txt")), "allowed");
    EXPECT_EQ(RemoveFile(dir.sub("out\\y.txt")), 0u);
    ExpectOutsideUnchanged("outside the root");
}

TEST(FileIo, TheWatchSeesEachCreatedFileUntilItIsClosed) {
    static std::vector<std::string> seen;
    seen.clear();
    WatchCreatedFiles([](const char* path) { seen.push_back(path ? path : "<closed>"); });
    ScratchDir dir;
    {
        File created;
        created.open(dir.sub("a.txt"), FileOpen::CreateNew);
        File reader;
        reader.open(dir.sub("a.txt"), FileOpen::ReadShared);
        reader.close();
        created.close();
        created.open(dir.sub("b.txt"), FileOpen::CreateAlways);
    }
    WatchCreatedFiles(nullptr);
    File unwatched;
    unwatched.open(dir.sub("c.txt"), FileOpen::CreateAlways);
    const std::vector<std::string> expected = {SystemSpelling(dir.sub("a.txt")), "<closed>",
                                               SystemSpelling(dir.sub("b.txt")), "<closed>"};
    EXPECT_EQ(seen, expected);
}

TEST(FileIo, SharedModesLetAReaderAndAWriterOpenTheSameFile) {
    ScratchDir dir;
    WriteText(dir.sub("f.txt"), "abc");
    File writer;
    File reader;
    writer.open(dir.sub("f.txt"), FileOpen::ReadWriteShared);
    reader.open(dir.sub("f.txt"), FileOpen::ReadShared);
    EXPECT_TRUE(writer.isOpen());
    EXPECT_TRUE(reader.isOpen());
    writer.seek(1);
    writer.write("X", 1);
    char buffer[3];
    EXPECT_EQ(reader.read(buffer, 3), 3u);
    EXPECT_EQ(std::string(buffer, 3), "aXc");
    EXPECT_EQ(writer.takeError(), 0u);
    EXPECT_EQ(reader.takeError(), 0u);
}

TEST(FileIo, FreeOperationsAnswerTheSystemCode) {
    ScratchDir dir;
    uint32_t attributes = 0;
    EXPECT_NE(QueryFileAttributes(dir.sub("missing"), &attributes), 0u);
    EXPECT_NE(RemoveFile(dir.sub("missing")), 0u);
    EXPECT_NE(ChangeFileAttributes(dir.sub("missing"), 0), 0u);
    EXPECT_EQ(MakeDirectory(dir.sub("d")), 0u);
    EXPECT_NE(MakeDirectory(dir.sub("d")), 0u);
    EXPECT_NE(MakeDirectory(dir.sub("no\\parent")), 0u);
    ASSERT_EQ(QueryFileAttributes(dir.sub("d"), &attributes), 0u);
    EXPECT_NE(attributes & kAttrDirectory, 0u);
}

TEST(FileIo, ProgramAndCurrentDirectoryAreSpelledWithBackslashes) {
    const std::string program = OwnProgramPath();
    EXPECT_NE(NameOf(program).find("FileIoTest"), std::string::npos) << program;
    EXPECT_FALSE(PathOf(program).empty()) << program;
    const std::string current = CurrentDirectory();
    EXPECT_TRUE(IsExistingDirectory(current)) << current;
    EXPECT_EQ(current.find('/'), std::string::npos) << current;
}

#ifdef _WIN32
// Windows 95 has no GetFileAttributesExA; there the time comes from the
// directory entry, which must answer as the attribute query does: for a file,
// a folder and a file held open without sharing, and with the same error for
// a missing name and for a pattern.
TEST(FileIo, DosTimeFromTheDirectoryEntryAnswersAsTheAttributeQuery) {
    ScratchDir dir;
    const uint32_t stamp =
        (23u << 9 | 4u << 5 | 5u) << 16 | (6u << 11 | 7u << 5 | 4u); // 2003-04-05 06:07:08
    {
        File file;
        file.open(dir.sub("f"), FileOpen::CreateAlways);
        ASSERT_EQ(SetFileDosTime(file, stamp), 0u);
    }
    WriteText(dir.sub("held"), "held");
    ASSERT_EQ(MakeDirectory(dir.sub("d")), 0u);
    const HANDLE held = CreateFileA(dir.sub("held").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    for (const char* name : {"f", "d", "held", "missing", "no\\such", "*", "f?"}) {
        uint32_t viaAttributes = 1;
        uint32_t viaEntry = 2;
        const SysError attributesError = QueryFileDosTime(dir.sub(name), &viaAttributes);
        EXPECT_EQ(QueryFileDosTimeFromEntry(dir.sub(name), &viaEntry), attributesError) << name;
        if (attributesError == 0) {
            EXPECT_EQ(viaEntry, viaAttributes) << name;
        }
    }
    CloseHandle(held);
    uint32_t back = 0;
    ASSERT_EQ(QueryFileDosTimeFromEntry(dir.sub("f"), &back), 0u);
    EXPECT_EQ(back, stamp);
}
#endif

TEST(FileIo, DosTimesKeepEvenSecondsAndClampTo1980Through2107) {
    const uint32_t earliest = (1u << 5 | 1u) << 16;
    const uint32_t latest = (127u << 9 | 12u << 5 | 31u) << 16 | (23u << 11 | 59u << 5 | 29u);
    EXPECT_EQ(UnixTimeToDosDateTime(0), earliest);
    EXPECT_EQ(UnixTimeToDosDateTime(-5000000000LL), earliest);
    EXPECT_EQ(UnixTimeToDosDateTime(10000000000LL), latest); // year 2286
    // Every time zone is offset by whole minutes, so an even UTC second is an
    // even local second.
    const int64_t even = 1000000000; // 2001-09-09 01:46:40 UTC
    EXPECT_EQ(UnixTimeToDosDateTime(even + 1), UnixTimeToDosDateTime(even));
    EXPECT_EQ(UnixTimeToDosDateTime(even + 2), UnixTimeToDosDateTime(even) + 1);
}
