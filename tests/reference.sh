#!/bin/sh
# The frames every port is held to: the show built natively with the exactly compiled decoder
# (deps/build.sh native, linked statically) in build/exact, and its checksums at 60, 50 and 24
# fps in build/reference/checksums-N.txt (the lines of `brindlehop --headless --checksums`).
# A file is written again only when the program or the data is newer than it.
#   sh tests/reference.sh
set -eu
cd "$(dirname "$0")/.."
# Not piped: a failed library build must stop here.
prefix=$(sh deps/build.sh native)
prefix=$(printf '%s\n' "$prefix" | tail -n 1)
cmake -S . -B build/exact -DCMAKE_BUILD_TYPE=Release -DBRINDLEHOP_EXACT_DECODER=ON \
    -DBRINDLEHOP_DEPS_PREFIX="$prefix" -DBRINDLEHOP_TESTS=OFF -DBRINDLEHOP_BENCH=OFF \
    -DBRINDLEHOP_TOOLS=OFF >/dev/null
cmake --build build/exact -j "$(nproc 2>/dev/null || echo 2)" --target brindlehop
mkdir -p build/reference
for fps in 60 50 24; do
    out=build/reference/checksums-$fps.txt
    if [ -s "$out" ] && [ -z "$(find build/exact/brindlehop data -newer "$out" -print 2>/dev/null | head -n 1)" ]; then
        continue
    fi
    echo "reference: checksums at $fps fps" >&2
    ./build/exact/brindlehop --headless --checksums --fps "$fps" >"$out.part"
    mv "$out.part" "$out"
done
