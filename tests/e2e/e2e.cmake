# The real QuorvathSetup.exe under Wine, one ctest test per case, each in a
# throwaway copy of the prefix (cases write the registry and the system
# directory, schedule renames or ask for a restart).
if(NOT QX_HOST_QXPACK)
  message(STATUS "e2e: no QX_HOST_QXPACK, so no QuorvathSetup.exe and no end-to-end suite")
  return()
endif()

add_executable(setup_e2e ${CMAKE_CURRENT_SOURCE_DIR}/SetupE2eTest.cpp)
target_link_libraries(setup_e2e PRIVATE qx_test_main shell32 ole32 uuid advapi32 psapi)
target_include_directories(setup_e2e PRIVATE ${CMAKE_SOURCE_DIR}/tests/win32
                                             ${CMAKE_SOURCE_DIR}/src/win32)
target_compile_definitions(setup_e2e PRIVATE QX_SETUP_EXE="${CMAKE_BINARY_DIR}/QuorvathSetup.exe"
                                             QX_SAMPLE_PAYLOAD_DIR="${CMAKE_BINARY_DIR}/payload")
add_dependencies(setup_e2e quorvath_setup)

set(qx_e2e_screenshots ${CMAKE_BINARY_DIR}/screenshots)
file(MAKE_DIRECTORY ${qx_e2e_screenshots})
foreach(case Case1DefaultsInstallEverything Case3CancelAskedTwiceThenClosesWithoutTrace
             Case4CorruptedInstallerShowsOnlyTheCorruptionMessage
             Case2BrowseToANewDirectoryWithBlanks Case7MissingDriveAsksAboutSpaceThenCannotCreate
             Case6ReinstallReplacesReadOnlyFiles Case5FileInUseIsReplacedAtRestartAnsweredNo
             Case5FileInUseAnsweredYesShowsNoFurtherMessage Case8UnsetupRemovesTheInstallation)
  set(test ${QX_TEST_PREFIX}e2e.${case})
  add_test(NAME ${test} COMMAND setup_e2e --gtest_filter=SetupE2e.${case})
  set_tests_properties(${test} PROPERTIES
      TIMEOUT 300 RESOURCE_LOCK qx_wine LABELS ${QX_WINE_LABEL}
      FIXTURES_REQUIRED qx_wineprefix_${QX_WINE_LABEL}
      ENVIRONMENT "QX_FRESH_PREFIX=1;QX_SCREENSHOT_DIR=${qx_e2e_screenshots}")
endforeach()

# The demo's user who accepts the defaults (scripts/demo), not a test.
add_executable(demo_user ${CMAKE_CURRENT_SOURCE_DIR}/DemoUser.cpp)
# gtest only for the shared helpers' headers.
target_link_libraries(demo_user PRIVATE gtest shell32 ole32 uuid advapi32 psapi)
target_include_directories(demo_user PRIVATE ${CMAKE_SOURCE_DIR}/tests/win32
                                             ${CMAKE_SOURCE_DIR}/src/win32)
target_compile_definitions(demo_user PRIVATE QX_SETUP_EXE="${CMAKE_BINARY_DIR}/QuorvathSetup.exe"
                                             QX_SAMPLE_PAYLOAD_DIR="${CMAKE_BINARY_DIR}/payload")
add_dependencies(demo_user quorvath_setup)
