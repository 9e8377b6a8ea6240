# The sample product's programs and its uninstaller, run under Wine.
set(sample_test_definitions QX_SAMPLE_PAYLOAD_DIR="${CMAKE_BINARY_DIR}/payload")

qx_add_gtest(SampleProgramsTest SampleProgramsTest.cpp LIBS version shell32 advapi32)
target_include_directories(SampleProgramsTest PRIVATE ${CMAKE_SOURCE_DIR}/src/win32
                                                      ${CMAKE_SOURCE_DIR}/src/product)
target_compile_definitions(SampleProgramsTest PRIVATE ${sample_test_definitions})
add_dependencies(SampleProgramsTest sample_payload)

# The uninstaller, also after the real post-setup steps; it schedules its own
# removal for the next restart and the steps move files into the system
# directory: a prefix of its own.
qx_add_gtest(SampleUninstallTest SampleUninstallTest.cpp LIBS qx_postset shell32 ole32 uuid advapi32
             WINE_FRESH_PREFIX)
target_include_directories(SampleUninstallTest PRIVATE ${CMAKE_SOURCE_DIR}/src/win32)
target_compile_definitions(SampleUninstallTest PRIVATE ${sample_test_definitions})
add_dependencies(SampleUninstallTest sample_payload)
