#!/bin/sh
# Builds the show for a browser into build/web (index.html, page.js, brindlehop.js and .wasm,
# data/), with the wasm libraries cached in build/web-deps and the CMake tree in build/web-cmake.
#   sh web/build.sh
set -eu
cd "$(dirname "$0")/.."
# Debian's emscripten runs on Debian's Node.js modules, wherever `node` itself comes from.
export NODE_PATH=/usr/share/nodejs
sh web/deps.sh build/web-deps
emcmake cmake -S web -B build/web-cmake -DBRINDLEHOP_WASM_DEPS="$PWD/build/web-deps/prefix" \
    -DBRINDLEHOP_SITE_DIR="$PWD/build/web" >/dev/null
cmake --build build/web-cmake -j "$(nproc 2>/dev/null || echo 2)"
