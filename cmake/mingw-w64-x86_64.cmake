# Cross-building for 64-bit Windows with Debian's mingw-w64 (the -posix compilers, which have
# std::thread). Libraries are found under the sysroot and under QUILLON_WIN_PREFIX, where
# scripts/build-windows.sh installs the static libjpeg-turbo, libpng and googletest it builds.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUILLON_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUILLON_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILLON_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${QUILLON_MINGW}-windres)
set(CMAKE_ASM_COMPILER ${QUILLON_MINGW}-gcc-posix)
set(CMAKE_AR ${QUILLON_MINGW}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${QUILLON_MINGW}-ranlib CACHE FILEPATH "")

if(NOT QUILLON_WIN_PREFIX AND DEFINED ENV{QUILLON_WIN_PREFIX})
  set(QUILLON_WIN_PREFIX $ENV{QUILLON_WIN_PREFIX})
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${QUILLON_MINGW} ${QUILLON_WIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static archives, so nothing of the C or C++ runtime, zlib or the image libraries has to travel
# as a DLL beside the program (Debian's mingw zlib also ships an import library, which FindZLIB
# would otherwise prefer).
set(ZLIB_LIBRARY /usr/${QUILLON_MINGW}/lib/libz.a CACHE FILEPATH "")
set(ZLIB_INCLUDE_DIR /usr/${QUILLON_MINGW}/include CACHE PATH "")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests and tools built here run under Wine on the build machine.
find_program(QUILLON_WINE NAMES wine wine64)
if(QUILLON_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUILLON_WINE})
endif()
