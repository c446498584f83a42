# The 64-bit Windows test build: the same code under 64-bit Wine, which runs on every machine,
# including those whose kernel cannot run 32-bit programs. Debian's 64-bit loader is called
# directly, since the `wine` wrapper prefers the 32-bit one whenever it is installed.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CORVANE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CORVANE_WINE_LOADER /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
