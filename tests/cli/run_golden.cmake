# Runs korpus on a document and compares what it prints with a golden file.
# -DPROGRAM=korpus -DEMULATOR=runner-or-empty -DARGS=a;b;c -DEXPECTED=file
# KORPUS_UPDATE_GOLDEN=1 in the environment rewrites the golden file instead (scripts/update-golden.sh).
set(command ${PROGRAM} ${ARGS})
if(EMULATOR)
  set(command ${EMULATOR} ${command})
endif()
execute_process(COMMAND ${command} OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status)
# Windows programs end their lines with CR LF.
string(REPLACE "\r\n" "\n" output "${output}")
if("$ENV{KORPUS_UPDATE_GOLDEN}")
  file(WRITE ${EXPECTED} "${output}")
  return()
endif()
if(NOT status EQUAL 0)
  message(FATAL_ERROR "korpus exited with ${status}:\n${errors}\n${output}")
endif()
file(READ ${EXPECTED} expected)
if(NOT output STREQUAL expected)
  file(WRITE ${EXPECTED}.actual "${output}")
  execute_process(COMMAND diff -u ${EXPECTED} ${EXPECTED}.actual OUTPUT_VARIABLE difference)
  message(FATAL_ERROR "korpus printed something else than ${EXPECTED}:\n${difference}")
endif()
