#!/bin/sh
# Checks that every shipped translation covers the sources: lupdate refreshes a scratch copy
# of each translations/*.ts from src/, the way the update-translations target does, and
# any entry left unfinished there (a new text, or one never translated) fails the check,
# as does any other difference (a text the sources no longer hold).
#
#   check-translations.sh LUPDATE SOURCE_DIR
set -eu
lupdate=$1
source=$2

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Prints the source text of every message in $1 whose translation is unfinished.
unfinished() {
    awk 'BEGIN { RS = "</message>" }
         /<translation type="unfinished"/ {
             text = $0
             sub(/.*<source>/, "", text)
             sub(/<\/source>.*/, "", text)
             print "  " text
         }' "$1"
}

status=0
for shipped in "$source"/translations/*.ts; do
    name=$(basename "$shipped")
    copy="$scratch/$name"
    cp "$shipped" "$copy"
    (cd "$source" && "$lupdate" -silent -no-obsolete -locations none src -ts "$copy") || exit 1
    missing=$(unfinished "$copy")
    if [ -n "$missing" ]; then
        echo "$name: these texts of the sources have no finished translation:" >&2
        echo "$missing" >&2
        status=1
    fi
    if [ -z "$missing" ] && ! cmp -s "$shipped" "$copy"; then
        echo "$name: not as lupdate leaves it (texts the sources no longer hold?):" >&2
        diff -u "$shipped" "$copy" >&2 || true
        status=1
    fi
done
if [ "$status" -ne 0 ]; then
    echo "Run 'cmake --build <build> --target update-translations' and translate them." >&2
fi
exit "$status"
