#!/bin/sh
# Builds the libraries the show links (libjpeg-turbo, libogg, libvorbis, kissfft, zlib) for
# WebAssembly from Debian's source packages, at the versions the native build links.
#
#   sh web/deps.sh DIR      DIR/prefix gets include/ and lib/; DIR/src the unpacked sources
#
# The sources come through `apt-get source` with a private apt configuration under DIR/apt: its
# deb-src list is made from the system's own deb lines and is never added to the system. Each
# library is built once; a stamp naming its version keeps it until the installed version changes.
set -eu

dir=$(mkdir -p "$1" && cd "$1" && pwd)
apt_dir=$dir/apt
src_dir=$dir/src
prefix=$dir/prefix
jobs=$(nproc 2>/dev/null || echo 2)
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/sources.list.d" \
    "$src_dir" "$prefix/include" "$prefix/lib"

# The native development package of each library, whose source package and version we follow.
packages="libjpeg62-turbo-dev libogg-dev libvorbis-dev libkissfft-dev zlib1g-dev"

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

# "source version" of the installed development package.
source_of() {
    dpkg-query -W -f='${source:Package} ${source:Version}\n' "$1"
}

# A mirror that has a source package's tarballs but not its .dsc (apt has checked each tarball
# against the Sources index already) stops `apt-get source`; dpkg-source's own steps for a
# "3.0 (quilt)" package are done by hand then: the upstream tarball, debian/ over it, and the
# patches of debian/patches/series in order.
unpack_without_dsc() {  # name upstream version target
    orig=$(ls "$src_dir/$1_$2".orig.tar.* 2>/dev/null | head -n 1)
    debian=$(ls "$src_dir/$1_${3#*:}".debian.tar.* 2>/dev/null | head -n 1)
    [ -n "$orig" ] && [ -n "$debian" ] || return 1
    echo "web/deps.sh: warning: $1 $3 has no .dsc on the mirror; unpacking its tarballs" >&2
    rm -rf "$4" && mkdir -p "$4"
    tar -xf "$orig" -C "$4" --strip-components=1 && tar -xf "$debian" -C "$4" || return 1
    [ -f "$4/debian/patches/series" ] || return 0
    sed -e 's/#.*//' -e '/^[[:space:]]*$/d' "$4/debian/patches/series" | while read -r patch _; do
        patch -d "$4" -p1 -s -N <"$4/debian/patches/$patch" || return 1
    done
}

