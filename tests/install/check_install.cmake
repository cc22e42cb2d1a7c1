# Installs the build tree into a scratch prefix and checks what lands there:
# bin/r1c, which must compile a bundled example exactly as its expected report
# says, bin/r1tree, which must turn that report into a graph, bin/r1explain,
# and their manual pages share/man/man1/r1c.1, r1tree.1 and r1explain.1, as in
# the source tree.
#
# Run as: cmake -D BUILD_DIR=... -D SOURCE_DIR=... -D PREFIX=... -P check_install.cmake
foreach(variable BUILD_DIR SOURCE_DIR PREFIX)
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
foreach(path "${binary}" "${tree_binary}" "${PREFIX}/bin/r1explain" "${PREFIX}/share/man/man1/r1c.1"
    "${PREFIX}/share/man/man1/r1tree.1" "${PREFIX}/share/man/man1/r1explain.1")
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "not installed: ${path}\n${log}")
  endif()
endforeach()

foreach(page r1c.1 r1tree.1 r1explain.1)
  execute_process(
    COMMAND "${CMAKE_COMMAND}" -E compare_files "${SOURCE_DIR}/doc/${page}" "${PREFIX}/share/man/man1/${page}"
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PREFIX}/share/man/man1/${page} differs from ${SOURCE_DIR}/doc/${page}")
  endif()
endforeach()

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
