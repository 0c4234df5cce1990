# Cross-building for 64-bit ARM Linux on an x86-64 Debian, with Debian's cross compilers
# (crossbuild-essential-arm64) and the multiarch :arm64 -dev packages:
#   cmake -S . -B build/arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/arm64-linux-gnu.cmake
# Test programs run under qemu-user (qemu-aarch64), called directly: nothing is registered with
# the kernel. The arm64 libraries come from the multiarch folders, so the emulator needs no
# prefix of its own: the host's /lib/ld-linux-aarch64.so.1 (libc6:arm64) loads them.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# Headers and libraries from the multiarch folders and the cross toolchain's own; programs
# (pkg-config, gzip, the emulator) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# pkg-config reads the arm64 .pc files instead of the host's.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)

find_program(BRINDLEHOP_QEMU_AARCH64 qemu-aarch64)
if(BRINDLEHOP_QEMU_AARCH64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${BRINDLEHOP_QEMU_AARCH64})
endif()
