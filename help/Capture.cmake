# Writes what PROGRAM prints for ARGUMENT into OUTPUT; the build runs it as
# cmake -DPROGRAM=... -DARGUMENT=... -DOUTPUT=... -P Capture.cmake, which
# needs no shell to redirect.
execute_process(COMMAND "${PROGRAM}" "${ARGUMENT}" OUTPUT_FILE "${OUTPUT}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} ${ARGUMENT} ended with ${status}")
endif()
