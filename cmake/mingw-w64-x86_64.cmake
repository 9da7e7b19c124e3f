# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix threads), from Linux:
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# Test programs run through Wine (ctest uses CMAKE_CROSSCOMPILING_EMULATOR).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TALVEX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TALVEX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TALVEX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TALVEX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TALVEX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One file, no MinGW runtime DLLs to ship beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(TALVEX_WINE NAMES wine wine64)
if(TALVEX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TALVEX_WINE})
endif()
