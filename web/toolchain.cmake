# Builds for the browser with Debian's Emscripten, installing it (and the
# acorn parser its JavaScript optimiser needs) when it is missing.
set(R1C_EMSCRIPTEN_TOOLCHAIN /usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
if(NOT EXISTS ${R1C_EMSCRIPTEN_TOOLCHAIN} OR NOT EXISTS /usr/share/nodejs/acorn)
  message(STATUS "Installing Debian's emscripten and node-acorn")
  execute_process(COMMAND apt-get -o DPkg::Lock::Timeout=600 update -qq RESULT_VARIABLE apt_failed)
  if(NOT apt_failed)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DEBIAN_FRONTEND=noninteractive
                            apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends emscripten node-acorn
                    RESULT_VARIABLE apt_failed)
  endif()
  if(apt_failed)
    message(FATAL_ERROR "Could not install emscripten and node-acorn: run, as root, "
                        "apt-get install emscripten node-acorn")
  endif()
endif()

# Node does not search Debian's module folder, where emcc's optimiser finds acorn.
set(ENV{NODE_PATH} /usr/share/nodejs)
set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)

# Build-time tools (the parse table generator) are built to WebAssembly too and
# run under Node. Node 20's own fetch cannot load the module's .wasm by path;
# without it, Emscripten's loader reads the file.
find_program(R1C_NODE NAMES node nodejs REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${R1C_NODE} --no-experimental-fetch)

# The compiler reports its fatal errors by throwing.
set(CMAKE_CXX_FLAGS_INIT -fexceptions)
set(CMAKE_EXE_LINKER_FLAGS_INIT -fexceptions)

include(${R1C_EMSCRIPTEN_TOOLCHAIN})
