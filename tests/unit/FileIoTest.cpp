// The file layer: the sticky pending error, the open modes and the free
// operations, on the platform the program was built for.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "FileIo.h"
#include "Global.h"
#include "ScratchDir.h"
#include "ShortUtl.h"

#ifndef _WIN32
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
