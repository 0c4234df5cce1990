#!/bin/sh
# Makes the Windows release from the cross-built programs: in OUT_DIR the program folder as it
# is shipped (the programs, any DLL they need that Windows lacks, data/, LICENSE.txt), the
# portable brindlehop-<version>-windows-x64.zip of that folder and the installer
# brindlehop-<version>-setup.exe (brindlehop.nsi). Usage, from anywhere:
#   sh packaging/windows/package.sh OUT_DIR brindlehop.exe [brindlehop.com ...]
# The Start-menu entries start brindlehop.exe. The version is CMakeLists.txt's. Needs bsdtar
# (libarchive-tools), makensis (nsis) and binutils-mingw-w64-x86-64. Exit status 2 on bad
# arguments, 1 when a step fails.
set -eu
[ $# -ge 2 ] || { echo "usage: package.sh OUT_DIR PROGRAM.exe..." >&2; exit 2; }
out=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
for exe in "$@"; do
    [ -f "$exe" ] || { echo "package: $exe: no such program" >&2; exit 2; }
done
# OUT_DIR holds only what this script makes, and each run starts it afresh.
if [ -e "$out/CMakeCache.txt" ] || [ -e "$out/CMakeLists.txt" ]; then
    echo "package: $out is a build or source tree; name a folder of its own" >&2
    exit 2
fi

version=$(sed -n 's/^project(brindlehop VERSION \([0-9]*\.[0-9]*\.[0-9]*\).*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || { echo "package: no version in $root/CMakeLists.txt" >&2; exit 1; }
name=brindlehop-$version-windows-x64
objdump=x86_64-w64-mingw32-objdump
# UTF-8 file names (the title cards' å) pass through bsdtar and makensis only in a UTF-8 locale.
export LC_ALL=C.UTF-8

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stage=$work/$name
mkdir -p "$stage"

# The DLLs a program imports that come with the compiler (the C++ and thread runtimes, when not
# linked statically) or that were built beside the program go with it; every other DLL is
# Windows' own. A DLL found is searched in turn for the DLLs it needs.
gcc_dir=$(dirname "$(x86_64-w64-mingw32-gcc-posix -print-libgcc-file-name)")
search_dirs="$gcc_dir /usr/x86_64-w64-mingw32/lib /usr/x86_64-w64-mingw32/bin"
add_dlls() {
    for dll in $("$objdump" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr -d '\r'); do
        [ -e "$stage/$dll" ] && continue
        for dir in "$(dirname "$1")" $search_dirs; do
            if [ -f "$dir/$dll" ]; then
                cp "$dir/$dll" "$stage/$dll"
                add_dlls "$stage/$dll"
                break
            fi
        done
    done
}
for exe in "$@"; do
    cp "$exe" "$stage/"
    add_dlls "$exe"
done
# Without the debugging sections the libraries bring, as the Debian package strips its program.
for file in "$stage"/*; do
    x86_64-w64-mingw32-strip --strip-unneeded "$file"
done
cp -R "$root/data" "$stage/data"
# Windows' own editors and the installer's licence page read UTF-8 by its byte-order mark.
{ printf '\357\273\277'; sed 's/$/\r/' "$root/LICENSE"; } > "$stage/LICENSE.txt"
sh "$here/make-ico.sh" "$work/brindlehop.ico" "$root"/packaging/icons/brindlehop_256.png \
    "$root"/packaging/icons/brindlehop_128.png "$root"/packaging/icons/brindlehop_48.png

# The installer's lists of files: each folder, its files, and for the uninstaller the same files
# and then the folders, deepest first. NSIS reads `$` as its own; no name may hold a wildcard.
nsis_quote() { printf '%s' "$1" | sed 's/\$/$$/g'; }
if (cd "$stage" && find . | grep -q '[*?"]'); then
    echo "package: a file name holds one of * ? \" , which the installer cannot take" >&2
    exit 1
fi
(
    cd "$stage"
    find . -type d | sort | while IFS= read -r dir; do
        windows_dir=$(printf '%s' "${dir#.}" | tr / '\\')
        printf 'SetOutPath "$INSTDIR%s"\n' "$(nsis_quote "$windows_dir")"
        find "$dir" -mindepth 1 -maxdepth 1 -type f | sort | while IFS= read -r file; do
            printf 'File "%s"\n' "$(nsis_quote "$stage/${file#./}")"
        done
    done
) > "$work/files.nsh"
(
    cd "$stage"
    find . -type f | sort | while IFS= read -r file; do
        printf 'Delete "$INSTDIR\\%s"\n' "$(nsis_quote "${file#./}" | tr / '\\')"
    done
    find . -mindepth 1 -type d | sort -r | while IFS= read -r dir; do
        printf 'RMDir "$INSTDIR\\%s"\n' "$(nsis_quote "${dir#./}" | tr / '\\')"
    done
) > "$work/unfiles.nsh"
size_kb=$(du -sk "$stage" | cut -f1)

mkdir -p "$out"
rm -rf "$out/data" "$out/LICENSE.txt" "$out"/*.exe "$out"/*.com "$out"/*.dll \
    "$out"/brindlehop-*-windows-x64.zip
# bsdtar marks the non-ASCII names as UTF-8 (Info-ZIP's zip does not, and Windows would then
# read them in its old DOS code page); the names go in sorted, so the archive is the same each run.
(cd "$work" && find "$name" | sort |
    bsdtar --format zip --options zip:compression-level=9 -cf "$name.zip" -n -T -)
makensis -V2 -INPUTCHARSET UTF8 -NOCD \
    "-DVERSION=$version" "-DSTAGE=$stage" "-DOUTFILE=$work/brindlehop-$version-setup.exe" \
    "-DICON=$work/brindlehop.ico" "-DLICENSE=$stage/LICENSE.txt" "-DSIZE_KB=$size_kb" \
    "-DFILES=$work/files.nsh" "-DUNFILES=$work/unfiles.nsh" "$here/brindlehop.nsi"
cp -R "$stage"/. "$out/"
mv "$work/$name.zip" "$work/brindlehop-$version-setup.exe" "$out/"
echo "package: $out/$name.zip ($(wc -c < "$out/$name.zip") bytes)"
echo "package: $out/brindlehop-$version-setup.exe ($(wc -c < "$out/brindlehop-$version-setup.exe") bytes)"
