# The Choose Directory dialog under Wine, with its own copy of the dialog
# template and icons linked in (the dialog loads them from the program).
enable_language(RC)
qx_add_gtest(seldir_dialog SelDirDialogTest.cpp SelDirDrawTest.cpp SelDirResourceTest.cpp
             SelDirPathTest.cpp SelDirTest.rc LIBS qx_seldir)
target_include_directories(seldir_dialog PRIVATE ${CMAKE_SOURCE_DIR}/src/resources
                                                 ${CMAKE_CURRENT_SOURCE_DIR})
set_property(SOURCE SelDirTest.rc APPEND PROPERTY OBJECT_DEPENDS
             ${CMAKE_SOURCE_DIR}/src/resources/SelDir.rc
             ${CMAKE_SOURCE_DIR}/src/resources/SelDirIds.h)
