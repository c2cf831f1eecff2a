# Cross-build for 64-bit Windows with Debian's MinGW-w64 (posix thread model, so std::thread works).
# Usage: cmake -S . -B build-win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The runtime (libgcc, libstdc++, winpthread) is linked statically: the programs need no DLL beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BRINDLEMAR_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${BRINDLEMAR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BRINDLEMAR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${BRINDLEMAR_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BRINDLEMAR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# What is shipped carries no symbol tables.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")

# Tests and tools run under Wine when they are started by ctest or a build step.
find_program(BRINDLEMAR_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT BRINDLEMAR_WINE)
    find_program(BRINDLEMAR_WINE NAMES wine64 wine)
endif()
if(BRINDLEMAR_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${BRINDLEMAR_WINE})
endif()