updated=no
fetch_source() {  # name version -> prints the unpacked folder
    name=$1
    version=$2
    upstream=${version#*:}
    upstream=${upstream%-*}
    target=$src_dir/$name-$upstream
    if [ ! -f "$target/.unpacked-$version" ]; then
        if [ "$updated" = no ]; then
            write_source_lists
            apt_private update >&2
            updated=yes
        fi
        rm -rf "$target"
        # A mirror may have dropped the exact version; the nearest one it offers is taken then,
        # with a warning, since a build that stops here helps nobody.
        if ! (cd "$src_dir" && apt_private source "$name=$version" >&2) &&
            ! unpack_without_dsc "$name" "$upstream" "$version" "$target"; then
            fetched=no
            for other in $(apt_cache_private showsrc "$name" | sed -n 's/^Version: //p'); do
                [ "$other" = "$version" ] && continue
                echo "web/deps.sh: warning: $name $version not available; trying $other" >&2
                if (cd "$src_dir" && apt_private source "$name=$other" >&2); then
                    fetched=yes
                    break
                fi
            done
            [ "$fetched" = yes ] || { echo "web/deps.sh: cannot fetch the source of $name" >&2; exit 1; }
        fi
        [ -d "$target" ] || target=$(ls -d "$src_dir/$name"-*/ | head -n 1)
        target=${target%/}
        touch "$target/.unpacked-$version"
    fi
    echo "$target"
}

cflags="-O3 -ffp-contract=off"

# Compiles C files (relative to the source folder) into DIR/prefix/lib/lib<name>.a. CMake's type
# size checks cannot read WebAssembly objects, so the small libraries are built directly.
compile_archive() {  # name source flags -- files...
    name=$1
    source=$2
    flags=$3
    shift 4
    out=$dir/build/$name
    rm -rf "$out" && mkdir -p "$out"
    for c in "$@"; do
        emcc $cflags $flags -c "$source/$c" -o "$out/$(basename "$c" .c).o"
    done
    rm -f "$prefix/lib/lib$name.a"
    emar rcs "$prefix/lib/lib$name.a" "$out"/*.o
}

build_zlib() {
    compile_archive z "$1" "" -- adler32.c compress.c crc32.c deflate.c inffast.c inflate.c \
        inftrees.c trees.c uncompr.c zutil.c
    cp "$1/zlib.h" "$1/zconf.h" "$prefix/include/"
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
}

build_vorbis() {
    # Samples are rounded to 16 bits with vorbis_ftoi. On x86-64 that is cvtsd2si: to nearest,
    # ties to even. The portable fallback used here would round ties up, so it takes rint(),
    # which is the same rounding.
    sed -i 's/return (int)floor(f+.5);/return (int)rint(f);/' "$1/lib/os.h"
    grep -q 'return (int)rint(f);' "$1/lib/os.h" || { echo "web/deps.sh: vorbis_ftoi not found" >&2; exit 1; }
    mkdir -p "$prefix/include/vorbis"
    cp "$1/include/vorbis/codec.h" "$1/include/vorbis/vorbisfile.h" "$prefix/include/vorbis/"
    compile_archive vorbis "$1" "-I$prefix/include -I$1/include -I$1/lib" -- lib/mdct.c \
        lib/smallft.c lib/block.c lib/envelope.c lib/window.c lib/lsp.c lib/lpc.c lib/analysis.c \
        lib/synthesis.c lib/psy.c lib/info.c lib/floor1.c lib/floor0.c lib/res0.c lib/mapping0.c \
        lib/registry.c lib/codebook.c lib/sharedbook.c lib/lookup.c lib/bitrate.c lib/vorbisfile.c
}

build_kissfft() {
    mkdir -p "$prefix/include/kissfft"
    cp "$1/kiss_fft.h" "$1/kiss_fftr.h" "$1/kiss_fft_log.h" "$prefix/include/kissfft/"
    compile_archive kissfft-float "$1" "-Dkiss_fft_scalar=float" -- kiss_fft.c kiss_fftr.c
}

# libjpeg-turbo's configuration has many checks; its CMake build works once the two type sizes
# are given. Only the static library is built and installed.
build_jpeg() {
    out=$dir/build/jpeg
    rm -rf "$out"
    emcmake cmake -S "$1" -B "$out" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_C_FLAGS_RELEASE="$cflags" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
        -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF -DSIZE_T=4 -DHAVE_SIZE_T=TRUE \
        -DUNSIGNED_LONG=4 -DHAVE_UNSIGNED_LONG=TRUE >"$dir/build/jpeg.configure.log"
    cmake --build "$out" -j "$jobs" --target jpeg-static >"$dir/build/jpeg.build.log"
    cp "$out/libjpeg.a" "$prefix/lib/"
    cp "$1/jpeglib.h" "$1/jerror.h" "$1/jmorecfg.h" "$out/jconfig.h" "$prefix/include/"
}

build_one() {  # package
    set -- $(source_of "$1")
    name=$1
    version=$2
    stamp=$prefix/.built-$name-$version
    [ -f "$stamp" ] && return 0
    echo "wasm: building $name $version" >&2
    source=$(fetch_source "$name" "$version")
    mkdir -p "$dir/build"
    case $name in
        zlib) build_zlib "$source" ;;
        libogg) build_ogg "$source" ;;
        libvorbis) build_vorbis "$source" ;;
        libjpeg-turbo) build_jpeg "$source" ;;
        kissfft) build_kissfft "$source" ;;
        *) echo "web/deps.sh: no recipe for $name" >&2; exit 1 ;;
    esac
    rm -f "$prefix/.built-$name-"*
    touch "$stamp"
}

for p in $packages; do
    build_one "$p"
done
