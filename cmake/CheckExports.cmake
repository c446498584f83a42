cmake_minimum_required(VERSION 3.25)
# Fails unless the export table of EXE holds every name listed in NAMES_FILE (demangled, without
# parameter lists), and, when MODULE is given, unless that module imports from EXE: a module
# built on the exported classes links against the executable's import library alone.
#   cmake -DOBJDUMP=<objdump> -DCXXFILT=<c++filt> -DEXE=<exe> -DNAMES_FILE=<file>
#         [-DMODULE=<dll>] -P CheckExports.cmake
execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "objdump cannot read ${EXE}")
endif()

# The export name pointer table: one "[ordinal] name" line per exported name.
string(REGEX MATCHALL "\t\\[ *[0-9]+\\] [^\r\n]+" entries "${dump}")
set(mangled "")
foreach(entry IN LISTS entries)
  string(REGEX REPLACE "^\t\\[ *[0-9]+\\] " "" name "${entry}")
  string(APPEND mangled "${name}\n")
endforeach()
get_filename_component(exe_name ${EXE} NAME)
set(mangled_file ${CMAKE_CURRENT_BINARY_DIR}/${exe_name}.exports)
file(WRITE ${mangled_file} "${mangled}")
execute_process(COMMAND ${CXXFILT} INPUT_FILE ${mangled_file} OUTPUT_VARIABLE demangled)

set(exported "")
string(REPLACE "\n" ";" demangled_lines "${demangled}")
foreach(line IN LISTS demangled_lines)
  string(REGEX REPLACE "\\(.*$" "" line "${line}")
  string(REPLACE " " "" line "${line}")
  list(APPEND exported "${line}")
endforeach()

file(STRINGS ${NAMES_FILE} expected REGEX "^[^#]")
set(missing "")
foreach(name IN LISTS expected)
  string(REPLACE " " "" name "${name}")
  if(NOT name IN_LIST exported)
    string(APPEND missing "  ${name}\n")
  endif()
endforeach()
if(missing)
  message(FATAL_ERROR "${exe_name} does not export:\n${missing}")
endif()
list(LENGTH expected count)
message(STATUS "${exe_name} exports all ${count} listed names")

if(MODULE)
  execute_process(COMMAND ${OBJDUMP} -p ${MODULE} OUTPUT_VARIABLE module_dump)
  string(TOLOWER "${module_dump}" module_dump)
  string(TOLOWER "${exe_name}" exe_lower)
  if(NOT module_dump MATCHES "dll name: ${exe_lower}")
    message(FATAL_ERROR "${MODULE} does not import from ${exe_name}")
  endif()
  message(STATUS "${MODULE} imports from ${exe_name}")
endif()
