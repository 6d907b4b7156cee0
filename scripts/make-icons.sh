#!/bin/sh
# Draws the two program icons (48, 32 and 16 px, 32 bpp with alpha) with ImageMagick.
# The .ico files are committed; run this only to change the artwork.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Plexmoor2: a teal tile holding a list of three entries and a magnifier.
convert -size 48x48 xc:none \
    -fill '#0f766e' -draw 'roundrectangle 1,1 46,46 9,9' \
    -fill '#ffffff' -draw 'rectangle 8,10 30,14' -draw 'rectangle 8,19 26,23' -draw 'rectangle 8,28 22,32' \
    -fill none -stroke '#fde68a' -strokewidth 4 -draw 'circle 32,31 32,22' \
    -stroke '#fde68a' -strokewidth 5 -draw 'line 38,37 43,42' \
    "$tmp/b48.png"
# Plexmoor1: an indigo tile with a plug-in block and a slider, the settings of one plug-in.
convert -size 48x48 xc:none \
    -fill '#3730a3' -draw 'roundrectangle 1,1 46,46 9,9' \
    -fill '#ffffff' -draw 'rectangle 9,9 27,27' -fill '#3730a3' -draw 'rectangle 14,14 22,22' \
    -fill '#fbbf24' -draw 'rectangle 8,34 40,37' -draw 'circle 30,35.5 30,30' \
    -fill '#ffffff' -draw 'rectangle 31,9 39,13' -draw 'rectangle 31,18 39,22' \
    "$tmp/c48.png"
for n in b c; do
    convert "$tmp/${n}48.png" -resize 32x32 "$tmp/${n}32.png"
    convert "$tmp/${n}48.png" -resize 16x16 "$tmp/${n}16.png"
done
convert "$tmp/b48.png" "$tmp/b32.png" "$tmp/b16.png" -define icon:format=bmp "$root/browser/Plexmoor2.ico"
convert "$tmp/c48.png" "$tmp/c32.png" "$tmp/c16.png" -define icon:format=bmp "$root/configurator/Plexmoor1.ico"
