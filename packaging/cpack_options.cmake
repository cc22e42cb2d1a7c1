# Read by cpack for each generator: the .deb takes the files every install
# gets and lintian's overrides; the .tar.gz takes them and LICENSE, README.md
# and CHANGELOG.md. Each is still one package of all the components it takes.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_COMPONENTS_ALL Unspecified deb)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
elseif(CPACK_GENERATOR STREQUAL "TGZ")
  set(CPACK_COMPONENTS_ALL Unspecified archive)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
