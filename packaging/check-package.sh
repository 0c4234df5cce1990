#!/bin/sh
# Checks a built package the way a distribution would: lintian, the desktop entry, the AppStream
# metadata and the manual page, each from the package's own files. Usage:
#   sh packaging/check-package.sh build/package/brindlehop_*.deb
# Exit status 1 when any check fails. Lintian's errors fail; its other notes are shown, and the
# ones that do not apply are explained in packaging/lintian-overrides.
set -u
deb=${1:?usage: check-package.sh PACKAGE.deb}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root" || exit 1
failed=0
check() {
    name=$1; shift
    if out=$("$@" 2>&1); then
        echo "ok     $name"
    else
        echo "FAILED $name"; failed=1
    fi
    [ -n "$out" ] && echo "$out" | sed 's/^/       /'
}
# Errors fail the check; warnings and notes are shown.
check "lintian $(basename "$deb")" lintian --fail-on error --display-info "$deb"
check "desktop-file-validate" desktop-file-validate "$root"/usr/share/applications/brindlehop.desktop
check "appstreamcli validate" appstreamcli validate --no-net --pedantic "$root"/usr/share/metainfo/*.metainfo.xml
# man prints groff's warnings on stderr; the page itself is thrown away.
check "man -l brindlehop.6.gz" sh -c "MANWIDTH=80 man --warnings -l '$root/usr/share/man/man6/brindlehop.6.gz' 2>&1 >/dev/null | grep . && exit 1; exit 0"
exit $failed
