// Small helpers shared by the test programs.
#pragma once

#include <string>

// argv[0] of the running test program.
const std::string& TestProgramPath();

// A path below ../shared/fixtures as the running platform spells it
// (under Wine the Unix root is drive Z:).
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
