# What is installed beside the programs, and the packages CPack makes of it:
# the manual pages, the copyright file and the changelog under share/, a .deb
# that lintian passes, and a .tar.gz that also holds LICENSE, README.md and
# CHANGELOG.md. Included from the top CMakeLists.txt once the programs'
# install rules are made; it reads two lists set there:
#   R1C_MAN_PAGES        pages in doc/, each installed gzipped with the version in its header
#   R1C_STATIC_PROGRAMS  programs this build links statically (each gets a lintian override)

set(R1C_MAINTAINER "The r1c authors <r1c-authors@example.org>" CACHE STRING
  "The packages' maintainer, as NAME <EMAIL>")
if(NOT R1C_MAINTAINER MATCHES "^[^<>@,]*[^<>@, ] <[^<>@ ]+@[^<>@ ]+>$")
  message(FATAL_ERROR "R1C_MAINTAINER must be NAME <EMAIL>, not '${R1C_MAINTAINER}'")
endif()

# The manual pages, versioned and gzipped at build time.
find_program(R1C_GZIP gzip REQUIRED)
set(man_outputs)
foreach(page ${R1C_MAN_PAGES})
  set(output ${PROJECT_BINARY_DIR}/man/${page}.gz)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -D PAGE=${PROJECT_SOURCE_DIR}/doc/${page} -D OUTPUT=${output}
            -D VERSION=${PROJECT_VERSION} -D GZIP=${R1C_GZIP} -P ${CMAKE_CURRENT_LIST_DIR}/man_page.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/doc/${page} ${CMAKE_CURRENT_LIST_DIR}/man_page.cmake
            ${CMAKE_CURRENT_LIST_DIR}/gzip.cmake
    COMMENT "Compressing the manual page ${page}"
    VERBATIM)
  string(REGEX MATCH "[0-9]+$" section ${page})
  install(FILES ${output} DESTINATION share/man/man${section})
  list(APPEND man_outputs ${output})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_outputs})

# /usr/share/doc/r1c/copyright in Debian's machine-readable format, made from
# LICENSE: its copyright line and its licence text, which Debian calls Expat.
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE license_lines)
set(holder)
set(license_text)
foreach(line IN LISTS license_lines)
  if(line MATCHES "^Copyright \\(c\\) (.+)$")
    set(holder "${CMAKE_MATCH_1}")
  elseif(holder)
    if(line STREQUAL "")
      string(APPEND license_text " .\n")
    else()
      string(APPEND license_text " ${line}\n")
    endif()
  endif()
endforeach()
string(REGEX REPLACE "^ \\.\n" "" license_text "${license_text}")
if(NOT holder OR NOT license_text)
  message(FATAL_ERROR "LICENSE has no 'Copyright (c) YEAR HOLDER' line followed by the licence")
endif()
set(doc_dir share/doc/${PROJECT_NAME})
file(WRITE ${PROJECT_BINARY_DIR}/copyright
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
  "Upstream-Name: ${PROJECT_NAME}\n"
  "\n"
  "Files: *\n"
  "Copyright: ${holder}\n"
  "License: Expat\n"
  "\n"
  "License: Expat\n"
  "${license_text}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
install(FILES ${PROJECT_BINARY_DIR}/copyright DESTINATION ${doc_dir})

# The changelog, CHANGELOG.md in Debian's layout, gzipped as Debian's policy asks.
set(changelog ${PROJECT_BINARY_DIR}/changelog.gz)
add_custom_command(
  OUTPUT ${changelog}
  COMMAND ${CMAKE_COMMAND} -D CHANGELOG=${PROJECT_SOURCE_DIR}/CHANGELOG.md -D OUTPUT=${changelog}
          -D PACKAGE=${PROJECT_NAME} -D VERSION=${PROJECT_VERSION} "-DMAINTAINER=${R1C_MAINTAINER}"
          -D GZIP=${R1C_GZIP} -P ${CMAKE_CURRENT_LIST_DIR}/debian_changelog.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${CMAKE_CURRENT_LIST_DIR}/debian_changelog.cmake
          ${CMAKE_CURRENT_LIST_DIR}/gzip.cmake
  COMMENT "Writing the changelog in Debian's layout"
  VERBATIM)
add_custom_target(changelog ALL DEPENDS ${changelog})
install(FILES ${changelog} DESTINATION ${doc_dir})

# Installed only into the .deb: lintian's overrides, each with its reason.
# A statically linked program is one on purpose (see its link options).
set(overrides)
foreach(program ${R1C_STATIC_PROGRAMS})
  string(APPEND overrides
    "# ${program} is linked statically for its start-up time: with no shared\n"
    "# libraries to load, a small program compiles in about 0.6 of the time.\n"
    "${PROJECT_NAME}: statically-linked-binary [usr/bin/${program}]\n")
endforeach()
# The file's opening comment, up to its first blank line, is about the file.
file(READ ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides kept_overrides)
string(REGEX REPLACE "^[^\n]*\n([^\n]+\n)*\n?" "" kept_overrides "${kept_overrides}")
string(APPEND overrides "${kept_overrides}")
file(WRITE ${PROJECT_BINARY_DIR}/lintian-overrides "${overrides}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides)
install(FILES ${PROJECT_BINARY_DIR}/lintian-overrides DESTINATION share/lintian/overrides
  RENAME ${PROJECT_NAME} COMPONENT deb EXCLUDE_FROM_ALL)

# Installed only into the .tar.gz, at its top.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/CHANGELOG.md
  DESTINATION . COMPONENT archive EXCLUDE_FROM_ALL)

# Packages of what the install rules install, laid out as they lay it out
# (under /usr in the .deb): cpack in a build directory, or the package preset.
set(CPACK_GENERATOR DEB TGZ)
set(CPACK_PACKAGE_CONTACT "${R1C_MAINTAINER}")
# The extended description: lines of at most 80 columns, as Debian's policy asks.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "r1c reads one program in a small C-like teaching language on standard\n"
  "input and writes a report to standard output: the syntax tree in a\n"
  "parenthesised layout, the number of source lines, and pseudo-assembly for\n"
  "a machine with one register, R1. The report is exact to the byte, for\n"
  "students, teachers and graders.\n"
  "\n"
  "r1tree draws the syntax tree of a report as a Graphviz graph; r1explain\n"
  "lists each statement's source lines before the code they produced.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
# Depends names the packages of the shared libraries the binaries use.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Each generator packages the files of every build plus its own (cpack_options.cmake).
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack_options.cmake)
include(CPack)
