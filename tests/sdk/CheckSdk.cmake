cmake_minimum_required(VERSION 3.25)
# Installs the sdk component of BUILD_DIR into a fresh prefix, builds the CONSUMER project against
# that prefix alone and checks with CheckExports.cmake (its variables too) that the module
# imports from Setup.exe. The consumer project also builds the interface probe.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/sdk)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --component sdk --prefix ${prefix}
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} -S ${CONSUMER} -B ${WORK_DIR}/build -G ${GENERATOR}
                        -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DCMAKE_BUILD_TYPE=MinSizeRel
                        -DCMAKE_PREFIX_PATH=${prefix} -DMODULE_SOURCE=${MODULE_SOURCE}
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/build COMMAND_ERROR_IS_FATAL ANY)
set(MODULE ${WORK_DIR}/build/SampleModule.dll)
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/CheckExports.cmake)
