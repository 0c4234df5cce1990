#!/bin/sh
# Brindlehop quick start. On Debian 12 or 13, as root (or with sudo):
#   sh run.sh [play] [options]   install what is missing, build, play the show
#   sh run.sh test               install what is missing, build, run every test
#   sh run.sh package            install what is missing, build build/package/brindlehop_*.deb
#                                and check it (lintian, desktop entry, AppStream, manual page)
#   sh run.sh package arm64      the same for 64-bit ARM, cross-built: build/package-arm64/
#   sh run.sh web                install what is missing, build the show for a browser in build/web
#   sh run.sh windows            install what is missing, cross-build the show for Windows and its
#                                zip and installer in build/windows
set -eu
cd "$(dirname "$0")"

mode=play
case "${1:-}" in
    play) shift ;;
    test) mode=test; shift ;;
    package) mode=package; shift
        if [ "${1:-}" = arm64 ]; then mode=package-arm64; shift; fi ;;
    web) mode=web; shift ;;
    windows) mode=windows; shift ;;
esac

show_packages="cmake make g++ pkg-config libsdl2-dev libjpeg62-turbo-dev libvorbis-dev libkissfft-dev zlib1g-dev"
# The fuzzers' runtime is packaged per clang release: clang 14 on Debian 12, clang 19 on 13.
. /etc/os-release
case "${VERSION_ID:-}" in
    12) clang_runtime=libclang-rt-14-dev ;;
    *) clang_runtime=libclang-rt-19-dev ;;
esac
test_packages="$show_packages dpkg-dev libogg-dev libgtest-dev libbenchmark-dev clang $clang_runtime libjpeg-turbo-progs ffmpeg libfreetype-dev fonts-dejavu-core fonts-dejavu-extra xvfb xdotool"

install_missing() {
    missing=""
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
    done
    [ -z "$missing" ] && return 0
    echo "Installing:$missing"
    as_root=""
    [ "$(id -u)" -eq 0 ] || as_root=sudo
    $as_root apt-get update
    DEBIAN_FRONTEND=noninteractive $as_root apt-get install -y --no-install-recommends $missing
}

jobs=$(nproc 2>/dev/null || echo 2)

# 64-bit ARM: Debian's cross compilers, its multiarch :arm64 libraries and qemu-user, which the
# tests call directly (no binfmt handler is registered).
arm64_packages="cmake make pkg-config crossbuild-essential-arm64 qemu-user libsdl2-dev:arm64
    libjpeg62-turbo-dev:arm64 libvorbis-dev:arm64 libogg-dev:arm64 libkissfft-dev:arm64
    zlib1g-dev:arm64"
install_arm64() {
    if ! dpkg --print-foreign-architectures | grep -qx arm64; then
        echo "Adding the arm64 architecture to dpkg"
        if [ "$(id -u)" -eq 0 ]; then dpkg --add-architecture arm64; else sudo dpkg --add-architecture arm64; fi
    fi
    install_missing $arm64_packages "$@"
}
if [ "$mode" = package-arm64 ]; then
    install_arm64 dpkg-dev file lintian desktop-file-utils appstream man-db
    cmake --no-warn-unused-cli -S . -B build/package-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/arm64-linux-gnu.cmake \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_CXX_FLAGS=-D_FORTIFY_SOURCE=2 \
        -DBRINDLEHOP_TESTS=OFF -DBRINDLEHOP_BENCH=OFF -DBRINDLEHOP_TOOLS=OFF >/dev/null
    cmake --build build/package-arm64 -j "$jobs"
    rm -f build/package-arm64/brindlehop_*.deb
    (cd build/package-arm64 && cpack -G DEB)
    exec sh packaging/check-package.sh build/package-arm64/brindlehop_*_arm64.deb
fi

# The browser build: Debian's emscripten, dpkg-dev for `apt-get source`, the native libraries
# whose source versions it follows, chromium for its tests.
web_packages="emscripten dpkg-dev cmake make libjpeg62-turbo-dev libogg-dev libvorbis-dev libkissfft-dev zlib1g-dev"
install_web() {
    install_missing $web_packages "$@"
    # Any node will do for the tests; Debian's npm only where none is installed.
    command -v npm >/dev/null 2>&1 || install_missing nodejs npm
    sh web/build.sh
}
if [ "$mode" = web ]; then
    install_web
    echo "The show is in build/web. Serve it: python3 -m http.server -d build/web 8000"
    echo "and open http://localhost:8000/"
    exit 0
fi

