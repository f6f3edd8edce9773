#!/usr/bin/env bash
# bmp_to_ico.sh IN.bmp OUT.ico: wraps a 32-bit BMP (BITMAPINFOHEADER, bottom-up) into a
# one-image icon file, as the resource compiler wants it: the header's height counts the
# colour rows and the (all opaque) mask rows, and the mask follows the pixels.
set -euo pipefail
in=$1 out=$2
u32() { od -An -tu4 -j "$1" -N4 "$in" | tr -d ' '; }
u16() { od -An -tu2 -j "$1" -N2 "$in" | tr -d ' '; }
[ "$(head -c2 "$in")" = BM ] || { echo "$in: not a BMP file" >&2; exit 1; }
offset=$(u32 10) header=$(u32 14) width=$(u32 18) height=$(u32 22) bits=$(u16 28)
if [ "$header" != 40 ] || [ "$bits" != 32 ] || [ "$width" -gt 256 ] || [ "$height" -gt 256 ]; then
  echo "$in: expected a 32-bit BMP of at most 256 x 256 with a 40-byte header" >&2
  exit 1
fi
pixels=$((width * height * 4))
mask=$((((width + 31) / 32) * 4 * height))
size=$((40 + pixels + mask))
byte() { printf "\\$(printf '%03o' $(($1 & 255)))"; }
le32() { byte "$1"; byte $(($1 >> 8)); byte $(($1 >> 16)); byte $(($1 >> 24)); }
le16() { byte "$1"; byte $(($1 >> 8)); }
{
  # ICONDIR: reserved, type 1 (icon), one image.
  printf '\x00\x00\x01\x00\x01\x00'
  # ICONDIRENTRY: width, height (0 means 256), colours, reserved, planes, bits, size, offset.
  byte "$width"; byte "$height"; byte 0; byte 0
  le16 1; le16 32; le32 "$size"; le32 22
  # BITMAPINFOHEADER with the doubled height, then the pixels and a zero (opaque) mask.
  head -c 8 <(tail -c +15 "$in")
  le32 $((height * 2))
  head -c 40 <(tail -c +15 "$in") | tail -c 28
  tail -c +$((offset + 1)) "$in" | head -c "$pixels"
  head -c "$mask" /dev/zero
} > "$out.tmp"
mv "$out.tmp" "$out"
