// Main of every test program. Under Wine a crash or a missing disk must fail
// the test, never open a dialog that waits for a click.
#include <gtest/gtest.h>

#include "TestSupport.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {
std::string programPath;
}

const std::string& TestProgramPath() { return programPath; }

int main(int argc, char** argv) {
#ifdef _WIN32
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
#endif
    if (argc > 0) programPath = argv[0];
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
