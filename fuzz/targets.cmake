# The fuzz targets: one for each reader of input that anyone may hand the
# programs, each a fuzz/fuzz_NAME.cpp defining LLVMFuzzerTestOneInput, with
# the library whose reader it checks, further sources of its checks, an
# optional libFuzzer dictionary, and
# the inputs that seed the fuzzer (R1C_FUZZ) and that every test run replays
# through the target's checks, whole and cut short (tests/). A further reader
# joins with one more call below.
set(R1C_FUZZ_TARGETS)

# r1c_fuzz_target(NAME LIBRARY library [SOURCES file...] [DICT file] INPUTS glob...)
function(r1c_fuzz_target name)
  cmake_parse_arguments(PARSE_ARGV 1 target "" "LIBRARY;DICT" "SOURCES;INPUTS")
  file(GLOB_RECURSE inputs CONFIGURE_DEPENDS ${target_INPUTS})
  set(R1C_FUZZ_TARGETS ${R1C_FUZZ_TARGETS} ${name} PARENT_SCOPE)
  set(fuzz_${name}_library ${target_LIBRARY} PARENT_SCOPE)
  set(fuzz_${name}_sources ${target_SOURCES} PARENT_SCOPE)
  set(fuzz_${name}_dict ${target_DICT} PARENT_SCOPE)
  set(fuzz_${name}_inputs ${inputs} PARENT_SCOPE)
endfunction()

# r1c: a whole compile of arbitrary bytes.
r1c_fuzz_target(compile LIBRARY r1c_core DICT ${PROJECT_SOURCE_DIR}/fuzz/r1c.dict
  INPUTS ${PROJECT_SOURCE_DIR}/tests/cases/*.in ${PROJECT_SOURCE_DIR}/examples/*.c)
# r1tree: a report's tree drawn as DOT, from the expected reports.
r1c_fuzz_target(report LIBRARY r1tree_core DICT ${PROJECT_SOURCE_DIR}/fuzz/report.dict
  INPUTS ${PROJECT_SOURCE_DIR}/tests/cases/*.expect ${PROJECT_SOURCE_DIR}/examples/*.expect)
# r1explain: the map of a compile and its listing.
r1c_fuzz_target(explain LIBRARY r1explain_core SOURCES ${PROJECT_SOURCE_DIR}/fuzz/explain_checks.cpp
  DICT ${PROJECT_SOURCE_DIR}/fuzz/r1c.dict
  INPUTS ${PROJECT_SOURCE_DIR}/tests/cases/*.in ${PROJECT_SOURCE_DIR}/examples/*.c)
