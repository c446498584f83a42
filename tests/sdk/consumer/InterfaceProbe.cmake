# The interface probe: a module that includes every installed header, built so that each call the
# headers make inline must be found in Setup.exe's import library. The compiler emits every inline
# function the headers define (-fkeep-inline-functions); the special members that a class
# declares implicitly or as defaulted are not among them, so InterfaceProbe.cpp uses those for
# every exported class, named here from the headers. A header's classes lie in the one namespace
# it opens, if any.
get_target_property(sdk_include_dirs CorvaneSetup::Setup INTERFACE_INCLUDE_DIRECTORIES)
set(interface "// Generated from the installed headers by InterfaceProbe.cmake.\n#pragma once\n")
set(classes "")
foreach(dir IN LISTS sdk_include_dirs)
  file(GLOB headers ${dir}/*.h)
  foreach(header IN LISTS headers)
    get_filename_component(name ${header} NAME)
    string(APPEND interface "#include \"${name}\"\n")
    file(READ ${header} text)
    string(REGEX MATCH "\nnamespace ([A-Za-z_0-9]+) {" opened "${text}")
    set(scope "")
    if(opened)
      set(scope "${CMAKE_MATCH_1}::")
    endif()
    string(REGEX MATCHALL "(class|struct) CORVANE_API [A-Za-z_0-9]+" declared "${text}")
    foreach(declaration IN LISTS declared)
      string(REGEX REPLACE ".* " "" class "${declaration}")
      string(APPEND classes " X(${scope}${class})")
    endforeach()
  endforeach()
endforeach()
string(APPEND interface "#define CORVANE_EXPORTED_CLASSES(X)${classes}\n")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/InstalledInterface.h "${interface}")

add_library(InterfaceProbe SHARED InterfaceProbe.cpp)
target_include_directories(InterfaceProbe PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
target_compile_options(InterfaceProbe PRIVATE -fkeep-inline-functions)
target_link_libraries(InterfaceProbe PRIVATE CorvaneSetup::Setup)
