# Cross-compiles a 64-bit Windows build with MinGW-w64 (x86_64, POSIX threads).
# It is the test build for hosts that cannot run 32-bit code: the same
# sources and suites as the 32-bit build, under 64-bit Wine. What ships is
# always the 32-bit build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No MinGW runtime DLL next to any program: everything links statically.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine (wrapper: prefix, display, WINEDEBUG).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
