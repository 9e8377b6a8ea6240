# Fails when a file is larger than its limit; prints its size either way.
#   cmake -DFILE=QVRInst.exe -DLIMIT=65536 -P CheckSize.cmake
cmake_minimum_required(VERSION 3.25)
file(SIZE ${FILE} size)
math(EXPR kib "${size} / 1024")
get_filename_component(name ${FILE} NAME)
message("figure: ${name} is ${size} bytes (${kib} KiB), limit ${LIMIT} bytes")
if(size GREATER LIMIT)
  message(FATAL_ERROR "${name} is ${size} bytes, above its limit of ${LIMIT}")
endif()
