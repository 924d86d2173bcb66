# 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64-posix); tests run under wine64.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TARVELLE_MINGW_TRIPLE x86_64-w64-mingw32)
set(TARVELLE_WINE_LOADER /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
