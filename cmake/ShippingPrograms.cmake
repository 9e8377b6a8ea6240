# Build settings of the Windows programs that ship (the installer stub and
# the sample product), which must load on every 32-bit Windows from 95 and
# NT 4.0 on and stay small.
#
# qx_shipping_program(TARGET): the win32 thread model (cmake/win32-thread-model),
# no exceptions or RTTI, size optimisation, unused sections dropped, a static
# runtime and no symbols; the program's own start-up and C library functions
# (src/win32/ShippedRuntime.cpp) in place of MinGW's, which imports msvcrt.dll.
function(qx_shipping_program target)
  set(launcher ${CMAKE_SOURCE_DIR}/cmake/win32-thread-model)
  set_target_properties(${target} PROPERTIES
      C_COMPILER_LAUNCHER ${launcher} CXX_COMPILER_LAUNCHER ${launcher}
      C_LINKER_LAUNCHER ${launcher} CXX_LINKER_LAUNCHER ${launcher})
  target_compile_options(${target} PRIVATE
      -Os $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti> -fno-asynchronous-unwind-tables -fno-ident
      -ffunction-sections)
  target_link_options(${target} PRIVATE -static -s -Wl,--gc-sections)
  set(runtime ${CMAKE_SOURCE_DIR}/src/win32/ShippedRuntime.cpp)
  target_sources(${target} PRIVATE ${runtime})
  # Its memcpy and memset loops must not be compiled into calls to themselves,
  # nor be optimised again at link time (the stub is linked with LTO).
  set_property(SOURCE ${runtime} TARGET_DIRECTORY ${target} APPEND PROPERTY COMPILE_OPTIONS
               -fno-tree-loop-distribute-patterns -fno-lto)
  target_link_options(${target} PRIVATE -nostartfiles)
endfunction()
