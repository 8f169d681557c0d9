#!/bin/sh
# Starts the window program on a virtual screen with a scratch home, lets it copy a small
# tree given as its two arguments, and checks over AT-SPI what a user would see: the
# end-of-run box, the recap, the copy on disk, and a layout where nothing is cut off or
# overlapping (check_window.py). Screenshots land in SCREENSHOTS. Exit 77: skipped.
# With ROW (and brindle-cli as CLI), runs that journey of window_rows.py instead.
#
#   check-window.sh PROGRAM SCREENSHOTS SCREEN SCALE SUFFIX [ROW CLI]
set -eu
program=$1
screenshots=$2
screen=$3
scale=$4
suffix=$5
row=${6:-}
cli=${7:-}
here=$(cd "$(dirname "$0")" && pwd)

skip() {
    echo "SKIPPED: $*"
    exit 77
}
command -v xvfb-run >/dev/null || skip "xvfb-run is missing (package xvfb)"
command -v dbus-run-session >/dev/null || skip "dbus-run-session is missing (package dbus)"
command -v xdotool >/dev/null || skip "xdotool is missing (package xdotool)"
command -v import >/dev/null || skip "import is missing (package imagemagick)"
command -v xprop >/dev/null || skip "xprop is missing (package x11-utils)"
command -v dbus-send >/dev/null || skip "dbus-send is missing (package dbus)"
[ -x /usr/libexec/at-spi-bus-launcher ] || skip "the AT-SPI bus is missing (package at-spi2-core)"
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || skip "pyatspi is missing (package python3-pyatspi)"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# A home of its own: no settings, recent tasks or running instance of the user's.
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config"
export XDG_DATA_HOME="$scratch/home/.local/share" XDG_CACHE_HOME="$scratch/home/.cache"
export XDG_RUNTIME_DIR="$scratch/run"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS

# A display number of its own, away from one that another run has just given up; and no
# server reset when a passing client (xdotool, the AT-SPI launcher) disconnects, which
# would refuse the program's connection meanwhile. Not exec'd: the scratch folder (2 GiB
# for the resume) goes when it ends.
display() {
    seconds=$1
    shift
    timeout -k 10 "$seconds" xvfb-run -a -n $((100 + $$ % 800)) \
        -s "-screen 0 ${screen}x24 -nolisten tcp -noreset" dbus-run-session -- "$@"
}
if [ -n "$row" ]; then
    display 580 /usr/bin/python3 "$here/window_rows.py" --row "$row" --program "$program" \
        --cli "$cli" --scratch "$scratch" --screenshots "$screenshots"
    exit 0
fi

# The destination exists, so the window asks nothing before it copies.
source="$scratch/source"
mkdir -p "$source/photos/2024" "$scratch/destination"
printf 'a small text\n' >"$source/readme.txt"
head -c 300000 /dev/urandom >"$source/photos/2024/picture.raw"
printf 'note' >"$source/photos/.hidden-note"
display 280 /usr/bin/python3 "$here/check_window.py" --program "$program" \
    --source "$source" --destination "$scratch/destination" --screenshots "$screenshots" \
    --screen "$screen" --scale "$scale" --suffix="$suffix"
