#!/usr/bin/env bash
# What the window shows during a 2 GiB copy against what is true: copies 2 GiB of random
# bytes in files of BENCH_PART_MIB MiB (default 128: 16 files) through the real window (offscreen, brindle-windowbench) and,
# each time the bytes at the destination pass another tenth of the total (at 5 %, 15 %, …
# 95 %), reads the window's count, bar and remaining time beside the bytes on disk, the
# engine's completed bytes and bytes of the files being copied, and the time the run then
# really still took. Prints a Markdown table.
#
#   bench/window-progress.sh BUILD_DIR   (configured with -DBRINDLE_BENCH=ON)
#
# Data is generated in a temporary folder on the file system of the current folder (set
# BENCH_DIR to choose another) and removed at the end.
set -euo pipefail

build="$(cd "${1:?usage: bench/window-progress.sh BUILD_DIR}" && pwd)"
cmake --build "$build" -j2 --target brindle-windowbench >/dev/null ||
    { echo "build failed in $build (configured with -DBRINDLE_BENCH=ON?)" >&2; exit 2; }
window="$build/bench/windowbench/brindle-windowbench"

work="$(mktemp -d "${BENCH_DIR:-$PWD}/brindle-progress-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src"
part=${BENCH_PART_MIB:-128}
for index in $(seq -w 0 $((2048 / part - 1))); do
    head -c $((part << 20)) /dev/urandom >"$work/src/part-$index.bin"
done
sync
if [ -w /proc/sys/vm/drop_caches ]; then echo 3 >/proc/sys/vm/drop_caches; fi

echo "Date: $(date -u '+%Y-%m-%d %H:%M UTC'); files of $part MiB; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
"$window" "$work/src" "$work/dst" --view none --progress-points 10 >"$work/out.txt" \
    2>"$work/err.txt" || { cat "$work/out.txt" "$work/err.txt" >&2; exit 1; }
grep -E '^(files_completed|errors|run_ms)=' "$work/out.txt"
cmp -s <(cd "$work/src" && cat part-*) <(cd "$work/dst" && cat part-*) ||
    { echo "the copy differs from the source" >&2; exit 1; }
echo
echo "| at (s) | on disk | engine: completed + in flight | window: bar | window: count | window: remaining | really remaining |"
echo "|---|---|---|---|---|---|---|"
sed -n 's/^progress_point=//p' "$work/out.txt" |
    awk -F'|' '{ mib = 1048576;
        printf "| %.1f | %.0f MiB (%.0f %%) | %.0f + %.0f MiB (%.0f %%) | %d %% | %s | %s | %.1f s |\n",
            $1, $2 / mib, 100 * $2 / $5, $3 / mib, $4 / mib, 100 * ($3 + $4) / $5, $6, $7, $8, $9 }'
