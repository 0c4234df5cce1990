#!/bin/sh
# Builds the libraries the show links, for one target, from Debian's source packages at the
# versions of the installed amd64 development packages.
#
#   sh deps/build.sh TARGET      TARGET: wasm, native, windows-x64, arm64 or fuzz
#
#   wasm         libjpeg-turbo, libogg, libvorbis, kissfft (float), zlib for emscripten
#   native       libogg, libvorbis, vorbisfile for the host: the exactly compiled decoder
#   arm64        the same, cross-compiled with aarch64-linux-gnu-gcc
#   windows-x64  SDL2 (static, the subsystems the show uses), libjpeg-turbo, libogg, libvorbis,
#                vorbisfile, kissfft (float), zlib with x86_64-w64-mingw32-gcc-posix
#   fuzz         libjpeg-turbo, libogg, libvorbis, vorbisfile with clang, instrumented for
#                libFuzzer and AddressSanitizer, so the fuzzers' coverage reaches into them
#
# Everything lives under ${BRINDLEHOP_DEPS_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/brindlehop-deps}
# (build/deps-cache when there is no home folder):
# apt/ and src/ (the unpacked sources, shared by the targets), and per target TARGET/build and
# TARGET/prefix: include/, lib/ (static archives only) and lib/pkgconfig/*.pc, whose Libs are
# all a static link needs. The prefix is printed as the last line of stdout; logs go to stderr.
#
# The sources come through `apt-get source` with a private apt configuration under apt/: its
# deb-src list is made from the system's own deb lines and is never added to the system. Each
# library is built once; a stamp naming its version (and its recipe's revision) keeps it until
# the installed version changes. Runs for the same target wait for each other.
#
# The Vorbis decoder is compiled exactly: no -ffast-math (Debian's own build has it) and no
# fused multiply-adds, so every target decodes the same samples.
set -eu

usage() {
    echo "usage: sh deps/build.sh wasm|native|windows-x64|arm64|fuzz" >&2
    exit 2
}
[ $# -eq 1 ] || usage
target=$1

case $target in
    wasm)
        cc=emcc ar=emar cflags="-O3 -ffp-contract=off"
        packages="libjpeg62-turbo-dev libogg-dev libvorbis-dev libkissfft-dev zlib1g-dev" ;;
    native)
        cc=gcc ar=ar cflags="-O2 -ffp-contract=off -fPIC"
        packages="libogg-dev libvorbis-dev" ;;
    arm64)
        cc=aarch64-linux-gnu-gcc ar=aarch64-linux-gnu-ar cflags="-O2 -ffp-contract=off -fPIC"
        packages="libogg-dev libvorbis-dev" ;;
    windows-x64)
        cc=x86_64-w64-mingw32-gcc-posix ar=x86_64-w64-mingw32-ar cflags="-O2 -ffp-contract=off"
        packages="libsdl2-dev libjpeg62-turbo-dev libogg-dev libvorbis-dev libkissfft-dev zlib1g-dev" ;;
    fuzz)
        # Not UndefinedBehaviorSanitizer: the fuzzers look for faults in our use of these
        # libraries, and would stop at the first of their own harmless shifts.
        cc=clang ar=ar cflags="-O1 -g -ffp-contract=off -fsanitize=fuzzer-no-link,address"
        packages="libjpeg62-turbo-dev libogg-dev libvorbis-dev" ;;
    *) usage ;;
esac
command -v "$cc" >/dev/null 2>&1 || { echo "deps/build.sh: $cc is not installed" >&2; exit 1; }

# Without a home folder (a bare service environment), the cache stays in the checkout's build/.
default_cache=$(cd "$(dirname "$0")/.." && pwd)/build/deps-cache
[ -n "${HOME:-}" ] && default_cache=$HOME/.cache/brindlehop-deps
[ -n "${XDG_CACHE_HOME:-}" ] && default_cache=$XDG_CACHE_HOME/brindlehop-deps
cache=${BRINDLEHOP_DEPS_DIR:-$default_cache}
mkdir -p "$cache/$target"
cache=$(cd "$cache" && pwd)
apt_dir=$cache/apt
src_dir=$cache/src
dir=$cache/$target
prefix=$dir/prefix
jobs=$(nproc 2>/dev/null || echo 2)
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/sources.list.d" \
    "$src_dir" "$dir/build" "$prefix/include" "$prefix/lib/pkgconfig"

