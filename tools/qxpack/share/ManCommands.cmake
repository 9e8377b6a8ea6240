# Writes the help2man include file that gives the manual page one section a
# command, from 'qxpack help COMMAND': cmake -DQXPACK= -DOUT= -P ManCommands.cmake
set(text "[COMMANDS]\n")
foreach(command build list verify extract implode explode)
  execute_process(COMMAND ${QXPACK} help ${command} OUTPUT_VARIABLE help RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "qxpack help ${command} failed (${rc})")
  endif()
  # roff: a backslash is written \e; lines that start with a dot or quote are escaped.
  string(REPLACE "\\" "\\e" help "${help}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
  string(APPEND text ".SS ${command}\n.nf\n${help}.fi\n")
endforeach()
file(WRITE ${OUT} "${text}")
