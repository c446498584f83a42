# The SDK of Corvane Setup's bootstrapper: the headers of the classes Setup.exe exports and its
# import library. A module links CorvaneSetup::Setup, which compiles it as an importer
# (CORVANE_IMPORTS) and links it against Setup.exe alone.
get_filename_component(_corvane_setup_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
if(NOT TARGET CorvaneSetup::Setup)
  set(_corvane_setup_includes "")
  foreach(module framework foundation events ipc)
    list(APPEND _corvane_setup_includes "${_corvane_setup_prefix}/include/CorvaneSetup/${module}")
  endforeach()
  add_library(CorvaneSetup::Setup UNKNOWN IMPORTED)
  set_target_properties(CorvaneSetup::Setup PROPERTIES
    IMPORTED_LOCATION "${_corvane_setup_prefix}/lib/libSetup.dll.a"
    INTERFACE_INCLUDE_DIRECTORIES "${_corvane_setup_includes}"
    INTERFACE_COMPILE_DEFINITIONS CORVANE_IMPORTS)
  unset(_corvane_setup_includes)
endif()
unset(_corvane_setup_prefix)
