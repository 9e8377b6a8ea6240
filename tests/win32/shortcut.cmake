# The shortcut unit under Wine: links are read back through IShellLinkA.
qx_add_gtest(postset_shortcut ShortcutTest.cpp LIBS qx_postset)
target_include_directories(postset_shortcut PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(postset_shortcut PRIVATE QX_POSTSET_DATA="${CMAKE_CURRENT_BINARY_DIR}/postset-data")
