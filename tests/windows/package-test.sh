#!/bin/sh
# The Windows release as a user gets it (`sh run.sh windows` makes it in build/windows/), under
# Wine, in a Wine prefix of its own for each run:
#   - the portable zip, unpacked into a folder whose path has spaces and non-ASCII letters, runs
#     from there, from another working folder;
#   - the installer installs silently (/S) into Program Files, with its Start-menu entries and
#     its entry in the installed programs; the installed program runs from there;
#   - its uninstaller (/S) removes every file the installer put there, its Start-menu entries and
#     its registry entry, and leaves a file of the user's in the program's folder alone.
# Before Wine: the program's icon and version resources, and the zip's names marked as UTF-8
# (else Windows' own unpacker reads them in the DOS code page and the title cards go missing).
# Each run prints three headless frames' checksum lines, which must agree with each other and,
# when build/reference/checksums-60.txt exists (sh tests/reference.sh), with the reference.
# Usage, from the project root:
#   sh tests/windows/package-test.sh [OUT_DIR]        default build/windows
# Exit status 1 when a check fails, 2 when there is nothing to test.
set -u
out=${1:-build/windows}
reference=build/reference/checksums-60.txt
version=$(sed -n 's/^project(brindlehop VERSION \([0-9]*\.[0-9]*\.[0-9]*\).*/\1/p' CMakeLists.txt)
zip=$out/brindlehop-$version-windows-x64.zip
setup=$out/brindlehop-$version-setup.exe
for f in "$zip" "$setup" "$out/brindlehop.exe"; do
    [ -f "$f" ] || { echo "package-test: no $f (sh run.sh windows makes it)" >&2; exit 2; }
done
failed=0
# printf, not echo: the Windows paths hold backslashes.
pass() { printf 'ok     %s\n' "$1"; }
fail() { printf 'FAILED %s\n' "$1"; failed=1; }
show() { sed 's/^/       /'; }
say() { printf '%s\n' "$1"; }

echo "== the files: $(basename "$zip") $(wc -c < "$zip") bytes, $(basename "$setup") $(wc -c < "$setup") bytes"
resources=$(x86_64-w64-mingw32-windres -i "$out/brindlehop.exe" -O rc 2>&1)
say "$resources" | grep -q 'RT_GROUP_ICON' && pass "brindlehop.exe carries the icon" ||
    fail "brindlehop.exe has no icon resource"
say "$resources" | grep -q "VALUE \"FileVersion\", \"$version\"" &&
    pass "brindlehop.exe's file version: $version" || fail "brindlehop.exe's file version is not $version"

# The zip's central directory, entry by entry: the flags (bit 11: the name is UTF-8) and the name.
zip_entries() {
    size=$(wc -c < "$1")
    # The end record (the zip has no comment): the entry count and the directory's offset.
    count=$(od -An -tu2 -j$((size - 12)) -N2 "$1" | tr -d ' ')
    at=$(od -An -tu4 -j$((size - 6)) -N4 "$1" | tr -d ' ')
    while [ "$count" -gt 0 ]; do
        set -- "$1" $(od -An -tu2 -j$((at + 8)) -N2 "$1") $(od -An -tu2 -j$((at + 28)) -N6 "$1")
        printf '%s ' "$2"
        dd if="$1" bs=1 skip=$((at + 46)) count="$3" 2>/dev/null
        echo
        at=$((at + 46 + $3 + $4 + $5))
        count=$((count - 1))
    done
}
unmarked=$(zip_entries "$zip" | LC_ALL=C grep '[^ -~]' | awk '{ if (int($1 / 2048) % 2 == 0) print }')
marked=$(zip_entries "$zip" | LC_ALL=C grep -c '[^ -~]')
[ "$marked" -gt 0 ] && [ -z "$unmarked" ] && pass "the zip's $marked non-ASCII names are marked UTF-8" ||
    { say "$unmarked" | show; fail "zip names not marked UTF-8"; }

command -v wine >/dev/null || { echo "package-test: no wine" >&2; exit 2; }
prefix=$(mktemp -d)
work=$(mktemp -d)
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
    wineserver -k 2>/dev/null
    rm -rf "$prefix" "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
started=$(date +%s)
wineboot -i >/dev/null 2>&1
wineserver -w
echo "== Wine $(wine --version 2>/dev/null), prefix ready in $(($(date +%s) - started)) s"
drive=$prefix/drive_c
# Every path under C:, less the temporary files of Wine and of the uninstaller's own copy
# (which Windows deletes at the next start).
listing() { (cd "$drive" && find . | grep -v '^\./users/[^/]*/\(Temp\|AppData/Local/Temp\)/' | sort); }
# The console companion where there is one: the console waits for it and sees its status.
console=brindlehop.com
[ -f "$out/$console" ] || console=brindlehop.exe

