#!/usr/bin/env bash
# The window during a big run: copies 100,000 small files through the real window
# (offscreen, file list "Copied" chosen) and with brindle-cli, by turns.
#
#   bench/window.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR must be configured with -DBRINDLE_BENCH=ON; without it the script configures
# and builds a Release tree in build-bench/. Each tool runs RUNS times (default 3), by
# turns, each run into a fresh destination that is deleted before the next; page caches
# are dropped before each run when possible (root). Then one window run with no file list
# shown gives the memory and lateness of the window without the list (BENCH_BASELINE=0
# skips it). Data is generated in a temporary folder on the file system of the current
# folder (set BENCH_DIR to choose another) and removed at the end.
#
# Printed: each run's figures with the load average before it, then the medians: the
# window's run time (from the copy task's start to its end) against brindle-cli's wall
# time, the event-loop lateness seen by a 5 ms timer during the run, and the file list's
# rows and memory per row. BENCH_SETTLE sets the pause after each deletion (default 10 s).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [ -n "${1:-}" ]; then
    build="$(cd "$1" && pwd)"
else
    build="$here/build-bench"
    cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBRINDLE_BENCH=ON \
        -DBRINDLE_BUILD_TESTS=OFF >/dev/null
fi
runs="${2:-3}"
cmake --build "$build" -j2 --target brindle-cli brindle-windowbench >/dev/null ||
    { echo "build failed in $build (configured with -DBRINDLE_BENCH=ON?)" >&2; exit 2; }
cli="$build/src/cli/brindle-cli"
window="$build/bench/windowbench/brindle-windowbench"
for tool in bc python3; do
    command -v "$tool" >/dev/null || { echo "the benchmark needs $tool" >&2; exit 2; }
done

work="$(mktemp -d "${BENCH_DIR:-$PWD}/brindle-window-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" # brindle-cli keeps its settings and task files there
mkdir -p "$HOME"
export QT_QPA_PLATFORM=offscreen
counter=0

drop_caches() {
    sync
    if [ -w /proc/sys/vm/drop_caches ]; then echo 3 >/proc/sys/vm/drop_caches; fi
}

load() { cut -d' ' -f1-3 /proc/loadavg; }

median_of() {
    printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {m=(NR%2)?a[(NR+1)/2]:(a[NR/2]+a[NR/2+1])/2; printf "%.3f", m}'
}

max_of() { printf '%s\n' "$@" | sort -g | tail -1; }

value() { awk -F= -v key="$1" '$1 == key {print $2}' "$2"; }

# Checks the copy, then deletes it and lets the file system settle.
finish_run() {
    local target="$1" copied
    copied=$(find "$target" -type f | wc -l)
    [ "$copied" -eq 100000 ] || { echo "only $copied files in $target" >&2; exit 1; }
    rm -rf "$target"
    sync
    sleep "${BENCH_SETTLE:-10}"
}

cli_times=()
run_cli() {
    counter=$((counter + 1))
    local target="$work/t-$counter" before start end seconds
    drop_caches
    before=$(load)
    start=$(date +%s.%N)
    "$cli" copy "$work/src" "$target" --quiet >/dev/null 2>&1 || { echo "brindle-cli failed" >&2; exit 1; }
    end=$(date +%s.%N)
    seconds=$(echo "$end - $start" | bc -l)
    cli_times+=("$seconds")
    printf 'brindle-cli run %d: %.3f s   (load %s)\n' "${#cli_times[@]}" "$seconds" "$before"
    finish_run "$target"
}

window_times=() worst=() p99=() p999=() busy=() rows=() growth=() per_row_after=()
run_window() { # view
    counter=$((counter + 1))
    local target="$work/t-$counter" out="$work/window-$counter.txt" before
    drop_caches
    before=$(load)
    "$window" "$work/src" "$target" --view "$1" >"$out" 2>"$work/window-$counter.err" ||
        { cat "$out" "$work/window-$counter.err" >&2; echo "the window bench failed" >&2; exit 1; }
    [ "$(value files_completed "$out")" = 100000 ] && [ "$(value errors "$out")" = 0 ] ||
        { cat "$out" >&2; echo "the window's run did not copy every file" >&2; exit 1; }
    printf 'window (%s) run: %.3f s, lateness worst %s ms, p99 %s ms, p99.9 %s ms, %s over 50 ms, longest own work between ticks %s ms; rows %s, RSS %s -> %s -> %s KiB, %s B/row   (load %s)\n' \
        "$1" "$(echo "$(value run_ms "$out") / 1000" | bc -l)" "$(value lateness_worst_ms "$out")" \
        "$(value lateness_p99_ms "$out")" "$(value lateness_p999_ms "$out")" \
        "$(value stalls_over_50ms "$out")" "$(value busiest_gap_cpu_ms "$out")" \
        "$(value rows "$out")" "$(value rss_before_kib "$out")" \
        "$(value rss_completed_kib "$out")" "$(value rss_after_kib "$out")" \
        "$(value bytes_per_row "$out")" "$before"
    printf '    worst stalls (lateness(UI thread on a processor, waiting for one, page faults read from the device)@time since the click/files done): %s\n' \
        "$(value worst_stalls "$out")"
    printf '    list filled after the run in %s ms (%s), lateness meanwhile worst %s ms\n' \
        "$(value fill_ms "$out")" "$(value fill_end "$out")" "$(value fill_lateness_worst_ms "$out")"
    if [ -n "$(value filter_ms "$out")" ]; then
        printf '    list: filter %s ms (%s rows, longest turn %s ms), cleared %s ms (%s rows, longest turn %s ms), tab switch worst %s ms\n' \
            "$(value filter_ms "$out")" "$(value filter_rows "$out")" "$(value filter_worst_turn_ms "$out")" \
            "$(value filter_clear_ms "$out")" "$(value filter_clear_rows "$out")" \
            "$(value filter_clear_worst_turn_ms "$out")" "$(value tab_switch_worst_ms "$out")"
    fi
    last_out="$out"
    finish_run "$target"
}

