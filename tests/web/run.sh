#!/bin/sh
# The browser tests: the pixel operations' test programs built for WebAssembly with SIMD, in the
# page's CMake tree (build/web-cmake, from web/build.sh) and run under node, so the browser's
# kernels meet the same slow references as the native ones; then the page in build/web driven in
# headless chromium and firefox-esr, its checksums against the exact native reference in
# build/reference (tests/reference.sh, brought up to date here), its click to first frame
# against the release build's start to first frame.
# puppeteer-core comes from npm at the version package-lock.json pins, installed once into
# build/web-tests.
#   sh tests/web/run.sh
set -eu
cd "$(dirname "$0")/../.."
out=build/web-tests
mkdir -p "$out"
if ! cmp -s tests/web/package-lock.json "$out/package-lock.json" || [ ! -d "$out/node_modules" ]; then
    cp tests/web/package.json tests/web/package-lock.json "$out/"
    (cd "$out" && npm ci --no-audit --no-fund --loglevel=error)
fi
NODE_PATH=/usr/share/nodejs emcmake cmake -S web -B build/web-cmake -DBRINDLEHOP_WASM_TESTS=ON >/dev/null
NODE_PATH=/usr/share/nodejs cmake --build build/web-cmake -j "$(nproc 2>/dev/null || echo 2)" \
    --target effects_test gridmap_test
for program in effects_test gridmap_test; do
    node build/web-cmake/$program.js --gtest_brief=1
done
sh tests/reference.sh
NODE_PATH="$PWD/$out/node_modules" node tests/web/web_test.js build/web build/reference \
    "$out/screenshots" --native build/release/brindlehop "$@"
