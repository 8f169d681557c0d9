#!/usr/bin/env bash
# Benchmarks brindle-cli against the usual tools on this machine.
#
#   bench/run.sh [BUILD_DIR] [RUNS]
#
# Data is generated in a temporary folder on the file system of the current folder
# (set BENCH_DIR to choose another) and removed at the end. Each case runs RUNS times
# (default 5); the median wall time is printed beside the other tool's and the ratio.
# Every run writes into a target folder of its own, and targets are deleted only
# between cases: on ext4 creating files right after deleting many is much slower, which
# would favour whichever tool ran first. Page caches are dropped before each run when
# possible (root), so every run reads from the device the same way.
#
# BENCH_CASES picks cases (default: all): big small move sparse verify walk plan memory.
# BENCH_SETTLE sets the pause between cases in seconds (default 35).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build}"
runs="${2:-5}"
cli="$build/src/cli/brindle-cli"
[ -x "$cli" ] || { echo "brindle-cli not found in $build (run ./build.sh test first)" >&2; exit 2; }
for tool in bc python3 /usr/bin/time rsync sha256sum; do
    command -v "$tool" >/dev/null || { echo "the benchmark needs $tool (apt-get install bc time rsync)" >&2; exit 2; }
done

work="$(mktemp -d "${BENCH_DIR:-$PWD}/brindle-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" # brindle-cli keeps its settings and task files there
mkdir -p "$HOME"
counter=0
median=0
cases=" ${BENCH_CASES:-big small move sparse verify walk plan memory} "
want() { [[ "$cases" == *" $1 "* ]]; }

drop_caches() {
    sync
    if [ -w /proc/sys/vm/drop_caches ]; then echo 3 >/proc/sys/vm/drop_caches; fi
}

# Removes every target of the last case and lets the file system settle.
between_cases() {
    rm -rf "$work"/t-* "$work"/moved-*
    sync
    sleep "${BENCH_SETTLE:-35}"
}

# median_time PREPARE CMD...: runs CMD $runs times; "@T" in CMD stands for a fresh
# target path, "@M" for the matching fresh move source made by PREPARE. Sets median to the
# median wall time in seconds. (Not called in a command substitution: the target counter
# must live on in this shell, or every case would reuse the last case's targets, and rsync
# would find its work already done.)
median_time() {
    local prepare="$1"; shift
    local times=()
    for _ in $(seq "$runs"); do
        counter=$((counter + 1))
        local target="$work/t-$counter" moved="$work/moved-$counter"
        "$prepare" "$moved"
        local command=()
        for word in "$@"; do
            word="${word//@T/$target}"
            command+=("${word//@M/$moved}")
        done
        drop_caches
        local start end
        start=$(date +%s.%N)
        "${command[@]}" >/dev/null 2>&1 || { echo "command failed: ${command[*]}" >&2; exit 1; }
        end=$(date +%s.%N)
        times+=("$(echo "$end - $start" | bc -l)")
    done
    median=$(median_of "${times[@]}")
}

median_of() {
    printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {m=(NR%2)?a[(NR+1)/2]:(a[NR/2]+a[NR/2+1])/2; printf "%.3f", m}'
}

row() { # name brindle other-name other
    local ratio
    ratio=$(echo "$2 / $4" | bc -l)
    printf '%-34s %9.3f s   %-24s %9.3f s   ratio %5.2f\n' "$1" "$2" "$3" "$4" "$ratio"
}

nothing() { :; }
copy_small_source() { cp -a "$work/small" "$1"; }

echo "Generating data in $work ..."
if want big || want verify; then
mkdir -p "$work/big"
head -c $((1024 * 1024 * 1024)) /dev/urandom >"$work/big/one-gib.bin"
fi
# A 2 GiB file holding 8 KB of data: 4 KiB at its start and 4 KiB at 1.2 GB, holes around.
mkdir -p "$work/sparse"
truncate -s 2G "$work/sparse/disk.img"
dd if=/dev/urandom of="$work/sparse/disk.img" bs=4k count=1 conv=notrunc status=none
dd if=/dev/urandom of="$work/sparse/disk.img" bs=4k count=1 seek=300000 conv=notrunc status=none
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
{ want walk || want plan || want memory; } && python3 - "$work/many" <<'EOF'
import os, sys
root = sys.argv[1]
for folder in range(1000):
    path = os.path.join(root, "d%04d" % folder)
    os.makedirs(path)
    for i in range(200):
        open(os.path.join(path, "f%03d" % i), "wb").close()
EOF
sync

echo
echo "Date: $(date -u +%Y-%m-%d)"
echo "Machine: $(nproc) cores, $(free -g | awk '/Mem:/ {print $2}') GiB, $(uname -sr); file system: $(df -T "$work" | awk 'NR==2 {print $2}')"
echo "Runs per case: $runs (median)"
echo

# brindle-cli reports a copy complete only once it is on the device; cp and rsync return
# with the data still in the page cache, so each is also timed with a sync after it.
if want big; then
median_time nothing "$cli" copy "$work/big" @T --quiet
b=$median
median_time nothing cp -r "$work/big" @T
o=$median
row "copy 1 GiB file" "$b" "cp -r" "$o"
median_time nothing sh -c "cp -r '$work/big' '@T' && sync"
o=$median
row "copy 1 GiB file" "$b" "cp -r && sync" "$o"
between_cases
fi