echo "Generating 100,000 files in $work ..."
python3 - "$work/src" <<'EOF'
import os, random, sys
root = sys.argv[1]
random.seed(11)
for folder in range(1000):
    path = os.path.join(root, "d%04d" % folder)
    os.makedirs(path)
    for i in range(100):
        with open(os.path.join(path, "f%03d.dat" % i), "wb") as f:
            f.write(os.urandom(random.randint(100, 4096)))
EOF
sync

echo
echo "Date: $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "Machine: $(nproc) cores, $(free -g | awk '/Mem:/ {print $2}') GiB, $(uname -sr); file system: $(df -T "$work" | awk 'NR==2 {print $2}')"
echo "Runs per tool: $runs, by turns (median)"
echo

for _ in $(seq "$runs"); do
    run_cli
    run_window copied
    out="$last_out"
    window_times+=("$(echo "$(value run_ms "$out") / 1000" | bc -l)")
    worst+=("$(value lateness_worst_ms "$out")")
    p99+=("$(value lateness_p99_ms "$out")")
    p999+=("$(value lateness_p999_ms "$out")")
    busy+=("$(value busiest_gap_cpu_ms "$out")")
    rows+=("$(value rows "$out")")
    growth+=($(($(value rss_after_kib "$out") - $(value rss_before_kib "$out"))))
    per_row_after+=("$(value bytes_per_row_after_run "$out")")
done

baseline_growth=0
if [ "${BENCH_BASELINE:-1}" = 1 ]; then
    run_window none
    baseline_growth=$(($(value rss_after_kib "$last_out") - $(value rss_before_kib "$last_out")))
fi

echo
cli_median=$(median_of "${cli_times[@]}")
window_median=$(median_of "${window_times[@]}")
printf 'brindle-cli copy, median:               %7.3f s\n' "$cli_median"
printf 'window run (task start to end), median: %7.3f s   ratio %.3f (goal <= 1.10)\n' \
    "$window_median" "$(echo "$window_median / $cli_median" | bc -l)"
printf 'event-loop lateness during the run: worst %s ms (median of runs %s ms), p99 median %s ms, p99.9 median %s ms (goal: worst <= 50 ms)\n' \
    "$(max_of "${worst[@]}")" "$(median_of "${worst[@]}")" "$(median_of "${p99[@]}")" \
    "$(median_of "${p999[@]}")"
printf "the UI thread's longest own work between two ticks: %s ms (the rest of a late tick is waiting for a processor)\n" \
    "$(max_of "${busy[@]}")"
printf 'file list rows: %s; RSS growth from before the click to the filled list: %s KiB\n' \
    "${rows[*]}" "${growth[*]}"
[ "${BENCH_BASELINE:-1}" = 1 ] && printf 'RSS growth of a run with no file list shown: %s KiB\n' "$baseline_growth"
if [ "$(max_of "${rows[@]}")" -gt 0 ]; then
    # The run's own items stay in memory too: what the list adds is the growth beyond that
    # of the run without a list, or, when the list fills after the run, the growth after it.
    if [ "${BENCH_BASELINE:-1}" = 1 ]; then
        list_growth=$(($(median_of "${growth[@]}" | cut -d. -f1) - baseline_growth))
        printf 'file list memory per row, beyond the run without a list: %.0f B (goal < 1024 B)\n' \
            "$(echo "$list_growth * 1024 / $(median_of "${rows[@]}")" | bc -l)"
    fi
    printf 'file list memory per row, growth after the end of the run: %s B\n' "${per_row_after[*]}"
else
    echo "The file list stays empty during and after the run: no memory per row to measure."
fi
