// Small helpers shared by the test programs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

// argv[0] of the running test program.
const std::string& TestProgramPath();

// A path below tests/data as the running platform spells it (under Wine the
// Unix root is drive Z:).
inline std::string FixturePath(const std::string& relative) {
    std::string path = std::string(QX_FIXTURE_DIR) + "/" + relative;
#ifdef _WIN32
    for (char& c : path)
        if (c == '/') c = '\\';
    path = "Z:" + path;
#endif
    return path;
}

// Same for a path below the source tree.
inline std::string SourcePath(const std::string& relative) {
    std::string path = std::string(QX_SOURCE_DIR) + "/" + relative;
#ifdef _WIN32
    for (char& c : path)
        if (c == '/') c = '\\';
    path = "Z:" + path;
#endif
    return path;
}

// The bytes of a fixture below tests/data. A missing or unreadable file
// throws, so the test that asked for it fails with the file's name instead of
// running on empty data.
inline std::vector<uint8_t> ReadFixture(const std::string& relative) {
    const std::string path = FixturePath(relative);
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) throw std::runtime_error("missing test fixture " + path);
    std::vector<uint8_t> bytes;
    uint8_t block[65536];
    size_t n = 0;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0)
        bytes.insert(bytes.end(), block, block + n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) throw std::runtime_error("cannot read test fixture " + path);
    return bytes;
}

// The rows of a fixture manifest (tab-separated, first line the column
// names), each split into its fields. A missing or empty manifest throws.
inline std::vector<std::vector<std::string>> ReadFixtureManifest(const std::string& relative) {
    const std::vector<uint8_t> bytes = ReadFixture(relative);
    std::istringstream text(std::string(bytes.begin(), bytes.end()));
    std::vector<std::vector<std::string>> rows;
    std::string line;
    std::getline(text, line); // column names
    while (std::getline(text, line)) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        std::string cell;
        while (std::getline(cells, cell, '\t')) fields.push_back(cell);
        if (!fields.empty()) rows.push_back(fields);
    }
    if (rows.empty())
        throw std::runtime_error("test fixture " + FixturePath(relative) + " lists nothing");
    return rows;
}
