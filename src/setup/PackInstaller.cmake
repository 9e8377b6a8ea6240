# Assembles QuorvathSetup.exe: cmake -DQXPACK= -DSTUB= -DOUT= -DPAYLOAD= -P PackInstaller.cmake
# Runs `qxpack build`; a qxpack that cannot build installers yet leaves the
# installer out with a warning instead of failing the whole tree.
execute_process(COMMAND ${QXPACK} build --stub ${STUB} --out ${OUT} ${PAYLOAD}
                RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0)
  if(err MATCHES "not available yet")
    message(WARNING "qxpack cannot build installers yet: ${OUT} was not assembled")
    file(REMOVE ${OUT})
    return()
  endif()
  message(FATAL_ERROR "qxpack build failed (${rc}): ${err}")
endif()
