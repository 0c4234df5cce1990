#!/bin/sh
# The package as a user installs it: in a fresh Debian 12 root, `apt-get install ./brindlehop_*.deb`,
# then, from /, the version, three headless frames with the build tree's checksums and the
# missing-display status; then `apt-get purge` must leave none of the package's files behind.
# Needs root and the network (apt); runs outside ctest. From the project root:
#
#   sh run.sh package && sh tests/package/installed-test.sh
#   sh tests/package/installed-test.sh [PACKAGE.deb [BUILD TREE]]   # default: the newest package,
#                                                                   # build/release
#
# The base root is the cache that ../shared/tools/fresh-debian.sh builds
# (/var/tmp/fresh-debian-bookworm.tgz; BASE=... names another). Exit status 1 when a check fails.
set -u
[ "$(id -u)" = 0 ] || { echo "installed-test: run as root" >&2; exit 2; }
deb=${1:-$(ls build/package/brindlehop_*_amd64.deb 2>/dev/null | tail -n 1)}
build=${2:-build/release}
[ -x "$build/brindlehop" ] || [ -n "${2:-}" ] || build=build/package
base=${BASE:-/var/tmp/fresh-debian-bookworm.tgz}
moments=1,40,99
[ -f "$deb" ] || { echo "installed-test: no package (sh run.sh package builds it)" >&2; exit 2; }
[ -x "$build/brindlehop" ] || { echo "installed-test: no program in $build" >&2; exit 2; }
[ -f "$base" ] || { echo "installed-test: no base root $base (../shared/tools/fresh-debian.sh 'true' builds it)" >&2; exit 2; }

root=$(mktemp -d /var/tmp/installed-test.XXXX)
cleanup() {
    umount "$root/proc" "$root/dev" 2>/dev/null
    rm -rf "$root"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
tar -C "$root" -xzf "$base" || exit 2
cp /etc/resolv.conf "$root/etc/" 2>/dev/null
ls "$root"/etc/apt/sources.list.d/*.sources >/dev/null 2>&1 && rm -f "$root/etc/apt/sources.list"
cp "$deb" "$root/tmp/" || exit 2
mount --bind /proc "$root/proc" && mount --bind /dev "$root/dev" || exit 2

# A command in the fresh root, from /, with a plain environment: no display, no sound server.
inroot() {
    chroot "$root" /usr/bin/env -i PATH=/usr/local/bin:/usr/bin:/bin HOME=/root LANG=C.UTF-8 \
        /bin/sh -c "cd / && $1"
}
failed=0
pass() { echo "ok     $1"; }
fail() { echo "FAILED $1"; failed=1; }

echo "== install: apt-get install ./$(basename "$deb") in a fresh $(cat "$root/etc/debian_version") root"
inroot "apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -q /tmp/$(basename "$deb")" \
    > "$root/tmp/install.log" 2>&1 || { tail -n 20 "$root/tmp/install.log"; fail "install"; exit 1; }
grep -E "^(Setting up|The following NEW)" "$root/tmp/install.log" | grep -c "Setting up" |
    sed 's/^/       packages set up: /'
pass "install"
inroot "dpkg -L brindlehop" > "$root/tmp/files.txt"
echo "       $(wc -l < "$root/tmp/files.txt") paths installed by brindlehop"

echo "== run from /"
version=$(inroot "brindlehop --version")
expected="brindlehop $(dpkg-deb -f "$deb" Version)"
echo "       $version"
[ "$version" = "$expected" ] && pass "--version" || fail "--version (wanted $expected)"

# Standard output holds the loader's account of the egg, then one checksum line per frame.
frames=/tmp/brindlehop-frames
inroot "brindlehop --headless --frames $frames --at $moments" > "$root/tmp/installed.txt" 2>"$root/tmp/installed.err"
status=$?
here=$(mktemp -d)
"$build/brindlehop" --headless --frames "$here" --at $moments > "$here/build.txt" 2>/dev/null
checksums() { grep '^frame ' "$1"; }
checksums "$root/tmp/installed.txt" | sed 's/^/       installed:  /'
checksums "$here/build.txt" | sed 's/^/       build tree: /'
if [ "$status" = 0 ] && [ "$(checksums "$root/tmp/installed.txt" | wc -l)" = 3 ] &&
    [ "$(checksums "$root/tmp/installed.txt")" = "$(checksums "$here/build.txt")" ]; then
    pass "--headless --frames $frames --at $moments: the build tree's checksums ($build)"
else
    cat "$root/tmp/installed.err"; fail "--headless --at $moments (status $status)"
fi
rm -rf "$here"

inroot "brindlehop" > "$root/tmp/live.txt" 2>&1
status=$?
# Its own message, without the loader's account of the egg that comes before it.
grep -E '^(brindlehop:|  )' "$root/tmp/live.txt" | sed 's/^/       /'
[ "$status" = 3 ] && pass "no display: exit status 3" || fail "no display: exit status $status, wanted 3"

echo "== remove: apt-get purge brindlehop"
inroot "DEBIAN_FRONTEND=noninteractive apt-get purge -y -q brindlehop" > "$root/tmp/purge.log" 2>&1 ||
    { tail -n 20 "$root/tmp/purge.log"; fail "purge"; }
left=0
while IFS= read -r path; do
    [ -e "$root$path" ] || [ -L "$root$path" ] || continue
    # A folder may stay when another package owns it too (/usr/share/man/man6, ...).
    if [ -d "$root$path" ] && ! [ -L "$root$path" ] && inroot "dpkg -S '$path'" >/dev/null 2>&1; then
        continue
    fi
    echo "       left behind: $path"; left=$((left + 1))
done < "$root/tmp/files.txt"
inroot "command -v brindlehop" >/dev/null && { echo "       brindlehop is still on the PATH"; left=$((left + 1)); }
[ "$left" = 0 ] && pass "purge: none of the $(wc -l < "$root/tmp/files.txt") paths left" ||
    fail "purge: $left paths left"
exit $failed
