#!/bin/sh
# The browser tests: the page in build/web driven in headless chromium and firefox-esr, its
# checksums against the native reference in build/reference (written by tests/reference.sh, a
# native build with the exactly compiled decoder). puppeteer-core comes from npm at the version
# package-lock.json pins, installed once into build/web-tests.
#   sh tests/web/run.sh
set -eu
cd "$(dirname "$0")/../.."
out=build/web-tests
mkdir -p "$out"
if ! cmp -s tests/web/package-lock.json "$out/package-lock.json" || [ ! -d "$out/node_modules" ]; then
    cp tests/web/package.json tests/web/package-lock.json "$out/"
    (cd "$out" && npm ci --no-audit --no-fund --loglevel=error)
fi
if [ -f tests/reference.sh ]; then
    sh tests/reference.sh
fi
for fps in 60 50 24; do
    if [ ! -s "build/reference/checksums-$fps.txt" ]; then
        echo "tests/web/run.sh: build/reference/checksums-$fps.txt is missing (sh tests/reference.sh writes it)" >&2
        exit 1
    fi
done
NODE_PATH="$PWD/$out/node_modules" node tests/web/web_test.js build/web build/reference \
    "$out/screenshots" --native build/release/brindlehop "$@"
