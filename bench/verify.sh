#!/usr/bin/env bash
# The cost of a verified copy and of the digests.
#
#   bench/verify.sh [BUILD_DIR] [RUNS] [TREE]
#
# On a 1 GiB file and on TREE (default /work/abbench/tree, 20,000 small files): brindle-cli
# copy plain, with --verify --hash xxh3 and with --verify --hash sha256; then a verify run of
# each with xxh3 and with sha256. Page caches are dropped before every run (root), so every
# run reads from the device; the variants take turns, and the median of RUNS (default 3)
# is printed with its ratio. Last,
# the hash throughput of each digest in Brindle (brindle-hashbench, built with
# -DBRINDLE_BENCH=ON) and in sha256sum, b2sum and xxhsum -H2, on the same warm file, per
# second of processor time.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build}"
runs="${2:-3}"
tree="${3:-/work/abbench/tree}"
cli="$build/src/cli/brindle-cli"
hashbench="$build/bench/hashbench/brindle-hashbench"
work="$(mktemp -d "${BENCH_DIR:-$PWD}/brindle-verify.XXXXXX")"
trap 'rm -rf "$work"' EXIT
export HOME="$work/home"
mkdir -p "$HOME" "$work/big"
head -c 1073741824 /dev/urandom >"$work/big/file.bin"

drop_caches() {
    sync
    if [ -w /proc/sys/vm/drop_caches ]; then echo 3 >/proc/sys/vm/drop_caches; fi
}

# One timed run of the command, in seconds (the target removed first, caches dropped).
once() {
    local target="$1"
    shift
    rm -rf "$target"
    sync
    drop_caches
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    echo "$end - $start" | bc
}

median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }

# The variants of one case take turns, run after run, so that a change in the machine's
# load meanwhile falls on all of them alike.
for source in "$work/big" "$tree"; do
    name=$([ "$source" = "$work/big" ] && echo "1 GiB file" || echo "$(find "$source" -type f | wc -l) files")
    plain=() xxh=() sha=()
    for _ in $(seq "$runs"); do
        plain+=("$(once "$work/dst" "$cli" copy "$source" "$work/dst" --quiet)")
        xxh+=("$(once "$work/dst" "$cli" copy "$source" "$work/dst" --quiet --verify --hash xxh3)")
        sha+=("$(once "$work/dst" "$cli" copy "$source" "$work/dst" --quiet --verify --hash sha256)")
    done
    p=$(median "${plain[@]}") x=$(median "${xxh[@]}") s=$(median "${sha[@]}")
    echo "$name: copy $p s, verified xxh3 $x s ($(echo "scale=3; $x / $p" | bc)x), verified sha256 $s s ($(echo "scale=3; $s / $p" | bc)x)"
    rm -rf "$work/dst"
    "$cli" copy "$source" "$work/dst" --quiet
    vx=() vs=()
    for _ in $(seq "$runs"); do
        vx+=("$(once "$work/none" "$cli" verify "$source" "$work/dst" --quiet --hash xxh3)")
        vs+=("$(once "$work/none" "$cli" verify "$source" "$work/dst" --quiet --hash sha256)")
    done
    x=$(median "${vx[@]}") s=$(median "${vs[@]}")
    echo "$name: verify xxh3 $x s, sha256 $s s ($(echo "scale=3; $x / $s" | bc)x)"
    rm -rf "$work/dst"
done

file="$work/big/file.bin"
cat "$file" >/dev/null
# Per second of processor time (user and system), so that other work on the machine does
# not count; both sides hash on one thread.
tool_speed() {
    local best=""
    for _ in $(seq "$runs"); do
        local t
        /usr/bin/time -o "$work/time" -f "%U %S" "$@" "$file" >/dev/null 2>&1
        t=$(awk '{print $1 + $2}' "$work/time")
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc)" = 1 ]; then best=$t; fi
    done
    echo "scale=0; 1073.741824 / $best" | bc
}
for pair in "sha256 sha256sum" "blake2b b2sum" "xxh3 xxhsum -H2"; do
    set -- $pair
    algorithm=$1
    shift
    ours=$("$hashbench" "$file" "$algorithm" "$runs" one-thread cpu)
    aside=$("$hashbench" "$file" "$algorithm" "$runs" cpu)
    theirs=$(tool_speed "$@")
    echo "hash $algorithm (MB per processor second): Brindle $ours (read aside $aside), $* $theirs ($(echo "scale=3; $ours / $theirs" | bc)x)"
done