# One build per target at a time; fetching and unpacking sources, one for all targets.
if command -v flock >/dev/null 2>&1; then
    exec 9>"$dir/.lock"
    flock 9
fi

apt_private() {
    apt-get -q -o Dir::Etc::SourceList="$apt_dir/sources.list" \
        -o Dir::Etc::SourceParts="$apt_dir/sources.list.d" \
        -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache" \
        -o APT::Sandbox::User=root "$@"
}

apt_cache_private() {
    apt-cache -o Dir::Etc::SourceList="$apt_dir/sources.list" \
        -o Dir::Etc::SourceParts="$apt_dir/sources.list.d" \
        -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache" "$@"
}

# deb-src twins of the system's deb sources, in both file formats apt reads.
write_source_lists() {
    : >"$apt_dir/sources.list"
    if [ -f /etc/apt/sources.list ]; then
        sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' /etc/apt/sources.list >>"$apt_dir/sources.list"
    fi
    for f in /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f" >>"$apt_dir/sources.list"
    done
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        sed 's/^Types:.*/Types: deb-src/' "$f" >"$apt_dir/sources.list.d/$(basename "$f")"
    done
}

# "source version" of the installed development package (once, though a multiarch twin of
# another architecture is installed too: both have the same version).
source_of() {
    dpkg-query -W -f='${source:Package} ${source:Version}\n' "$1" 2>/dev/null | head -n 1
}

# A mirror that has a source package's tarballs but not its .dsc (apt has checked each tarball
# against the Sources index already) stops `apt-get source`; dpkg-source's own steps for a
# "3.0 (quilt)" package are done by hand then: the upstream tarball, debian/ over it, and the
# patches of debian/patches/series in order.
unpack_without_dsc() {  # name upstream version target
    orig=$(ls "$src_dir/$1_$2".orig.tar.* 2>/dev/null | head -n 1)
    debian=$(ls "$src_dir/$1_${3#*:}".debian.tar.* 2>/dev/null | head -n 1)
    [ -n "$orig" ] && [ -n "$debian" ] || return 1
    echo "deps/build.sh: warning: $1 $3 has no .dsc on the mirror; unpacking its tarballs" >&2
    rm -rf "$4" && mkdir -p "$4"
    tar -xf "$orig" -C "$4" --strip-components=1 && tar -xf "$debian" -C "$4" || return 1
    [ -f "$4/debian/patches/series" ] || return 0
    sed -e 's/#.*//' -e '/^[[:space:]]*$/d' "$4/debian/patches/series" | while read -r patch _; do
        patch -d "$4" -p1 -s -N <"$4/debian/patches/$patch" || return 1
    done
}

fetch_source() {  # name version -> prints the unpacked folder
    (
        if command -v flock >/dev/null 2>&1; then
            exec 8>"$cache/.fetch-lock"
            flock 8
        fi
        fetch_source_locked "$@"
    )
}

