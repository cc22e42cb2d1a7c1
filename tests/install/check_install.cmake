# Installs the build tree into a scratch prefix and checks what lands there:
# bin/r1c, which must compile a bundled example exactly as its expected report
# says, bin/r1tree, which must turn that report into a graph and print the
# version, bin/r1explain, their manual pages under share/man, gzipped without a name or time,
# each the page in doc/ with the version in its header, and the copyright file
# and the changelog (CHANGELOG.md in Debian's layout) under share/doc/r1c. Files meant for one package only
# (lintian's overrides, LICENSE at the top) are not installed.
#
# Run as: cmake -D BUILD_DIR=... -D SOURCE_DIR=... -D PREFIX=... -D VERSION=...
#               -D MAN_PAGES=r1c.1;... -D GZIP=gzip -P check_install.cmake
foreach(variable BUILD_DIR SOURCE_DIR PREFIX VERSION MAN_PAGES GZIP)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()

# A staging directory from the caller's environment would move every file.
unset(ENV{DESTDIR})
file(REMOVE_RECURSE "${PREFIX}")

execute_process(
  COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
  RESULT_VARIABLE status
  OUTPUT_VARIABLE log
  ERROR_VARIABLE log)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${status}):\n${log}")
endif()

set(binary "${PREFIX}/bin/r1c")
set(tree_binary "${PREFIX}/bin/r1tree")
set(doc_dir "${PREFIX}/share/doc/r1c")
foreach(path "${binary}" "${tree_binary}" "${PREFIX}/bin/r1explain" "${doc_dir}/copyright" "${doc_dir}/changelog.gz")
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "not installed: ${path}\n${log}")
  endif()
endforeach()
foreach(path "${PREFIX}/share/lintian" "${PREFIX}/LICENSE" "${PREFIX}/README.md" "${PREFIX}/CHANGELOG.md")
  if(EXISTS "${path}")
    message(FATAL_ERROR "installed, though meant for one package only: ${path}")
  endif()
endforeach()

# gzip -n: the header's flags (byte 3) name no file, and its time (bytes 4 to
# 7) is zero. `text` receives the file's content.
function(read_gzipped path text)
  file(READ "${path}" header LIMIT 8 HEX)
  string(SUBSTRING "${header}" 6 10 flags_and_time)
  if(NOT header MATCHES "^1f8b08" OR NOT flags_and_time STREQUAL "0000000000")
    message(FATAL_ERROR "${path} is not gzipped with -n (header ${header})")
  endif()
  execute_process(COMMAND "${GZIP}" -dc "${path}" RESULT_VARIABLE status OUTPUT_VARIABLE content)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${GZIP} -dc ${path} failed")
  endif()
  set(${text} "${content}" PARENT_SCOPE)
endfunction()

foreach(page ${MAN_PAGES})
  string(REGEX MATCH "[0-9]+$" section "${page}")
  read_gzipped("${PREFIX}/share/man/man${section}/${page}.gz" installed)
  file(READ "${SOURCE_DIR}/doc/${page}" source)
  string(REGEX REPLACE "^([^\n]*) \"r1c\" " "\\1 \"r1c ${VERSION}\" " expected "${source}")
  if(expected STREQUAL source OR NOT installed STREQUAL expected)
    message(FATAL_ERROR "share/man/man${section}/${page}.gz is not doc/${page} with \"r1c ${VERSION}\" in its header")
  endif()
endforeach()

# The changelog in Debian's layout: an entry for each version of
# CHANGELOG.md, the first for the version built.
read_gzipped("${doc_dir}/changelog.gz" changelog)
if(NOT changelog MATCHES "^r1c \\(${VERSION}\\) ")
  message(FATAL_ERROR "${doc_dir}/changelog.gz does not start with the entry for ${VERSION}:\n${changelog}")
endif()
file(STRINGS "${SOURCE_DIR}/CHANGELOG.md" versions REGEX "^## \\[[0-9]")
foreach(heading IN LISTS versions)
  string(REGEX MATCH "[0-9][^]]*" version "${heading}")
  string(FIND "${changelog}" "r1c (${version}) unstable; " entry)
  if(entry LESS 0)
    message(FATAL_ERROR "${doc_dir}/changelog.gz has no entry for version ${version}")
  endif()
endforeach()

execute_process(
  COMMAND "${tree_binary}" --version
  RESULT_VARIABLE status
  OUTPUT_VARIABLE version_line)
if(NOT status EQUAL 0 OR NOT version_line STREQUAL "r1tree ${VERSION}\n")
  message(FATAL_ERROR "installed r1tree --version: status ${status}, output '${version_line}'")
endif()

# The expected report is everything after the example's '---' line.
file(READ "${SOURCE_DIR}/examples/countdown.expect" expect)
string(FIND "${expect}" "---\n" separator)
math(EXPR report_start "${separator} + 4")
string(SUBSTRING "${expect}" ${report_start} -1 expected_report)

execute_process(
  COMMAND "${binary}"
  INPUT_FILE "${SOURCE_DIR}/examples/countdown.c"
  RESULT_VARIABLE status
  OUTPUT_VARIABLE report
  ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR NOT errors STREQUAL "" OR NOT report STREQUAL expected_report)
  message(FATAL_ERROR "installed r1c on examples/countdown.c: status ${status}, "
                      "stderr '${errors}', report:\n${report}")
endif()

# The installed r1tree draws the report's tree: its graph starts with the
# root, the program's "." link.
file(WRITE "${PREFIX}/report.txt" "${report}")
execute_process(
  COMMAND "${tree_binary}" "${PREFIX}/report.txt"
  RESULT_VARIABLE status
  OUTPUT_VARIABLE graph
  ERROR_VARIABLE errors)
string(FIND "${graph}" "  n0 [label=\".\" class=link" root)
if(NOT status EQUAL 0 OR NOT errors STREQUAL "" OR NOT root GREATER 0)
  message(FATAL_ERROR "installed r1tree on the report of examples/countdown.c: status ${status}, "
                      "stderr '${errors}', graph:\n${graph}")
endif()

file(REMOVE_RECURSE "${PREFIX}")
