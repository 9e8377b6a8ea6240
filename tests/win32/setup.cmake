# The setup driver and the welcome dialog under Wine, and checks of the
# built stub itself (imports, resources, no upper-case marker).
set(qx_setup_test_libs qx_setup qx_resources version)

qx_add_gtest(setup_welcome SetupWelcomeTest.cpp LIBS ${qx_setup_test_libs})
qx_add_gtest(setup_driver SetupDriverTest.cpp LIBS ${qx_setup_test_libs})
qx_add_gtest(setup_progress_pacing SetupProgressPacingTest.cpp LIBS ${qx_setup_test_libs})
qx_add_gtest(setup_stub SetupStubTest.cpp LIBS version)
target_compile_definitions(setup_stub PRIVATE QX_STUB_PATH="$<TARGET_FILE:qvrinst>")
add_dependencies(setup_stub qvrinst)

# The programs that ship, checked as files by the host's tools (no Wine): each
# imports only what Windows 95 exports and what Windows 98 and NT 4.0 both
# export (two lists, each saying where its entries come from), and the stub
# stays within its size. The 32-bit build is what ships.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(shipped qvrinst sample_quorvath sample_tolvane sample_unsetup sample_wininet sample_shlwapi
              sample_delphimm sample_qvr32)
  set(shipped_files)
  foreach(target ${shipped})
    list(APPEND shipped_files $<TARGET_FILE:${target}>)
  endforeach()
  foreach(list 95 98-nt4)
    string(REPLACE "-" "_" name ${list})
    add_test(NAME ${QX_TEST_PREFIX}shipped_imports_${name}
             COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP}
                     -DALLOWED=${QX_FIXTURE_DIR}/win32/imports-${list}.txt
                     -P ${CMAKE_CURRENT_SOURCE_DIR}/CheckImports.cmake ${shipped_files})
  endforeach()
  add_test(NAME ${QX_TEST_PREFIX}stub_size
           COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:qvrinst> -DLIMIT=65536
                   -P ${CMAKE_CURRENT_SOURCE_DIR}/CheckSize.cmake)
endif()
