#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# in build-fuzz/ and runs each for SECONDS (default 60) on a scratch copy of its seed corpus
# under fuzz/corpus/<name>/, as many at once as there are cores. Exits non-zero when any
# target finds a crash, a broken property, a hang, a leak or runaway memory; the inputs it
# found are kept in build-fuzz/findings/<name>/.
#
#   fuzz/run.sh [SECONDS]
#
# BRINDLE_JOBS sets the build parallelism and the number of targets run at once.
set -euo pipefail

seconds="${1:-60}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="$here/build-fuzz"
parallel="${BRINDLE_JOBS:-$(nproc)}"

targets=()
for source in "$here"/fuzz/fuzz_*.cpp; do
    name="$(basename "$source" .cpp)"
    targets+=("${name#fuzz_}")
done

CC=clang CXX=clang++ cmake -S "$here" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBRINDLE_FUZZ=ON -DBRINDLE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" -j "$parallel" --target "${targets[@]/#/fuzz_}"

# Generated inputs stay out of the repository: every run works on a copy.
rm -rf "$build_dir/findings"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

# A task file is larger than a data string; the loader's limits on huge values are covered
# by the unit tests, not by slow inputs here.
max_len_for() {
    case "$1" in
    taskfile) echo 65536 ;;
    *) echo 4096 ;;
    esac
}

dictionary_for() {
    case "$1" in
    taskfile | inifileformat) echo "$here/fuzz/taskfile.dict" ;;
    *) echo "$here/fuzz/datastring.dict" ;;
    esac
}

run_one() {
    local name="$1" corpus="$scratch/corpus/$1" artifacts="$scratch/artifacts/$1/"
    mkdir -p "$corpus" "$artifacts"
    cp "$here/fuzz/corpus/$name"/* "$corpus/"
    local status=0
    ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=0" \
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
        "$build_dir/fuzz/fuzz_$name" "$corpus" -max_total_time="$seconds" -rss_limit_mb=2048 \
        -timeout=10 -max_len="$(max_len_for "$name")" -dict="$(dictionary_for "$name")" \
        -artifact_prefix="$artifacts" -print_final_stats=1 >"$scratch/$name.log" 2>&1 \
        || status=$?
    echo "$status" >"$scratch/$name.status"
}

for name in "${targets[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do
        wait -n || true
    done
    echo "Fuzzing $name for $seconds seconds"
    run_one "$name" &
done
wait

failed=0
for name in "${targets[@]}"; do
    status="$(cat "$scratch/$name.status" 2>/dev/null || echo 1)"
    if [ "$status" = 0 ]; then
        echo "fuzz_$name: no finding; $(grep -E '^#[0-9]+[[:space:]]+DONE' "$scratch/$name.log" | tail -1)"
        continue
    fi
    failed=1
    findings="$build_dir/findings/$name"
    mkdir -p "$findings"
    cp "$scratch/artifacts/$name"/* "$findings/" 2>/dev/null || true
    echo "fuzz_$name: FINDING (exit status $status); inputs kept in $findings"
    tail -n 60 "$scratch/$name.log"
done
exit "$failed"
