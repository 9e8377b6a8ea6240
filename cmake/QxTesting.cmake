# Test registration shared by the native and the Win32 build.
#
# qx_add_gtest(NAME SOURCES... [LIBS libs...] [WINE_FRESH_PREFIX] [TIMEOUT s])
# builds one GoogleTest program and registers it as one ctest test named
# ${QX_TEST_PREFIX}NAME. In the Win32 build it runs under Wine (through
# CMAKE_CROSSCOMPILING_EMULATOR); Wine tests share one registry and system
# directory, so they are serialised with a resource lock and need the prefix
# fixture. WINE_FRESH_PREFIX runs it in a throwaway copy of the prefix.
# Every test that runs under Wine gets the label QX_WINE_LABEL (wine32 or
# wine64).

enable_testing()

# Fixture data made by independent tools; it lives in the repository, so a
# plain clone tests without anything beside it.
set(QX_FIXTURE_DIR "${CMAKE_SOURCE_DIR}/tests/data")

if(WIN32)
  # GoogleTest cross-built from Debian's sources.
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  set(QX_GTEST_LIBS gtest gmock)

  add_test(NAME ${QX_TEST_PREFIX}wine_prefix
           COMMAND ${QX_WINE_RUN} ${CMAKE_BINARY_DIR}/wineprefix --init-only)
  set_tests_properties(${QX_TEST_PREFIX}wine_prefix PROPERTIES
                       FIXTURES_SETUP qx_wineprefix_${QX_WINE_LABEL} TIMEOUT 300 LABELS ${QX_WINE_LABEL})
elseif(NOT QX_FUZZ)
  find_package(GTest REQUIRED)
  set(QX_GTEST_LIBS GTest::gtest GTest::gmock)
endif()

# Every test program links this: a main that keeps failures from opening
# dialogs under Wine and hands argv to tests that need their own path.
if(QX_FUZZ)
  return()
endif()
add_library(qx_test_main STATIC ${CMAKE_SOURCE_DIR}/tests/TestMain.cpp)
target_link_libraries(qx_test_main PUBLIC ${QX_GTEST_LIBS})
target_include_directories(qx_test_main PUBLIC ${CMAKE_SOURCE_DIR}/tests)
target_compile_definitions(qx_test_main PUBLIC
    QX_SOURCE_DIR="${CMAKE_SOURCE_DIR}" QX_FIXTURE_DIR="${QX_FIXTURE_DIR}")

function(qx_add_gtest name)
  cmake_parse_arguments(ARG "WINE_FRESH_PREFIX" "TIMEOUT" "LIBS" ${ARGN})
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE qx_test_main ${ARG_LIBS})
  set(test ${QX_TEST_PREFIX}${name})
  add_test(NAME ${test} COMMAND ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${test} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
  if(WIN32)
    set_tests_properties(${test} PROPERTIES RESOURCE_LOCK qx_wine LABELS ${QX_WINE_LABEL}
                                            FIXTURES_REQUIRED qx_wineprefix_${QX_WINE_LABEL})
    if(ARG_WINE_FRESH_PREFIX)
      set_tests_properties(${test} PROPERTIES ENVIRONMENT QX_FRESH_PREFIX=1)
    endif()
  endif()
endfunction()

