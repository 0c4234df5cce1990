#!/bin/sh
# The browser tests: the page in build/web driven in headless chromium, its checksums against
# the exact native reference in build/reference (tests/reference.sh, brought up to date here).
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
sh tests/reference.sh
NODE_PATH="$PWD/$out/node_modules" node tests/web/web_test.js build/web build/reference \
    "$out/screenshots" "$@"
