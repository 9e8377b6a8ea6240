// Host-side inputs: regular files only, read up to a limit that holds even
// for a file that grows while it is read; and the output file's one
// temporary name.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "InputFile.h"
#include "OutputFile.h"
#include "ScratchDir.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

void Append(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::app) << text;
}

} // namespace

TEST(InputFile, AFileThatGrowsWhileReadStopsAtTheLimit) {
    ScratchDir dir;
    const std::string path = ScratchDir::Native(dir.sub("grows.bin"));
    Append(path, std::string(10, 'a'));
    InputFile in;
    std::string error;
    ASSERT_TRUE(in.open(path, 16, "too large for the test", &error)) << error;
    Append(path, std::string(10, 'b')); // 20 bytes now, past the limit of 16
    char buffer[8];
    size_t got = 0;
    bool ok = true;
    while (ok && (ok = in.read(buffer, sizeof buffer, &got, &error)) && got > 0) {
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, path + ": too large for the test");
    EXPECT_LE(in.consumed(), 16u + sizeof buffer);
}

TEST(InputFile, AFileAlreadyOverTheLimitIsRefusedAtOpenAndOneAtItIsRead) {
    ScratchDir dir;
    const std::string path = ScratchDir::Native(dir.sub("f.bin"));
    Append(path, std::string(16, 'a'));
    InputFile in;
    std::string error;
    EXPECT_FALSE(in.open(path, 15, "over", &error));
    EXPECT_EQ(error, path + ": over");
    ASSERT_TRUE(in.open(path, 16, "over", &error)) << error;
    std::vector<uint8_t> data;
    EXPECT_TRUE(ReadWholeFile(path, &data, &error)) << error;
    EXPECT_EQ(data.size(), 16u);
}

TEST(InputFile, WhatIsNotARegularFileIsRefusedSayingWhatItIs) {
    ScratchDir dir;
    struct Case {
        std::string path;
        const char* kind;
    };
    std::vector<Case> cases = {{ScratchDir::Native(dir.path()), "a folder"}};
#ifndef _WIN32
    const std::string fifo = ScratchDir::Native(dir.sub("fifo"));
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    cases.push_back({fifo, "a FIFO"}); // opening it for reading would wait for a writer
    cases.push_back({"/dev/zero", "a device"});
#endif
    for (const Case& c : cases) {
        InputFile in;
        std::string error;
        EXPECT_FALSE(in.open(c.path, UINT64_MAX, "too large", &error)) << c.path;
        EXPECT_EQ(error, c.path + ": " + c.kind + ", not a regular file");
        std::vector<uint8_t> data;
        EXPECT_FALSE(ReadWholeFile(c.path, &data, &error)) << c.path;
        EXPECT_EQ(error, c.path + ": " + c.kind + ", not a regular file");
    }
    InputFile in;
    std::string error;
    const std::string missing = ScratchDir::Native(dir.sub("missing"));
    EXPECT_FALSE(in.open(missing, 1, "too large", &error));
    EXPECT_EQ(error.rfind(missing + ": cannot open: ", 0), 0u) << error;
}

TEST(OutputFile, AStaleTemporaryFileIsReplacedNotAddedTo) {
    ScratchDir dir;
    const std::string target = ScratchDir::Native(dir.sub("out.bin"));
    Append(target + ".part", "left by a killed run");
    OutputFile out;
    std::string error;
    ASSERT_TRUE(out.create(target, &error)) << error;
    ASSERT_TRUE(out.write("new", 3, &error)) << error;
    ASSERT_TRUE(out.commit(&error)) << error;
    size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(ScratchDir::Native(dir.path()))) {
        EXPECT_EQ(entry.path().filename(), "out.bin");
        ++entries;
    }
    EXPECT_EQ(entries, 1u);
    EXPECT_EQ(std::filesystem::file_size(target), 3u);
}