# Runs the program in Windows folder $1 from another working folder: its version, then three
# headless frames (stdout to $2); status 0 and the version are checked here.
frames() {
    got=$(cd "$drive" && wine "$1\\$console" --version 2>/dev/null | tr -d '\r')
    [ "$got" = "brindlehop $version" ] && pass "$1\\$console --version" ||
        fail "$1\\$console --version: '$got', wanted 'brindlehop $version'"
    (cd "$drive" && wine "$1\\$console" --headless --at 1,40,99 2>"$work/err") |
        tr -d '\r' | grep '^frame ' > "$2"
    if [ "$(wc -l < "$2")" = 3 ]; then
        show < "$2"; pass "$1\\$console --headless --at 1,40,99"
    else
        show < "$work/err"; fail "$1\\$console --headless --at 1,40,99: $(wc -l < "$2") frames"
    fi
}

echo "== the zip, unpacked into a folder with spaces and non-ASCII letters"
folder='users\Public\Spil og lyd\Brindlehop på Ærø, Ωμέγα'
unix_folder=$drive/$(printf '%s' "$folder" | tr '\\' /)
mkdir -p "$unix_folder" && unzip -q "$zip" -d "$unix_folder" || fail "unzip"
zip_program="C:\\$folder\\brindlehop-$version-windows-x64"
frames "$zip_program" "$work/zip.txt"

echo "== the installer: $(basename "$setup") /S"
before=$(listing)
setup_path=$(winepath -w "$(cd "$(dirname "$setup")" && pwd)/$(basename "$setup")")
(cd "$work" && wine "$setup_path" /S)
status=$?
wineserver -w
[ "$status" = 0 ] && pass "silent install, exit status 0" || fail "silent install: exit status $status"
installed=$(listing | grep -vxF "$before")
say "$installed" | grep -c . | sed 's/^/       paths installed: /'
program_files=$(say "$installed" | grep -c '^\./Program Files/Brindlehop/')
shipped=$(cd "$unix_folder/brindlehop-$version-windows-x64" && find . -mindepth 1 | wc -l)
# The zip's files, the uninstaller, and the program's folder itself.
[ "$program_files" = $((shipped + 1)) ] && say "$installed" | grep -qx './Program Files/Brindlehop' &&
    pass "C:\\Program Files\\Brindlehop: the zip's $shipped files and folders and the uninstaller" ||
    fail "C:\\Program Files\\Brindlehop holds $program_files paths, wanted $((shipped + 1))"
menu="ProgramData/Microsoft/Windows/Start Menu/Programs/Brindlehop"
if [ -f "$drive/$menu/Brindlehop.lnk" ] && [ -f "$drive/$menu/Play in a Window.lnk" ] &&
    strings -el "$drive/$menu/Play in a Window.lnk" | grep -q -- '--window'; then
    pass "Start menu: Brindlehop, Play in a Window (--window)"
else
    fail "Start-menu entries"
fi
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Brindlehop'
entry=$(wine reg query "$key" 2>/dev/null | tr -d '\r')
say "$entry" | grep -E 'DisplayName|DisplayVersion|UninstallString' | show
say "$entry" | grep -q "DisplayVersion *REG_SZ *$version\$" &&
    say "$entry" | grep -q 'UninstallString *REG_SZ *"C:\\Program Files\\Brindlehop\\uninstall.exe"$' &&
    pass "listed in the installed programs" || fail "no entry in the installed programs"

echo "== the installed program"
frames 'C:\Program Files\Brindlehop' "$work/installed.txt"
# The windowed program, as the Start menu starts it, writing a picture.
(cd "$drive" && wine 'C:\Program Files\Brindlehop\brindlehop.exe' --headless --at 1 \
    --frames 'C:\users\Public\frames' >/dev/null 2>&1)
status=$?
[ "$status" = 0 ] && [ -n "$(ls "$drive/users/Public/frames/"*.png 2>/dev/null)" ] &&
    pass "brindlehop.exe --headless --frames C:\\users\\Public\\frames --at 1" ||
    fail "brindlehop.exe --headless --frames: exit status $status"
rm -rf "$drive/users/Public/frames"
if cmp -s "$work/zip.txt" "$work/installed.txt"; then
    pass "the zip's and the installed program's frames agree"
else
    fail "the zip's and the installed program's frames differ"
fi
if [ -f "$reference" ]; then
    grep -vxFf "$reference" "$work/installed.txt" > "$work/unlike.txt"
    [ ! -s "$work/unlike.txt" ] && pass "the frames are the reference's ($reference)" ||
        { show < "$work/unlike.txt"; fail "frames unlike the reference's"; }
fi

echo "== the uninstaller: uninstall.exe /S"
echo "mine" > "$drive/Program Files/Brindlehop/notes.txt"
(cd "$work" && wine 'C:\Program Files\Brindlehop\uninstall.exe' /S)
status=$?
wineserver -w
# The uninstaller runs as a copy of itself in the temporary folder, which goes at the next start.
wineboot -r >/dev/null 2>&1
wineserver -w
[ "$status" = 0 ] && pass "silent uninstall, exit status 0" || fail "silent uninstall: exit status $status"
left=$(listing | grep -vxF "$before")
if [ "$left" = "$(printf './Program Files/Brindlehop\n./Program Files/Brindlehop/notes.txt')" ]; then
    pass "every installed file removed; the user's notes.txt and so its folder kept"
else
    say "$left" | show; fail "the uninstall left other paths"
fi
wine reg query "$key" >/dev/null 2>&1 && fail "the installed programs' entry is still there" ||
    pass "the installed programs' entry removed"
exit $failed
