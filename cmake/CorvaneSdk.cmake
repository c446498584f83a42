# The SDK component: what a module built on the exported classes needs, found with
# find_package(CorvaneSetup CONFIG). The headers keep their module folders, since they include
# each other by bare name from all four.
include(CMakePackageConfigHelpers)

foreach(module framework foundation events ipc)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${module}/ DESTINATION include/CorvaneSetup/${module}
          COMPONENT sdk EXCLUDE_FROM_ALL FILES_MATCHING PATTERN "*.h" PATTERN "*Internals.h" EXCLUDE)
endforeach()

# A 32-bit SDK refuses a 64-bit consumer and the other way round.
set(version_file ${CMAKE_CURRENT_BINARY_DIR}/CorvaneSetupConfigVersion.cmake)
write_basic_package_version_file(${version_file} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/sdk/CorvaneSetupConfig.cmake ${version_file}
        DESTINATION lib/cmake/CorvaneSetup COMPONENT sdk EXCLUDE_FROM_ALL)
