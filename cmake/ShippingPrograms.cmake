# Build settings of the Windows programs that ship (the installer stub and
# the sample product), which must load on every 32-bit Windows from 98 and
# NT 4.0 on and stay small.
#
# qx_shipping_program(TARGET): the win32 thread model (cmake/win32-thread-model),
# no exceptions or RTTI, size optimisation, unused sections dropped, a static
# runtime and no symbols.
function(qx_shipping_program target)
  set(launcher ${CMAKE_SOURCE_DIR}/cmake/win32-thread-model)
  set_target_properties(${target} PROPERTIES
      C_COMPILER_LAUNCHER ${launcher} CXX_COMPILER_LAUNCHER ${launcher}
      C_LINKER_LAUNCHER ${launcher} CXX_LINKER_LAUNCHER ${launcher})
  target_compile_options(${target} PRIVATE
      -Os $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti> -fno-asynchronous-unwind-tables -fno-ident
      -ffunction-sections)
  target_link_options(${target} PRIVATE -static -s -Wl,--gc-sections)
endfunction()
