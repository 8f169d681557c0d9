#!/bin/sh
# Re-renders Brindle's icons from their hand-written SVG sources in svg/.
#
#   src/gui/images/render-icons.sh [contact-sheet.png]
#
# Builds tools/rendericons (QSvgRenderer; needs g++, pkg-config and libqt5svg5-dev)
# into a temporary directory, then writes:
#   images/<Name>.png                               every svg/<Name>.svg at 32x32
#   images/app/hicolor/<n>x<n>/apps/brindle.png     svg/Brindle.svg at each desktop size
#   images/app/hicolor/scalable/apps/brindle.svg    a copy of svg/Brindle.svg
# With an argument, it also writes a contact sheet there: every icon at 32 px on
# white and on a dark background, blown up 3x, for checking the set by eye.
# The PNGs are committed; the build does not render them. Run this after editing an
# SVG, and list a new icon in ../brindle.qrc.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

g++ -std=c++17 -O1 -fPIC "$root/tools/rendericons/rendericons.cpp" -o "$work/rendericons" \
    $(pkg-config --cflags --libs Qt5Svg Qt5Gui)
render="$work/rendericons"

for svg in "$here"/svg/*.svg; do
    name=$(basename "$svg" .svg)
    "$render" 32 "$svg" "$here/$name.png"
done

for size in 16 22 24 32 48 64 128 256; do
    dir="$here/app/hicolor/${size}x${size}/apps"
    mkdir -p "$dir"
    "$render" "$size" "$here/svg/Brindle.svg" "$dir/brindle.png"
done
mkdir -p "$here/app/hicolor/scalable/apps"
cp "$here/svg/Brindle.svg" "$here/app/hicolor/scalable/apps/brindle.svg"

if [ $# -gt 0 ]; then
    "$render" --sheet 32x3 "$1" "$here"/svg/*.svg
fi
