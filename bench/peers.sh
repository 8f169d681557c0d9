#!/usr/bin/env bash
# Brindle beside its peers, by turns.
#
#   bench/peers.sh [BUILD_DIR] [ROUNDS]
#
# Each round runs brindle-cli and every peer of a case once, one after the other (the order
# turns by one each round, so no tool always follows the same one); each run writes into a
# fresh target, all removed after the case's row. Every case is run twice: with
# the page cache dropped before each run (root), and with it warm (the source read once
# before). Prints each tool's median, its spread (min-max) and the ratio Brindle / peer.
#
# Data lives in $BENCH_DIR (default /var/tmp/brindle-peers) and is kept for the next run.
# PEERS_CASES picks cases (default: small many big move memory ways).
# PEERS_ROWS picks the cache rows (default: "cold warm").
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build}"
rounds="${2:-5}"
cli="$(realpath "$build/src/cli/brindle-cli")"
[ -x "$cli" ] || { echo "brindle-cli not found in $build" >&2; exit 2; }
for tool in bc python3 /usr/bin/time rsync rclone; do
    command -v "$tool" >/dev/null || { echo "needs $tool (apt-get install bc time rsync rclone)" >&2; exit 2; }
done

work="${BENCH_DIR:-/var/tmp/brindle-peers}"
# Commands are put together for sh -c inside single quotes.
[[ "$cli$work" != *"'"* ]] || { echo "paths holding ' are not supported" >&2; exit 2; }
mkdir -p "$work/home"
export HOME="$work/home" RCLONE_CONFIG=/dev/null
cases=" ${PEERS_CASES:-small many big move memory ways} "
want() { [[ "$cases" == *" $1 "* ]]; }

# 20,000 files of 100 B-8 KB in 200 folders: the same tree as bench/run.sh and bench/ab.sh.
if [ ! -d "$work/small" ]; then
    python3 - "$work/small" <<'EOF'
import os, random, sys
r = random.Random(7)
for d in range(200):
    p = os.path.join(sys.argv[1], "d%03d" % d)
    os.makedirs(p)
    for f in range(100):
        with open(os.path.join(p, "f%03d.dat" % f), "wb") as h:
            h.write(os.urandom(r.randint(100, 8192)))
EOF
fi
# 200,000 empty files in 400 folders.
if { want many || want memory; } && [ ! -d "$work/many" ]; then
    python3 - "$work/many" <<'EOF'
import os, sys
for d in range(400):
    p = os.path.join(sys.argv[1], "d%03d" % d)
    os.makedirs(p)
    for f in range(500):
        open(os.path.join(p, "f%03d" % f), "wb").close()
EOF
fi
if want big && [ ! -f "$work/big/one-gib.bin" ]; then
    mkdir -p "$work/big"
    head -c $((1024 * 1024 * 1024)) /dev/urandom >"$work/big/one-gib.bin"
fi
sync

drop() {
    sync
    if [ "$row" = cold ] && [ -w /proc/sys/vm/drop_caches ]; then echo 3 >/proc/sys/vm/drop_caches; fi
}
median_of() {
    printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {printf "%.3f", (NR%2)?a[(NR+1)/2]:(a[NR/2]+a[NR/2+1])/2}'
}
spread_of() { printf '%s\n' "$@" | sort -g | awk 'NR==1 {lo=$1} {hi=$1} END {printf "%.3f-%.3f", lo, hi}'; }

