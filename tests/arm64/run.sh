#!/bin/sh
# The show built for 64-bit ARM and run under qemu-user, called directly (no binfmt handler):
#   1. the unit test programs, cross-built, through ctest's emulator (build/arm64), with the
#      decoder's bound: the samples of Debian's arm64 libvorbis against the exact decoder's
#      (deps/build.sh arm64, cross-compiled exactly);
#   2. every frame at 60 fps of a build linked with the exact decoder against
#      build/reference/checksums-60.txt, the amd64 reference (tests/reference.sh);
#   3. the arm64 package (sh run.sh package arm64): checked like the amd64 one, then its own
#      program, unpacked, prints its version and the amd64 package's checksums at 1, 40 and 99 s.
# Needs what `sh run.sh test` installs (install_arm64 there). Usage: sh tests/arm64/run.sh
set -eu
cd "$(dirname "$0")/../.."
jobs=$(nproc 2>/dev/null || echo 2)
toolchain=$PWD/cmake/arm64-linux-gnu.cmake
qemu=qemu-aarch64
out=build/arm64-tests
mkdir -p "$out"

echo "-- arm64: unit tests under $qemu"
# Not piped: a failed library build must stop here.
prefix=$(sh deps/build.sh arm64)
prefix=$(printf '%s\n' "$prefix" | tail -n 1)
cmake --no-warn-unused-cli -S . -B build/arm64 -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DBRINDLEHOP_DEPS_PREFIX="$prefix" -DBRINDLEHOP_BENCH=OFF -DBRINDLEHOP_TOOLS=OFF >/dev/null
cmake --build build/arm64 -j "$jobs"
# Left out: the tests that start a program of this tree as a new process (the show's program, or
# the test itself for a death test: the display's Escape, the closed standard streams, the PNG
# whose close fails), since the kernel cannot start an arm64 program without a
# binfmt handler (the show's program is run under the emulator below instead); and the music
# generator's tests, of a tool this tree does not build, which take minutes under emulation.
spawning='^(ProgramTest|Program|DataCopy|Frames)\.|^Display\.EscapeEndsTheProcessWithStatusZero$|^StandardStreams\.EachClosedDescriptorIsOpenedAgainOnItsOwn$|^PngWriter\.APictureWhoseCloseFailsIsNotPutInPlace$'
(cd build/arm64 && ctest -j "$jobs" --output-on-failure -E "$spawning|^TuneTest\.")
# No x86 code: the AVX2 clones, their resolvers and the AVX2 kernels are compiled out by
# architecture, so none of their symbols is in the arm64 program.
if aarch64-linux-gnu-nm -C build/arm64/brindlehop | grep -iE 'avx2|\.default\]|\.resolver|Wide\('; then
    echo "FAILED: x86 clones or kernels in the arm64 program"
    exit 1
fi
echo "ok     no AVX2 clone, resolver or kernel in the arm64 program"

echo "-- arm64: every frame at 60 fps with the exact decoder against the amd64 reference"
cmake --no-warn-unused-cli -S . -B build/arm64-exact -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DBRINDLEHOP_EXACT_DECODER=ON -DBRINDLEHOP_DEPS_PREFIX="$prefix" \
    -DBRINDLEHOP_TESTS=OFF -DBRINDLEHOP_BENCH=OFF -DBRINDLEHOP_TOOLS=OFF >/dev/null
cmake --build build/arm64-exact -j "$jobs" --target brindlehop
[ -f build/reference/checksums-60.txt ] || sh tests/reference.sh
$qemu build/arm64-exact/brindlehop --headless --checksums --fps 60 >"$out/checksums-60.txt"
if ! cmp -s build/reference/checksums-60.txt "$out/checksums-60.txt"; then
    echo "FAILED: arm64 frames differ from the amd64 reference (first differences below)"
    diff build/reference/checksums-60.txt "$out/checksums-60.txt" | head -n 20
    exit 1
fi
echo "ok     $(grep -c '^frame ' "$out/checksums-60.txt") frames equal build/reference/checksums-60.txt"

echo "-- arm64: the package, checked and run from its unpacked files"
sh run.sh package >"$out/package-amd64.log" || { cat "$out/package-amd64.log"; exit 1; }
sh run.sh package arm64
for arch in amd64 arm64; do
    rm -rf "$out/root-$arch" && mkdir -p "$out/root-$arch"
    dpkg-deb -x build/package*/brindlehop_*_"$arch".deb "$out/root-$arch"
done
# The unpacked program's data is in its own share folder, not yet in /usr/share. The emulator
# takes the arm64 loader and libraries from the multiarch folders (libc6:arm64 and the rest).
amd64_program() { "$out/root-amd64/usr/bin/brindlehop" --data "$out/root-amd64/usr/share/brindlehop" "$@"; }
arm64_program() { $qemu "$out/root-arm64/usr/bin/brindlehop" --data "$out/root-arm64/usr/share/brindlehop" "$@"; }
file "$out/root-arm64/usr/bin/brindlehop" | grep -q "ARM aarch64" ||
    { echo "FAILED: the arm64 package's program is not an arm64 program"; exit 1; }
version=$(arm64_program --version)
[ "$version" = "$(amd64_program --version)" ] || { echo "FAILED: version '$version'"; exit 1; }
echo "ok     arm64 program under $qemu: $version"
amd64_program --headless --at 1,40,99 2>/dev/null | grep '^frame ' >"$out/package-amd64-at.txt"
arm64_program --headless --at 1,40,99 2>/dev/null | grep '^frame ' >"$out/package-arm64-at.txt"
if [ "$(wc -l <"$out/package-arm64-at.txt")" -eq 3 ] &&
    cmp -s "$out/package-amd64-at.txt" "$out/package-arm64-at.txt"; then
    echo "ok     arm64 package gives the amd64 package's checksums at 1, 40 and 99 s"
else
    echo "FAILED: the packages' checksums at 1, 40 and 99 s differ"
    diff "$out/package-amd64-at.txt" "$out/package-arm64-at.txt"
    echo "with the exact decoder both give (build/reference, and every frame above):"
    grep -E '^frame (60|2400|5940) ' build/reference/checksums-60.txt
    exit 1
fi
