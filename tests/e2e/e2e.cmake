# The real QuorvathSetup.exe under Wine, one ctest test per case, each in a
# throwaway copy of the prefix (cases write the registry and the system
# directory, schedule renames or ask for a restart).
if(NOT QX_HOST_QXPACK)
  message(STATUS "e2e: no QX_HOST_QXPACK, so no QuorvathSetup.exe and no end-to-end suite")
  return()
endif()

# The same installer signed (osslsigncode, a certificate made for the build
# and thrown away), and signed with one archive byte changed afterwards.
set(signed_setup_exe ${CMAKE_BINARY_DIR}/QuorvathSetup-signed.exe)
set(tampered_setup_exe ${CMAKE_BINARY_DIR}/QuorvathSetup-signed-tampered.exe)
add_custom_command(
  OUTPUT ${signed_setup_exe} ${tampered_setup_exe}
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/sign-installer.sh ${CMAKE_BINARY_DIR}/QuorvathSetup.exe
          ${signed_setup_exe} ${tampered_setup_exe}
  DEPENDS quorvath_setup ${CMAKE_BINARY_DIR}/QuorvathSetup.exe
          ${CMAKE_CURRENT_SOURCE_DIR}/sign-installer.sh
  COMMENT "Signing QuorvathSetup.exe for the end-to-end suite"
  VERBATIM)
add_custom_target(signed_setup DEPENDS ${signed_setup_exe} ${tampered_setup_exe})

add_executable(setup_e2e ${CMAKE_CURRENT_SOURCE_DIR}/SetupE2eTest.cpp)
target_link_libraries(setup_e2e PRIVATE qx_test_main shell32 ole32 uuid advapi32 psapi)
target_include_directories(setup_e2e PRIVATE ${CMAKE_SOURCE_DIR}/tests/win32
                                             ${CMAKE_SOURCE_DIR}/src/win32)
target_compile_definitions(setup_e2e PRIVATE QX_SETUP_EXE="${CMAKE_BINARY_DIR}/QuorvathSetup.exe"
                                             QX_SIGNED_SETUP_EXE="${signed_setup_exe}"
                                             QX_TAMPERED_SETUP_EXE="${tampered_setup_exe}"
                                             QX_SAMPLE_PAYLOAD_DIR="${CMAKE_BINARY_DIR}/payload")
add_dependencies(setup_e2e quorvath_setup signed_setup)

set(qx_e2e_screenshots ${CMAKE_BINARY_DIR}/screenshots)
file(MAKE_DIRECTORY ${qx_e2e_screenshots})
foreach(case Case1DefaultsInstallEverything Case3CancelAskedTwiceThenClosesWithoutTrace
             Case4CorruptedInstallerShowsOnlyTheCorruptionMessage
             Case2BrowseToANewDirectoryWithBlanks Case7MissingDriveAsksAboutSpaceThenCannotCreate
             Case6ReinstallReplacesReadOnlyFiles Case5FileInUseIsReplacedAtRestartAnsweredNo
             Case5FileInUseAnsweredYesShowsNoFurtherMessage Case8UnsetupRemovesTheInstallation
             SignedInstallerDeliversEveryFile SignedInstallerWithAChangedByteIsCorrupted)
  set(test ${QX_TEST_PREFIX}e2e.${case})
  add_test(NAME ${test} COMMAND setup_e2e --gtest_filter=SetupE2e.${case})
  set_tests_properties(${test} PROPERTIES
      TIMEOUT 300 RESOURCE_LOCK qx_wine LABELS ${QX_WINE_LABEL}
      FIXTURES_REQUIRED qx_wineprefix_${QX_WINE_LABEL}
      ENVIRONMENT "QX_FRESH_PREFIX=1;QX_SCREENSHOT_DIR=${qx_e2e_screenshots}")
endforeach()

# The defaults and a file in use (restart declined) under each Windows version
# that Wine can report, each family's branch checked: WinInit.ini and the
# user's own Programs menu on win95 and win98, the pending-rename list and the
# all-users menu on NT. cmake/wine-run makes one prefix per version, once.
foreach(version win95 win98 nt40 win2k win10)
  foreach(case Case1DefaultsInstallEverything Case5FileInUseIsReplacedAtRestartAnsweredNo)
    set(test ${QX_TEST_PREFIX}e2e.${version}.${case})
    add_test(NAME ${test} COMMAND setup_e2e --gtest_filter=SetupE2e.${case})
    set_tests_properties(${test} PROPERTIES
        TIMEOUT 300 RESOURCE_LOCK qx_wine FIXTURES_REQUIRED qx_wineprefix_${QX_WINE_LABEL} LABELS ${QX_WINE_LABEL}
        ENVIRONMENT "QX_FRESH_PREFIX=1;QX_WINDOWS_VERSION=${version}")
  endforeach()
endforeach()

# A run of the installer leaves the host user's home as it was: Wine's menu
# builder is off in the prefix, so the shortcuts make no desktop entries.
set(test ${QX_TEST_PREFIX}e2e.HomeLeftAsFound)
add_test(NAME ${test}
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/home-left-as-found ${QX_WINE_RUN}
                 ${CMAKE_BINARY_DIR}/wineprefix $<TARGET_FILE:setup_e2e>
                 --gtest_filter=SetupE2e.Case1DefaultsInstallEverything)
set_tests_properties(${test} PROPERTIES
    TIMEOUT 300 RESOURCE_LOCK qx_wine FIXTURES_REQUIRED qx_wineprefix_${QX_WINE_LABEL} LABELS ${QX_WINE_LABEL}
    ENVIRONMENT "QX_FRESH_PREFIX=1")

# The demo's user who accepts the defaults (scripts/demo), not a test.
add_executable(demo_user ${CMAKE_CURRENT_SOURCE_DIR}/DemoUser.cpp)
# gtest only for the shared helpers' headers.
target_link_libraries(demo_user PRIVATE gtest shell32 ole32 uuid advapi32 psapi)
target_include_directories(demo_user PRIVATE ${CMAKE_SOURCE_DIR}/tests/win32
                                             ${CMAKE_SOURCE_DIR}/src/win32)
target_compile_definitions(demo_user PRIVATE QX_SETUP_EXE="${CMAKE_BINARY_DIR}/QuorvathSetup.exe"
                                             QX_SAMPLE_PAYLOAD_DIR="${CMAKE_BINARY_DIR}/payload")
add_dependencies(demo_user quorvath_setup)
