# Cross-building the show for 64-bit Windows with Debian's mingw-w64 (the POSIX threads flavour,
# which std::thread needs):
#
#   cmake -S . -B build/windows-cmake -DCMAKE_TOOLCHAIN_FILE=cmake/windows-x64.cmake \
#         -DBRINDLEHOP_DEPS_PREFIX=$(sh deps/build.sh windows-x64 | tail -n 1)
#   cmake --build build/windows-cmake -j2
#
# gives build/windows-cmake/brindlehop.exe (the windowed program) and brindlehop.com (the same
# program for consoles), both linked statically: no DLL travels with them. With wine installed,
# ctest runs the test programs under it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BRINDLEHOP_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${BRINDLEHOP_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BRINDLEHOP_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${BRINDLEHOP_MINGW}-windres)

# Libraries and headers come from the mingw sysroot and the prefix of cross-built libraries;
# programs run on the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${BRINDLEHOP_MINGW} ${BRINDLEHOP_DEPS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The test programs (and the program's own checks) run under wine, each run in the prefix the
# caller chose with WINEPREFIX.
find_program(BRINDLEHOP_WINE wine)
if(BRINDLEHOP_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${BRINDLEHOP_WINE})
endif()

# try_compile projects see the prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES BRINDLEHOP_DEPS_PREFIX)
