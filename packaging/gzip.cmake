# Compresses INPUT into OUTPUT with gzip -n -9: -n leaves out the file's name
# and time, so that the same input always gives the same bytes.
#
# Run as: cmake -D INPUT=... -D OUTPUT=... -D GZIP=gzip -P gzip.cmake
foreach(variable INPUT OUTPUT GZIP)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()

execute_process(
  COMMAND "${GZIP}" -n -9 -c "${INPUT}"
  OUTPUT_FILE "${OUTPUT}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE "${OUTPUT}")
  message(FATAL_ERROR "${GZIP} failed on ${INPUT}")
endif()
