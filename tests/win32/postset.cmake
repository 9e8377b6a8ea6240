# Post-setup suites under Wine, and the files they install: small libraries
# that carry nothing but a version resource, and a stand-in browser finder.
enable_language(RC)

set(qx_postset_data ${CMAKE_CURRENT_BINARY_DIR}/postset-data)
set(qx_postset_data_targets)

function(qx_postset_data_dll name)
  add_library(${name} SHARED ${CMAKE_CURRENT_SOURCE_DIR}/data/VersionDll.c ${ARGN})
  set_target_properties(${name} PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${qx_postset_data})
  set(qx_postset_data_targets ${qx_postset_data_targets} ${name} PARENT_SCOPE)
endfunction()

foreach(version 4.71.1712.4 4.71.1712.5 4.71.1712.6 4.71.1711.9999 5.0.0.0 32768.0.0.0)
  string(REPLACE "." "," QX_VERSION_COMMAS ${version})
  set(QX_VERSION_DOTS ${version})
  set(rc ${qx_postset_data}/v${version}.rc)
  configure_file(${CMAKE_CURRENT_SOURCE_DIR}/data/VersionDll.rc.in ${rc} @ONLY)
  qx_postset_data_dll(v${version} ${rc})
endforeach()
qx_postset_data_dll(noversion)
qx_postset_data_dll(badsignature ${CMAKE_CURRENT_SOURCE_DIR}/data/BadSignature.rc)
qx_postset_data_dll(shortblock ${CMAKE_CURRENT_SOURCE_DIR}/data/ShortBlock.rc)

add_executable(fake_tolvane ${CMAKE_CURRENT_SOURCE_DIR}/data/FakeTolvane.cpp)
set_target_properties(fake_tolvane PROPERTIES OUTPUT_NAME tolvane
                                              RUNTIME_OUTPUT_DIRECTORY ${qx_postset_data})
list(APPEND qx_postset_data_targets fake_tolvane)

# Shared files, replacement at restart and WinInit.ini: a prefix of its own.
qx_add_gtest(postset_shared_files SharedFileTest.cpp LIBS qx_postset WINE_FRESH_PREFIX)
qx_add_gtest(postset_registry RegistryTest.cpp LIBS qx_postset)
# The whole sequence and its closing step write RunOnce and schedule renames.
qx_add_gtest(postset_sequence PostSetTest.cpp CompletionTest.cpp LIBS qx_postset WINE_FRESH_PREFIX)
# A real ExitWindowsEx: alone, in a prefix that is thrown away.
qx_add_gtest(postset_restart RestartTest.cpp LIBS qx_postset WINE_FRESH_PREFIX)

foreach(test postset_shared_files postset_registry postset_sequence postset_restart)
  target_compile_definitions(${test} PRIVATE QX_POSTSET_DATA="${qx_postset_data}")
  target_include_directories(${test} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  add_dependencies(${test} ${qx_postset_data_targets})
endforeach()
