# Cross-compiles a 64-bit Windows build with MinGW-w64 (x86_64). It is the
# test build for hosts that cannot run 32-bit code: the same sources and
# suites as the 32-bit build, under 64-bit Wine. What ships is always the
# 32-bit build.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