if want small; then
median_time nothing "$cli" copy "$work/small" @T --quiet
b=$median
median_time nothing cp -a "$work/small" @T
o=$median
row "copy 20,000 small files" "$b" "cp -a" "$o"
median_time nothing sh -c "cp -a '$work/small' '@T' && sync"
o=$median
row "copy 20,000 small files" "$b" "cp -a && sync" "$o"
median_time nothing rsync -a "$work/small/" @T/
o=$median
row "copy 20,000 small files" "$b" "rsync -a" "$o"
median_time nothing sh -c "rsync -a '$work/small/' '@T/' && sync"
o=$median
row "copy 20,000 small files" "$b" "rsync -a && sync" "$o"
between_cases
fi

# A move copies, flushes each copy to the device, then deletes the source: beside a
# plain copy this shows the cost of the flush and the deletions. The copy is timed by turns
# with the move, each of a fresh copy of the tree: on ext4, files made within a minute or
# more of many deletions take longer to create, and the moves' deletions (or the earlier
# cases') would otherwise weigh on one side only.
if want move; then
copies=()
moves=()
saved_runs=$runs
runs=1
for _ in $(seq "$saved_runs"); do
    median_time copy_small_source "$cli" copy @M @T --quiet
    copies+=("$median")
    median_time copy_small_source "$cli" move @M @T --quiet
    moves+=("$median")
done
runs=$saved_runs
row "move 20,000 small files" "$(median_of "${moves[@]}")" "brindle-cli copy, by turns" \
    "$(median_of "${copies[@]}")"
between_cases
fi

# Only the data of a sparse file is copied; its holes stay holes. The room each copy takes
# is that of the last run's target.
if want sparse; then
median_time nothing "$cli" copy "$work/sparse" @T --quiet
b=$median
b_kib=$(du -k "$work/t-$counter/disk.img" | cut -f1)
median_time nothing cp -a "$work/sparse" @T
o=$median
o_kib=$(du -k "$work/t-$counter/disk.img" | cut -f1)
row "copy 2 GiB sparse file (8 KB data)" "$b" "cp -a" "$o"
median_time nothing sh -c "cp -a '$work/sparse' '@T' && sync"
o=$median
row "copy 2 GiB sparse file (8 KB data)" "$b" "cp -a && sync" "$o"
printf 'Room taken by the sparse copy (du -k): brindle-cli %s KiB, cp -a %s KiB (source %s KiB)\n' \
    "$b_kib" "$o_kib" "$(du -k "$work/sparse/disk.img" | cut -f1)"
between_cases
fi

if want verify; then
cp -a "$work/small" "$work/small-copy"
cp -a "$work/big" "$work/big-copy"
sync
median_time nothing "$cli" verify "$work/small" "$work/small-copy" --quiet
b=$median
median_time nothing sh -c "cd '$work/small' && find . -type f -print0 | xargs -0 sha256sum >/dev/null && cd '$work/small-copy' && find . -type f -print0 | xargs -0 sha256sum >/dev/null"
o=$median
row "verify 20,000 small files" "$b" "sha256sum both trees" "$o"
median_time nothing "$cli" verify "$work/big" "$work/big-copy" --quiet
b=$median
median_time nothing sha256sum "$work/big/one-gib.bin" "$work/big-copy/one-gib.bin"
o=$median
row "verify 1 GiB file" "$b" "sha256sum both" "$o"
rm -rf "$work/small-copy" "$work/big-copy"
between_cases
fi

# A filter that matches nothing, without empty folders: the run only walks the tree.
if want walk; then
median_time nothing "$cli" copy "$work/many" @T --quiet --include "no-such-name" --no-empty-folders
b=$median
median_time nothing find "$work/many"
o=$median
row "walk 200,000 files" "$b" "find" "$o"
between_cases
fi

# The plan of a copy onto a full copy of the tree: both sides walked, every pair compared.
if want plan; then
cp -a "$work/many" "$work/many-copy"
median_time nothing "$cli" copy "$work/many" "$work/many-copy" --dry-run
b=$median
median_time nothing find "$work/many" "$work/many-copy"
o=$median
row "plan of 200,000 files onto a copy" "$b" "find SRC DST" "$o"
median_time nothing find "$work/many" "$work/many-copy" -printf '%s %T@\n'
o=$median
row "same" "$b" "find SRC DST, size and date" "$o"
rm -rf "$work/many-copy"
between_cases
fi

want memory || exit 0
/usr/bin/time -v "$cli" copy "$work/many" "$work/t-memory" --quiet 2>"$work/time.txt" >/dev/null
peak_kb=$(awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}' "$work/time.txt")
echo
printf 'Peak memory of a 200,000-file copy: %d KiB, %.0f bytes per item\n' "$peak_kb" \
    "$(echo "$peak_kb * 1024 / 201000" | bc -l)"