# Windows: the program cross-built with Debian's mingw-w64 against the libraries deps/build.sh
# builds from Debian's sources (at the versions of the native -dev packages), then the program
# folder, the portable zip and the NSIS installer in build/windows (packaging/windows/).
windows_packages="cmake make pkg-config dpkg-dev g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    libsdl2-dev libjpeg62-turbo-dev libogg-dev libvorbis-dev libkissfft-dev zlib1g-dev
    nsis libarchive-tools"
build_windows() {
    install_missing $windows_packages "$@"
    # Not piped: a failed library build must stop here.
    windows_deps=$(sh deps/build.sh windows-x64)
    windows_deps=$(printf '%s\n' "$windows_deps" | tail -n 1)
    # The programs alone; the test run's tree (build/windows-cmake) also builds the test programs.
    cmake -S . -B build/windows-show -DCMAKE_TOOLCHAIN_FILE=cmake/windows-x64.cmake \
        -DBRINDLEHOP_DEPS_PREFIX="$windows_deps" -DBRINDLEHOP_TESTS=OFF >/dev/null
    cmake --build build/windows-show -j "$jobs" --target brindlehop brindlehop_console
    sh packaging/windows/package.sh build/windows build/windows-show/brindlehop.exe \
        build/windows-show/brindlehop.com
}
if [ "$mode" = windows ]; then
    build_windows
    echo "The show for Windows is in build/windows: brindlehop.exe with data/, a zip and an installer."
    exit 0
fi

if [ "$mode" = play ]; then
    install_missing $show_packages
    cmake -S . -B build/show -DCMAKE_BUILD_TYPE=Release -DBRINDLEHOP_TESTS=OFF \
        -DBRINDLEHOP_BENCH=OFF -DBRINDLEHOP_TOOLS=OFF >/dev/null
    cmake --build build/show -j "$jobs"
    exec ./build/show/brindlehop "$@"
fi

if [ "$mode" = package ]; then
    install_missing $show_packages dpkg-dev file lintian desktop-file-utils appstream man-db
    cmake -S . -B build/package -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
        -DCMAKE_CXX_FLAGS=-D_FORTIFY_SOURCE=2 \
        -DBRINDLEHOP_TESTS=OFF -DBRINDLEHOP_BENCH=OFF -DBRINDLEHOP_TOOLS=OFF >/dev/null
    cmake --build build/package -j "$jobs"
    rm -f build/package/brindlehop_*.deb
    (cd build/package && cpack -G DEB)
    exec sh packaging/check-package.sh build/package/brindlehop_*.deb
fi

install_missing $test_packages
echo "== the exact reference: build/exact, build/reference =="
sh tests/reference.sh
echo "== release build: tests =="
# The exact decoder's libraries, which the decoder's bound test compares the system's with.
# Not piped: a failed library build must stop here.
deps_prefix=$(sh deps/build.sh native)
deps_prefix=$(printf '%s\n' "$deps_prefix" | tail -n 1)
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DBRINDLEHOP_DEPS_PREFIX="$deps_prefix" >/dev/null
cmake --build build/release -j "$jobs"
(cd build/release && ctest -j "$jobs" --output-on-failure)

echo "== AddressSanitizer and UndefinedBehaviorSanitizer build: tests =="
cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="-O1" \
    -DBRINDLEHOP_SANITIZE=ON -DBRINDLEHOP_BENCH=OFF -DBRINDLEHOP_TOOLS=OFF >/dev/null
cmake --build build/sanitize -j "$jobs"
(cd build/sanitize && ctest -j "$jobs" --output-on-failure)

echo "== fuzzers =="
CXX=clang++ CC=clang cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBRINDLEHOP_FUZZ=ON -DBRINDLEHOP_TESTS=OFF -DBRINDLEHOP_BENCH=OFF -DBRINDLEHOP_TOOLS=OFF >/dev/null
cmake --build build/fuzz -j "$jobs"
(cd build/fuzz && ctest -j "$jobs" --output-on-failure)

echo "== browser build: tests in headless chromium and firefox =="
install_web chromium firefox-esr
sh tests/web/run.sh

echo "== arm64 build under qemu: tests =="
install_arm64 libgtest-dev:arm64 dpkg-dev file lintian desktop-file-utils appstream man-db
sh tests/arm64/run.sh

echo "== Windows build: tests under wine, the zip and the installer =="
install_missing $windows_packages wine wine64 unzip binutils x11-utils
sh tests/windows/run.sh
sh packaging/windows/package.sh build/windows build/windows-cmake/brindlehop.exe \
    build/windows-cmake/brindlehop.com
sh tests/windows/package-test.sh build/windows
