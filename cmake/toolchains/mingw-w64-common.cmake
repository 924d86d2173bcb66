# Shared part of the mingw-w64 toolchains; the per-architecture files set TARVELLE_MINGW_TRIPLE
# and TARVELLE_WINE_LOADER and then include this one.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)

# Debian's "-posix" compiler variants: std::thread and std::mutex need the winpthreads model.
set(CMAKE_C_COMPILER ${TARVELLE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARVELLE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TARVELLE_MINGW_TRIPLE}-windres)

# Look for libraries and headers (zlib, GoogleTest) only in the target tree and in the prefixes
# given on the command line; programs (python3, the checker) come from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${TARVELLE_MINGW_TRIPLE} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained executables: no libstdc++/libgcc/winpthread DLLs to ship or to find under Wine.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs (and GoogleTest's discovery) run under Wine on the build machine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../tests/windows/wine-run.sh
    ${TARVELLE_WINE_LOADER})

# zlib from libz-mingw-w64-dev as the static library, not the import library of zlib1.dll.
set(ZLIB_USE_STATIC_LIBS ON)
