#!/bin/sh
# Writes a Windows icon file from PNG pictures, each kept whole as one of its images (Windows
# Vista and later, and Wine, read PNG-compressed icon images of any size). Usage:
#   sh make-ico.sh OUT.ico IMAGE.png...
# Each PNG must be square and at most 256 px; its size is read from its header.
set -eu
out=${1:?usage: make-ico.sh OUT.ico IMAGE.png...}
shift
[ $# -gt 0 ] || { echo "make-ico: no PNG given" >&2; exit 2; }

# Little-endian integers as printf escapes, so that printf writes them as bytes.
byte() { printf '\\%03o' $(($1 & 255)); }
le16() { byte "$1"; byte $(($1 >> 8)); }
le32() { le16 $(($1 & 65535)); le16 $(($1 >> 16)); }
# The PNG header's big-endian width or height at byte OFFSET.
png_u32() { od -An -tu1 -j"$2" -N4 "$1" | awk '{ print (($1 * 256 + $2) * 256 + $3) * 256 + $4 }'; }

header=$(le16 0)$(le16 1)$(le16 $#)
entries=""
offset=$((6 + 16 * $#))
for png in "$@"; do
    signature=$(od -An -tx1 -N8 "$png" | tr -d ' \n')
    [ "$signature" = 89504e470d0a1a0a ] || { echo "make-ico: $png: not a PNG file" >&2; exit 2; }
    width=$(png_u32 "$png" 16)
    height=$(png_u32 "$png" 20)
    [ "$width" = "$height" ] && [ "$width" -ge 1 ] && [ "$width" -le 256 ] ||
        { echo "make-ico: $png: ${width}x$height, wanted a square of at most 256 px" >&2; exit 2; }
    size=$(wc -c < "$png")
    # A size of 256 is written as 0; no palette; one plane; 32 bits per pixel.
    entries=$entries$(byte "$width")$(byte "$height")$(byte 0)$(byte 0)$(le16 1)$(le16 32)$(le32 "$size")$(le32 "$offset")
    offset=$((offset + size))
done
{
    printf "$header$entries"
    cat "$@"
} > "$out.tmp"
mv "$out.tmp" "$out"
