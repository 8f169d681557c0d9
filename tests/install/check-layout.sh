#!/bin/sh
# Installs a build into a scratch prefix and checks that exactly the expected files land
# there (no tests, benchmarks or libraries), that the programs are executable, and, with
# the freedesktop tools at hand, that the MIME file registers *.bdt and that the metainfo
# and desktop entry belong together.
#
#   check-layout.sh CMAKE BUILD_DIR APP_ID
set -eu
cmake=$1
build=$2
id=$3

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$cmake" --install "$build" --prefix "$prefix" >/dev/null

expected=$(mktemp)
actual=$(mktemp)
trap 'rm -rf "$prefix" "$expected" "$actual"' EXIT
{
    echo bin/brindle
    echo bin/brindle-cli
    echo "share/applications/$id.desktop"
    echo "share/metainfo/$id.metainfo.xml"
    echo "share/mime/packages/$id.xml"
    for size in 16x16 22x22 24x24 32x32 48x48 64x64 128x128 256x256; do
        echo "share/icons/hicolor/$size/apps/brindle.png"
    done
    echo share/icons/hicolor/scalable/apps/brindle.svg
    for translation in "$build"/translations/*.qm; do
        [ -e "$translation" ] && echo "share/brindle/$(basename "$translation")"
    done
} | sort >"$expected"
(cd "$prefix" && find . ! -type d | sed 's|^\./||' | sort) >"$actual"
if ! diff -u "$expected" "$actual"; then
    echo "installed files differ from the expected layout (- expected, + installed)" >&2
    exit 1
fi

fail() {
    echo "$*" >&2
    exit 1
}
[ -d "$prefix/share/brindle" ] || fail "the resource folder share/brindle is missing"
for program in brindle brindle-cli; do
    [ -x "$prefix/bin/$program" ] || fail "bin/$program is not executable"
done

if command -v update-mime-database >/dev/null; then
    XDG_DATA_DIRS="$prefix/share" update-mime-database "$prefix/share/mime"
    grep -qx 'application/x-brindle-task:\*\.bdt' "$prefix/share/mime/globs" \
        || fail "the MIME database does not map *.bdt to application/x-brindle-task"
fi
if command -v appstreamcli >/dev/null; then
    report=$(appstreamcli validate-tree --no-net "$prefix") \
        || fail "appstreamcli validate-tree failed: $report"
fi
echo "install layout ok"
