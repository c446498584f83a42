# The product: 32-bit Windows. Its tests run under 32-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CORVANE_MINGW_TRIPLE i686-w64-mingw32)
set(CORVANE_WINE_LOADER /usr/lib/wine/wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
