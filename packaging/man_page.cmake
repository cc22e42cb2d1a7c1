# Writes a manual page as installed: its header (the first line,
# `.TH NAME SECTION "DATE" "r1c" "MANUAL"`) gets the version in its source
# field, "r1c VERSION", and the page is compressed with gzip -n (gzip.cmake).
#
# Run as: cmake -D PAGE=doc/x.1 -D OUTPUT=x.1.gz -D VERSION=1.2.3 -D GZIP=gzip -P man_page.cmake
foreach(variable PAGE OUTPUT VERSION GZIP)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()

file(READ "${PAGE}" text)
string(REGEX REPLACE "^(\\.TH [^\n]* \"[^\"\n]*\" )\"r1c\"" "\\1\"r1c ${VERSION}\"" versioned "${text}")
if(versioned STREQUAL text)
  message(FATAL_ERROR "${PAGE}: the first line must be .TH NAME SECTION \"DATE\" \"r1c\" \"MANUAL\"")
endif()

string(REGEX REPLACE "\\.gz$" "" INPUT "${OUTPUT}")
file(WRITE "${INPUT}" "${versioned}")
include(${CMAKE_CURRENT_LIST_DIR}/gzip.cmake)
