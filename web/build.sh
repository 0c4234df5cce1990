#!/bin/sh
# Builds the show for a browser into build/web (index.html, page.js, brindlehop.js and .wasm,
# data/), with the wasm libraries from deps/build.sh (kept in its cache) and the CMake tree in
# build/web-cmake.
#   sh web/build.sh
set -eu
cd "$(dirname "$0")/.."
# Debian's emscripten runs on Debian's Node.js modules, wherever `node` itself comes from.
export NODE_PATH=/usr/share/nodejs
# Not piped: a failed library build must stop here.
prefix=$(sh deps/build.sh wasm)
prefix=$(printf '%s\n' "$prefix" | tail -n 1)
emcmake cmake -S web -B build/web-cmake -DBRINDLEHOP_WASM_DEPS="$prefix" \
    -DBRINDLEHOP_SITE_DIR="$PWD/build/web" >/dev/null
cmake --build build/web-cmake -j "$(nproc 2>/dev/null || echo 2)"
