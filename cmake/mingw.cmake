# Cross build for Windows with mingw-w64 (posix thread model); tests run under Wine. Included by
# the toolchain file of each target, which sets CORVANE_MINGW_TRIPLE and CORVANE_WINE_LOADER.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${CORVANE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CORVANE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${CORVANE_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${CORVANE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# libgcc, libstdc++ and winpthread go into every executable and module: they must load on a bare
# Windows.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Reads the import tables of what was built (see CheckImports.cmake).
set(CORVANE_OBJDUMP ${CORVANE_MINGW_TRIPLE}-objdump)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CORVANE_WINE_LOADER})
