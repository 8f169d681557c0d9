#!/usr/bin/env bash
# Benchmarks brindle-cli against the usual tools on this machine.
#
#   bench/run.sh [BUILD_DIR] [RUNS]
#
# Data is generated in a temporary folder on the file system of the current folder
# (set BENCH_DIR to choose another) and removed at the end. Each case runs RUNS times
# (default 5) and the median wall time is printed beside the other tool's and the ratio.
# Page caches are dropped before each run when possible (root), so every run reads
# from the device the same way.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build}"
runs="${2:-5}"
cli="$build/src/cli/brindle-cli"
[ -x "$cli" ] || { echo "brindle-cli not found in $build (run ./build.sh test first)" >&2; exit 2; }

work="$(mktemp -d "${BENCH_DIR:-$PWD}/brindle-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" # brindle-cli keeps its settings and task files there
mkdir -p "$HOME"

drop_caches() {
    sync
    if [ -w /proc/sys/vm/drop_caches ]; then echo 3 >/proc/sys/vm/drop_caches; fi
}

# median_time CMD... : runs the command $runs times after a fresh target, prints the median
# wall time in seconds. The command is run with PREPARE (a function name) before each run.
median_time() {
    local prepare="$1"; shift
    local times=()
    for _ in $(seq "$runs"); do
        "$prepare"
        drop_caches
        local start end
        start=$(date +%s.%N)
        "$@" >/dev/null 2>&1 || { echo "command failed: $*" >&2; exit 1; }
        end=$(date +%s.%N)
        times+=("$(echo "$end - $start" | bc -l)")
    done
    printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {m=(NR%2)?a[(NR+1)/2]:(a[NR/2]+a[NR/2+1])/2; printf "%.3f", m}'
}

row() { # name brindle other-name other
    local ratio
    ratio=$(echo "$2 / $4" | bc -l)
    printf '%-38s %9.3f s   %-22s %9.3f s   ratio %5.2f\n' "$1" "$2" "$3" "$4" "$ratio"
}

clean_target() { rm -rf "$work/target"; }
restore_move_source() { rm -rf "$work/target" "$work/moved"; cp -a "$work/small" "$work/moved"; }

echo "Generating data in $work ..."
mkdir -p "$work/big"
head -c $((1024 * 1024 * 1024)) /dev/urandom >"$work/big/one-gib.bin"
python3 - "$work/small" <<'EOF'
import os, random, sys
root = sys.argv[1]
random.seed(7)
for folder in range(200):
    path = os.path.join(root, "d%03d" % folder)
    os.makedirs(path)
    for i in range(100):
        with open(os.path.join(path, "f%03d.dat" % i), "wb") as f:
            f.write(os.urandom(random.randint(100, 8192)))
EOF
python3 - "$work/many" <<'EOF'
import os, sys
root = sys.argv[1]
for folder in range(1000):
    path = os.path.join(root, "d%04d" % folder)
    os.makedirs(path)
    for i in range(200):
        open(os.path.join(path, "f%03d" % i), "wb").close()
EOF

echo
echo "Machine: $(nproc) cores, $(free -g | awk '/Mem:/ {print $2}') GiB, $(uname -sr); file system: $(df -T "$work" | awk 'NR==2 {print $2}')"
echo "Runs per case: $runs (median)"
echo

b=$(median_time clean_target "$cli" copy "$work/big" "$work/target" --quiet)
o=$(median_time clean_target cp -r "$work/big" "$work/target")
row "copy 1 GiB file" "$b" "cp -r" "$o"

b=$(median_time clean_target "$cli" copy "$work/small" "$work/target" --quiet)
o=$(median_time clean_target cp -a "$work/small" "$work/target")
row "copy 20,000 small files" "$b" "cp -a" "$o"
if command -v rsync >/dev/null; then
    o=$(median_time clean_target rsync -a "$work/small/" "$work/target/")
    row "copy 20,000 small files" "$b" "rsync -a" "$o"
fi

# A move copies, flushes each copy to the device, then deletes the source: compared with
# a plain copy this shows the cost of the flush and the deletions.
b=$(median_time restore_move_source "$cli" move "$work/moved" "$work/target" --quiet)
o=$(median_time clean_target "$cli" copy "$work/small" "$work/target" --quiet)
row "move 20,000 small files" "$b" "brindle-cli copy" "$o"

rm -rf "$work/target"; cp -a "$work/small" "$work/target"
noop() { :; }
b=$(median_time noop "$cli" verify "$work/small" "$work/target" --quiet)
o=$(median_time noop sh -c "cd '$work/small' && find . -type f -print0 | xargs -0 sha256sum >/dev/null && cd '$work/target' && find . -type f -print0 | xargs -0 sha256sum >/dev/null")
row "verify 20,000 small files" "$b" "sha256sum both trees" "$o"

rm -rf "$work/target"; cp -a "$work/big" "$work/target"
b=$(median_time noop "$cli" verify "$work/big" "$work/target" --quiet)
o=$(median_time noop sha256sum "$work/big/one-gib.bin" "$work/target/one-gib.bin")
row "verify 1 GiB file" "$b" "sha256sum both" "$o"

# A filter that matches nothing, without empty folders: the run only walks the tree.
b=$(median_time clean_target "$cli" copy "$work/many" "$work/target" --quiet \
    --include "no-such-name" --no-empty-folders)
o=$(median_time noop find "$work/many")
row "walk 200,000 files" "$b" "find" "$o"

clean_target
/usr/bin/time -v "$cli" copy "$work/many" "$work/target" --quiet 2>"$work/time.txt" >/dev/null
peak_kb=$(awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}' "$work/time.txt")
echo
printf 'Peak memory of a 200,000-file copy: %d KiB, %.0f bytes per item\n' "$peak_kb" \
    "$(echo "$peak_kb * 1024 / 201000" | bc -l)"
