cmake_minimum_required(VERSION 3.25)
# Fails unless every .exe under BUILD_DIR imports only DLLs that Windows always loads from its
# system folder (the KnownDLLs, plus ntdll). Anything else would be searched for beside the
# executable first, where a planted copy could be loaded, or would be missing on a bare system.
#   cmake -DOBJDUMP=<objdump> -DBUILD_DIR=<dir> -P CheckImports.cmake
set(known_dlls
  advapi32 clbcatq combase comdlg32 coml2 difxapi gdi32 gdiplus imagehlp imm32 kernel32 msctf
  msvcrt normaliz nsi ntdll ole32 oleaut32 psapi rpcrt4 sechost setupapi shcore shell32 shlwapi
  user32 wldap32 ws2_32)

file(GLOB_RECURSE executables LIST_DIRECTORIES false "${BUILD_DIR}/*.exe")
list(FILTER executables EXCLUDE REGEX "/CMakeFiles/")
if(NOT executables)
  message(FATAL_ERROR "no executables found under ${BUILD_DIR}")
endif()

set(failures "")
foreach(exe IN LISTS executables)
  execute_process(COMMAND ${OBJDUMP} -p ${exe} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    string(APPEND failures "  ${exe}: objdump failed\n")
    continue()
  endif()
  string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
  if(NOT lines)
    string(APPEND failures "  ${exe}: no import table found\n")
  endif()
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "DLL Name: ([^\r\n]+)" "\\1" dll "${line}")
    string(STRIP "${dll}" dll)
    string(TOLOWER "${dll}" dll)
    string(REGEX REPLACE "\\.dll$" "" base "${dll}")
    if(NOT base IN_LIST known_dlls)
      string(APPEND failures "  ${exe}: imports ${dll}\n")
    endif()
  endforeach()
endforeach()

list(LENGTH executables count)
if(failures)
  message(FATAL_ERROR "executables importing DLLs outside the system set:\n${failures}")
endif()
message(STATUS "${count} executables import system DLLs only")
