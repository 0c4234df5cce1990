#!/bin/sh
# The browser tests: the page in build/web driven in headless chromium, its checksums against
# the native release build's (build/release/brindlehop --headless --checksums). puppeteer-core comes from npm at
# the version package-lock.json pins, installed once into build/web-tests.
#   sh tests/web/run.sh
set -eu
cd "$(dirname "$0")/../.."
out=build/web-tests
mkdir -p "$out"
if ! cmp -s tests/web/package-lock.json "$out/package-lock.json" || [ ! -d "$out/node_modules" ]; then
    cp tests/web/package.json tests/web/package-lock.json "$out/"
    (cd "$out" && npm ci --no-audit --no-fund --loglevel=error)
fi
./build/release/brindlehop --headless --checksums --fps 60 >"$out/native_checksums.txt" 2>/dev/null
NODE_PATH="$PWD/$out/node_modules" node tests/web/web_test.js build/web \
    "$out/native_checksums.txt" "$out/screenshots" "$@"
