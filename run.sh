#!/bin/sh
# Brindlehop quick start. On Debian 12 or 13, as root (or with sudo):
#   sh run.sh [play] [options]   install what is missing, build, play the show
#   sh run.sh test               install what is missing, build, run every test
set -eu
cd "$(dirname "$0")"

mode=play
case "${1:-}" in
    play) shift ;;
    test) mode=test; shift ;;
esac

show_packages="cmake make g++ pkg-config libsdl2-dev libjpeg62-turbo-dev libvorbis-dev libkissfft-dev zlib1g-dev"
# The fuzzers' runtime is packaged per clang release: clang 14 on Debian 12, clang 19 on 13.
. /etc/os-release
case "${VERSION_ID:-}" in
    12) clang_runtime=libclang-rt-14-dev ;;
    *) clang_runtime=libclang-rt-19-dev ;;
esac
test_packages="$show_packages libgtest-dev libbenchmark-dev clang $clang_runtime libjpeg-turbo-progs ffmpeg libfreetype-dev fonts-dejavu-core fonts-dejavu-extra"

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

if [ "$mode" = play ]; then
    install_missing $show_packages
    cmake -S . -B build/show -DCMAKE_BUILD_TYPE=Release -DBRINDLEHOP_TESTS=OFF \
        -DBRINDLEHOP_BENCH=OFF -DBRINDLEHOP_TOOLS=OFF >/dev/null
    cmake --build build/show -j "$jobs"
    exec ./build/show/brindlehop "$@"
fi

install_missing $test_packages
echo "== release build: tests =="
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
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
