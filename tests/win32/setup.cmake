# The setup driver and the welcome dialog under Wine, and checks of the
# built stub itself (imports, resources, no upper-case marker).
set(qx_setup_test_libs qx_setup qx_resources version)

qx_add_gtest(setup_welcome SetupWelcomeTest.cpp LIBS ${qx_setup_test_libs})
qx_add_gtest(setup_driver SetupDriverTest.cpp LIBS ${qx_setup_test_libs})
qx_add_gtest(setup_progress_pacing SetupProgressPacingTest.cpp LIBS ${qx_setup_test_libs})
qx_add_gtest(setup_stub SetupStubTest.cpp LIBS version)
target_compile_definitions(setup_stub PRIVATE QX_STUB_PATH="$<TARGET_FILE:qvrinst>")
add_dependencies(setup_stub qvrinst)
