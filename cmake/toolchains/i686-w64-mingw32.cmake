# 32-bit Windows with Debian's mingw-w64 (g++-mingw-w64-i686-posix); tests run under Wine's
# 32-bit loader (package wine32:i386).
set(CMAKE_SYSTEM_PROCESSOR X86)
set(TARVELLE_MINGW_TRIPLE i686-w64-mingw32)
set(TARVELLE_WINE_LOADER /usr/lib/wine/wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
