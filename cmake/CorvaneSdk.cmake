# The SDK component: what a module built on the exported classes needs, found with
# find_package(CorvaneSetup CONFIG). The headers keep their module folders, since they include
# each other by bare name from all four.
include(CMakePackageConfigHelpers)

# The installed interface: the headers that declare what Setup.exe exports (those that include
# AfxExport.h) and every header they include. The others declare the build's own helpers, which
# Setup.exe does not export, so a module could not link what they declare.
function(corvane_install_sdk_headers)
  set(modules framework foundation events ipc)
  set(installed "")
  foreach(module IN LISTS modules)
    file(GLOB headers ${PROJECT_SOURCE_DIR}/${module}/*.h)
    foreach(header IN LISTS headers)
      file(STRINGS ${header} declares_exports REGEX "^#include \"AfxExport.h\"")
      if(declares_exports)
        list(APPEND installed ${header})
      endif()
    endforeach()
  endforeach()
  set(pending ${installed})
  while(pending)
    list(POP_FRONT pending header)
    file(STRINGS ${header} includes REGEX "^#include \"[^\"]+\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" included "${line}")
      foreach(module IN LISTS modules)
        set(candidate ${PROJECT_SOURCE_DIR}/${module}/${included})
        if(EXISTS ${candidate} AND NOT candidate IN_LIST installed)
          list(APPEND installed ${candidate})
          list(APPEND pending ${candidate})
        endif()
      endforeach()
    endforeach()
  endwhile()
  foreach(header IN LISTS installed)
    get_filename_component(folder ${header} DIRECTORY)
    get_filename_component(module ${folder} NAME)
    install(FILES ${header} DESTINATION include/CorvaneSetup/${module} COMPONENT sdk EXCLUDE_FROM_ALL)
  endforeach()
endfunction()
corvane_install_sdk_headers()

# A 32-bit SDK refuses a 64-bit consumer and the other way round.
set(version_file ${CMAKE_CURRENT_BINARY_DIR}/CorvaneSetupConfigVersion.cmake)
write_basic_package_version_file(${version_file} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/sdk/CorvaneSetupConfig.cmake ${version_file}
        DESTINATION lib/cmake/CorvaneSetup COMPONENT sdk EXCLUDE_FROM_ALL)