fetch_source_locked() {
    name=$1
    version=$2
    upstream=${version#*:}
    upstream=${upstream%-*}
    target_src=$src_dir/$name-$upstream
    if [ ! -f "$target_src/.unpacked-$version" ]; then
        # The index is fetched again only when it does not know the version wanted.
        if ! apt_cache_private showsrc "$name" 2>/dev/null | grep -qx "Version: $version"; then
            write_source_lists
            apt_private update >&2
        fi
        rm -rf "$target_src"
        # A mirror may have dropped the exact version; the nearest one it offers is taken then,
        # with a warning, since a build that stops here helps nobody.
        if ! (cd "$src_dir" && apt_private source "$name=$version" >&2) &&
            ! unpack_without_dsc "$name" "$upstream" "$version" "$target_src"; then
            fetched=no
            for other in $(apt_cache_private showsrc "$name" | sed -n 's/^Version: //p'); do
                [ "$other" = "$version" ] && continue
                echo "deps/build.sh: warning: $name $version not available; trying $other" >&2
                if (cd "$src_dir" && apt_private source "$name=$other" >&2); then
                    fetched=yes
                    break
                fi
            done
            [ "$fetched" = yes ] || { echo "deps/build.sh: cannot fetch the source of $name" >&2; exit 1; }
        fi
        [ -d "$target_src" ] || target_src=$(ls -d "$src_dir/$name"-*/ | head -n 1)
        target_src=${target_src%/}
        touch "$target_src/.unpacked-$version"
    fi
    echo "$target_src"
}

# A pkg-config file in the prefix.  name version requires libs cflags
write_pc() {
    cat >"$prefix/lib/pkgconfig/$1.pc" <<EOF_PC
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: $1
Description: $1 built by deps/build.sh for $target
Version: $2
Requires: $3
Libs: -L\${libdir} $4
Cflags: -I\${includedir} $5
EOF_PC
}

# Compiles C files (relative to the source folder) into prefix/lib/lib<name>.a. CMake's type
# size checks cannot read WebAssembly objects, so the small libraries are built directly.
compile_archive() {  # name source flags -- files...
    name=$1
    source=$2
    flags=$3
    shift 4
    out=$dir/build/$name
    rm -rf "$out" && mkdir -p "$out"
    for c in "$@"; do
        $cc $cflags $flags -c "$source/$c" -o "$out/$(basename "$c" .c).o"
    done
    rm -f "$prefix/lib/lib$name.a"
    $ar rcs "$prefix/lib/lib$name.a" "$out"/*.o
}

# CMake for a cross target: the compilers and where the target's system is.
cmake_cross_args() {
    case $target in
        windows-x64)
            echo "-DCMAKE_SYSTEM_NAME=Windows -DCMAKE_SYSTEM_PROCESSOR=AMD64" \
                "-DCMAKE_C_COMPILER=x86_64-w64-mingw32-gcc-posix" \
                "-DCMAKE_CXX_COMPILER=x86_64-w64-mingw32-g++-posix" \
                "-DCMAKE_RC_COMPILER=x86_64-w64-mingw32-windres" \
                "-DCMAKE_FIND_ROOT_PATH=/usr/x86_64-w64-mingw32" \
                "-DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=NEVER" \
                "-DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY" ;;
        fuzz) echo "-DCMAKE_C_COMPILER=clang" ;;
    esac
}

build_zlib() {  # source version
    compile_archive z "$1" "" -- adler32.c compress.c crc32.c deflate.c inffast.c inflate.c \
        inftrees.c trees.c uncompr.c zutil.c
    cp "$1/zlib.h" "$1/zconf.h" "$prefix/include/"
    write_pc zlib "$2" "" "-lz" ""
}

build_ogg() {
    mkdir -p "$prefix/include/ogg"
    cp "$1/include/ogg/ogg.h" "$1/include/ogg/os_types.h" "$prefix/include/ogg/"
    cat >"$prefix/include/ogg/config_types.h" <<'EOF_TYPES'
#ifndef __CONFIG_TYPES_H__
#define __CONFIG_TYPES_H__
#include <stdint.h>
typedef int16_t ogg_int16_t;
typedef uint16_t ogg_uint16_t;
typedef int32_t ogg_int32_t;
typedef uint32_t ogg_uint32_t;
typedef int64_t ogg_int64_t;
typedef uint64_t ogg_uint64_t;
#endif
EOF_TYPES
    compile_archive ogg "$1" "-I$prefix/include" -- src/bitwise.c src/framing.c
    write_pc ogg "$2" "" "-logg" ""
}

build_vorbis() {
    # Samples are rounded to 16 bits with vorbis_ftoi. On x86-64 that is cvtsd2si: to nearest,
    # ties to even. The portable fallback used elsewhere would round ties up, so it takes rint(),
    # which is the same rounding.
    sed -i 's/return (int)floor(f+.5);/return (int)rint(f);/' "$1/lib/os.h"
    grep -q 'return (int)rint(f);' "$1/lib/os.h" || { echo "deps/build.sh: vorbis_ftoi not found" >&2; exit 1; }
    # Windows builds get a rint() of its own that rounds ties up (floor0's curves use it); the C
    # library's, as elsewhere.
    sed -i '/defined(_WIN32) && !defined(__SYMBIAN32__)/,/#endif/{/define rint(x)/d}' "$1/lib/os.h"
    mkdir -p "$prefix/include/vorbis"
    cp "$1/include/vorbis/codec.h" "$1/include/vorbis/vorbisfile.h" "$prefix/include/vorbis/"
    codec="lib/mdct.c lib/smallft.c lib/block.c lib/envelope.c lib/window.c lib/lsp.c lib/lpc.c
        lib/analysis.c lib/synthesis.c lib/psy.c lib/info.c lib/floor1.c lib/floor0.c lib/res0.c
        lib/mapping0.c lib/registry.c lib/codebook.c lib/sharedbook.c lib/lookup.c lib/bitrate.c"
    vflags="-I$prefix/include -I$1/include -I$1/lib"
    if [ "$target" = wasm ]; then
        # The page links one archive with the file layer inside.
        compile_archive vorbis "$1" "$vflags" -- $codec lib/vorbisfile.c
    else
        compile_archive vorbis "$1" "$vflags" -- $codec
        compile_archive vorbisfile "$1" "$vflags" -- lib/vorbisfile.c
        write_pc vorbisfile "$2" "vorbis" "-lvorbisfile" ""
    fi
    write_pc vorbis "$2" "ogg" "-lvorbis -lm" ""
}

build_kissfft() {
    mkdir -p "$prefix/include/kissfft"
    cp "$1/kiss_fft.h" "$1/kiss_fftr.h" "$1/kiss_fft_log.h" "$prefix/include/kissfft/"
    compile_archive kissfft-float "$1" "-Dkiss_fft_scalar=float" -- kiss_fft.c kiss_fftr.c
    write_pc kissfft-float "$2" "" "-lkissfft-float -lm" "-I\${includedir}/kissfft -Dkiss_fft_scalar=float"
}

# libjpeg-turbo's configuration has many checks; its CMake build works once the two type sizes
# are given for WebAssembly. Only the static library is built and installed. Without nasm the
# SIMD code cannot be assembled for Windows, and the plain C paths are taken.
build_jpeg() {
    out=$dir/build/jpeg
    rm -rf "$out"
    common="-DCMAKE_BUILD_TYPE=Release -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF
        -DWITH_JAVA=OFF"
    if [ "$target" = wasm ]; then
        emcmake cmake -S "$1" -B "$out" -DCMAKE_C_FLAGS_RELEASE="$cflags" $common \
            -DWITH_SIMD=OFF -DSIZE_T=4 -DHAVE_SIZE_T=TRUE \
            -DUNSIGNED_LONG=4 -DHAVE_UNSIGNED_LONG=TRUE >"$dir/build/jpeg.configure.log"
    else
        # The fuzzers need the C paths, which are instrumented; the SIMD code is not.
        simd=OFF
        [ "$target" != fuzz ] && command -v nasm >/dev/null 2>&1 && simd=ON
        # Its package files want an absolute install folder, which mingw's default (c:/...) is not.
        cmake -S "$1" -B "$out" $(cmake_cross_args) -DCMAKE_C_FLAGS_RELEASE="$cflags" $common \
            -DCMAKE_INSTALL_PREFIX="$dir/build/jpeg-install" -DWITH_SIMD=$simd \
            >"$dir/build/jpeg.configure.log"
    fi
    cmake --build "$out" -j "$jobs" --target jpeg-static >"$dir/build/jpeg.build.log"
    cp "$out/libjpeg.a" "$prefix/lib/"
    cp "$1/jpeglib.h" "$1/jerror.h" "$1/jmorecfg.h" "$out/jconfig.h" "$prefix/include/"
    write_pc libjpeg "$2" "" "-ljpeg" ""
}

# SDL2 as a static library with only what the show uses: video with its renderer, events,
# audio, timers and threads. No SDL_main: the program defines SDL_MAIN_HANDLED, so the .pc is
# our own, without SDL's -Dmain=SDL_main -lSDL2main -mwindows.
build_sdl2() {
    out=$dir/build/sdl2
    stage=$dir/build/sdl2-stage
    rm -rf "$out" "$stage"
    cmake -S "$1" -B "$out" $(cmake_cross_args) -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_C_FLAGS_RELEASE="$cflags -DNDEBUG" -DCMAKE_INSTALL_PREFIX="$stage" \
        -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL2_DISABLE_SDL2MAIN=ON \
        -DSDL_VIDEO=ON -DSDL_RENDER=ON -DSDL_EVENTS=ON -DSDL_AUDIO=ON -DSDL_TIMERS=ON \
        -DSDL_THREADS=ON -DSDL_ATOMIC=ON -DSDL_LOADSO=ON -DSDL_CPUINFO=ON -DSDL_FILESYSTEM=ON \
        -DSDL_FILE=ON -DSDL_JOYSTICK=OFF -DSDL_HAPTIC=OFF -DSDL_HIDAPI=OFF -DSDL_SENSOR=OFF \
        -DSDL_POWER=OFF -DSDL_LOCALE=OFF -DSDL_MISC=OFF -DSDL_VULKAN=OFF -DSDL_OPENGLES=OFF \
        >"$dir/build/sdl2.configure.log"
    cmake --build "$out" -j "$jobs" >"$dir/build/sdl2.build.log"
    cmake --install "$out" >"$dir/build/sdl2.install.log"
    rm -rf "$prefix/include/SDL2"
    cp -R "$stage/include/SDL2" "$prefix/include/"
    cp "$stage/lib/libSDL2.a" "$prefix/lib/"
    write_pc sdl2 "$2" "" "-lSDL2 $(sdl2_system_libs "$stage/lib/pkgconfig/sdl2.pc")" \
        "-I\${includedir}/SDL2"
}

# The system libraries a static SDL2 needs, as its own .pc lists them, without its entry point
# (-lmingw32 -lSDL2main -mwindows) and without itself.
sdl2_system_libs() {  # sdl2.pc
    sed -n 's/^Libs\(.private\)\{0,1\}://p' "$1" | tr ' ' '\n' | grep -e '^-l' |
        grep -v -x -e -lSDL2 -e -lSDL2main -e -lmingw32 | awk '!seen[$0]++' | tr '\n' ' '
}

# A recipe's revision: raised when a recipe changes, so the stamps of old builds no longer match.
recipe_revision() {
    case $1 in
        libvorbis) echo 2 ;;
        *) echo 1 ;;
    esac
}

build_one() {  # package
    info=$(source_of "$1")
    [ -n "$info" ] || { echo "deps/build.sh: $1 is not installed; its version is the one built" >&2; exit 1; }
    set -- $info
    package=$1
    version=$2
    stamp=$prefix/.built-$package-$version-r$(recipe_revision "$package")
    [ -f "$stamp" ] && return 0
    echo "$target: building $package $version" >&2
    source=$(fetch_source "$package" "$version")
    upstream=${version#*:}
    upstream=${upstream%-*}
    upstream=${upstream%+dfsg*}
    upstream=${upstream%.dfsg*}
    case $package in
        zlib) build_zlib "$source" "$upstream" ;;
        libogg) build_ogg "$source" "$upstream" ;;
        libvorbis) build_vorbis "$source" "$upstream" ;;
        libjpeg-turbo) build_jpeg "$source" "$upstream" ;;
        kissfft) build_kissfft "$source" "$upstream" ;;
        libsdl2) build_sdl2 "$source" "$upstream" ;;
        *) echo "deps/build.sh: no recipe for $package" >&2; exit 1 ;;
    esac
    rm -f "$prefix/.built-$package-"*
    touch "$stamp"
}

for p in $packages; do
    build_one "$p"
done
echo "$prefix"