# Tools of a case: "name|command" with @S for the source, @T for a fresh target.
declare -A times
run_case() { # title source tool...
    local title=$1 source=$2; shift 2
    local tools=("$@")
    local n=${#tools[@]} counter=0
    for row in ${PEERS_ROWS:-cold warm}; do
        times=()
        # Warm: only the source. The caches are dropped once first, as ext4 checks every inode
        # it would reuse against the cached blocks of those deleted lately (recently_deleted):
        # with the last row's targets still cached, creating files takes several times longer.
        if [ "$row" = warm ]; then
            sync
            if [ -w /proc/sys/vm/drop_caches ]; then echo 3 >/proc/sys/vm/drop_caches; fi
            find "$source" -type f -print0 | xargs -0 cat >/dev/null
        fi
        for r in $(seq "$rounds"); do
            for i in $(seq 0 $((n - 1))); do
                local tool=${tools[$(((i + r) % n))]}
                local name=${tool%%|*} command=${tool#*|}
                counter=$((counter + 1))
                local target="$work/t-$counter" src=$source
                if [[ "$command" == *@M* ]]; then # a move: a fresh copy of the source each run
                    src="$work/m-$counter"
                    cp -a "$source" "$src"
                fi
                command=${command//@S/$src}
                command=${command//@M/$src}
                command=${command//@T/$target}
                drop
                local s e
                s=$(date +%s.%N)
                sh -c "$command" >/dev/null 2>&1 || { echo "failed: $command" >&2; exit 1; }
                e=$(date +%s.%N)
                times[$name]+="$(echo "$e - $s" | bc -l) "
            done
        done
        # Removed only now, and given time to settle: on ext4, files made right after many
        # were deleted take several times longer to create, whoever makes them.
        rm -rf "$work"/t-* "$work"/m-*
        sync
        sleep "${PEERS_SETTLE:-30}"
        local b
        # shellcheck disable=SC2086
        b=$(median_of ${times[brindle]})
        for tool in "${tools[@]}"; do
            local name=${tool%%|*}
            # shellcheck disable=SC2086
            printf '%-44s %-5s %-34s median %8.3f s  spread %-15s  brindle/it %5.2f\n' "$title" "$row" "$name" \
                "$(median_of ${times[$name]})" "$(spread_of ${times[$name]})" \
                "$(echo "$b / $(median_of ${times[$name]})" | bc -l)"
            echo "    runs: ${times[$name]}" >&2
        done
    done
}

echo "Date: $(date -u '+%Y-%m-%d %H:%M') UTC; $(nproc) cores, $(uname -sr); $(df -T "$work" | awk 'NR==2 {print $2}') on $(df "$work" | awk 'NR==2 {print $1}')"
echo "Rounds: $rounds (by turns); load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"

want small && run_case "copy 20,000 files 100 B-8 KB, 200 folders" "$work/small" \
    "brindle|'$cli' copy @S @T --quiet" \
    "cp -a && sync -f|cp -a @S @T && sync -f @T" \
    "cp -a|cp -a @S @T" \
    "rsync -a|rsync -a @S/ @T/" \
    "rclone copy --transfers 4|rclone copy --transfers 4 @S @T"

want many && run_case "copy 200,000 empty files, 400 folders" "$work/many" \
    "brindle|'$cli' copy @S @T --quiet" \
    "cp -a|cp -a @S @T"

want big && run_case "copy one 1 GiB file" "$work/big" \
    "brindle|'$cli' copy @S @T --quiet" \
    "cp -a && sync -f|cp -a @S @T && sync -f @T"

want move && run_case "move 20,000 files (fresh copy each run)" "$work/small" \
    "brindle|'$cli' move @M @T --quiet" \
    "brindle copy|true @M && '$cli' copy @M @T --quiet"

# Ways to copy the small files with Brindle's flushes and temporary names: plain calls, in
# inode order, io_uring, two threads (bench/smallcopybench).
ways="$build/bench/smallcopybench/brindle-smallcopybench"
if want ways && [ -x "$ways" ]; then
    run_case "ways to copy 20,000 files 100 B-8 KB" "$work/small" \
        "brindle|'$cli' copy @S @T --quiet" \
        "plain calls|'$ways' plain @S @T" \
        "plain calls, inode order|'$ways' inode @S @T" \
        "io_uring, 64 files a step|'$ways' uring @S @T" \
        "plain calls, two threads|'$ways' threads @S @T"
fi

if want memory; then
    /usr/bin/time -f %M -o "$work/peak.txt" "$cli" copy "$work/many" "$work/t-memory" --quiet >/dev/null
    peak=$(cat "$work/peak.txt")
    items=$(find "$work/many" | wc -l)
    printf 'peak memory, copy of %d items: %d KiB, %.0f bytes per item\n' "$items" "$peak" \
        "$(echo "$peak * 1024 / $items" | bc -l)"
    rm -rf "$work/t-memory"
fi
echo "Load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
