# Cross-compiles a 32-bit Windows build with MinGW-w64 (i686): what ships.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
