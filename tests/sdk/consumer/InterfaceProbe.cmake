# The interface probe: a module that includes every installed header, built so that each call the
# headers make inline must be found in Setup.exe's import library. Every inline function is emitted
# (-fkeep-inline-functions); InterfaceProbe.cpp uses the special members, which that leaves out, of
# every class declared CORVANE_API (in the one namespace its header opens, if any).
get_target_property(include_dirs CorvaneSetup::Setup INTERFACE_INCLUDE_DIRECTORIES)
set(interface "#pragma once\n")
set(classes "")
foreach(dir IN LISTS include_dirs)
  file(GLOB headers RELATIVE ${dir} ${dir}/*.h)
  foreach(header IN LISTS headers)
    file(READ ${dir}/${header} text)
    string(REGEX MATCHALL "(class|struct) CORVANE_API [A-Za-z_0-9]+" declared "${text}")
    set(scope "")
    if(text MATCHES "\nnamespace ([A-Za-z_0-9]+) {")
      set(scope "${CMAKE_MATCH_1}::")
    endif()
    list(TRANSFORM declared REPLACE ".* (.*)" " X(${scope}\\1)")
    string(APPEND interface "#include \"${header}\"\n")
    string(APPEND classes ${declared})
  endforeach()
endforeach()
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/InstalledInterface.h
     "${interface}#define CORVANE_EXPORTED_CLASSES(X)${classes}\n")

add_library(InterfaceProbe SHARED InterfaceProbe.cpp)
target_include_directories(InterfaceProbe PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
target_compile_options(InterfaceProbe PRIVATE -fkeep-inline-functions)
target_link_libraries(InterfaceProbe PRIVATE CorvaneSetup::Setup)
