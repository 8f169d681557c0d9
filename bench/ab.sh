#!/usr/bin/env bash
# bench/ab.sh BEFORE_CLI AFTER_CLI [ROUNDS]: the copy and the move of a 20,000-file tree
# (100 B-8 KB in 200 folders) by two builds of brindle-cli, by turns, the page cache dropped
# before each run (root). Work folder: $BRINDLE_AB_DIR (default /var/tmp/brindle-ab).
# Prints the wall times and, less bent by other work on a shared machine, the processor
# time of each run (user + system, /usr/bin/time). AB_WARM=1 keeps the page cache.
set -euo pipefail
before=$1; after=$2; rounds=${3:-5}
w=${BRINDLE_AB_DIR:-/var/tmp/brindle-ab}; tree=$w/tree; mkdir -p $w
export HOME=$w/home; mkdir -p $HOME
if [ ! -d $tree ]; then
  AB_TREE=$tree python3 - <<'PY'
import os, random
r = random.Random(7)
for d in range(200):
    p = os.path.join(os.environ["AB_TREE"], f"d{d:03}")
    os.makedirs(p, exist_ok=True)
    for f in range(100):
        with open(f"{p}/f{f:03}.dat", "wb") as h:
            h.write(os.urandom(r.randint(100, 8192)))
PY
fi
drop() { sync; [ -n "${AB_WARM:-}" ] || echo 3 > /proc/sys/vm/drop_caches; }
cpu=$w/cpu.txt
# Wall time on stdout; user + system time of the same run left in $cpu.
t() {
  local s e
  s=$(date +%s.%N)
  /usr/bin/time -f "%U %S" -o $cpu "$@" >/dev/null 2>&1 || echo "FAILED $*" >&2
  e=$(date +%s.%N)
  echo "$e - $s" | bc
}
used() { awk '{print $1 + $2}' $cpu; }
declare -A res
for r in $(seq $rounds); do
  for who in before after; do
    cli=${!who}
    rm -rf $w/dst; drop
    res[copy_$who]+="$(t $cli copy $tree $w/dst) "
    res[copycpu_$who]+="$(used) "
    rm -rf $w/dst $w/msrc; cp -a $tree $w/msrc; drop
    res[move_$who]+="$(t $cli move $w/msrc $w/dst) "
    res[movecpu_$who]+="$(used) "
  done
done
rm -rf $w/dst $w/msrc
med() { printf '%s\n' $1 | sort -n | awk '{a[NR]=$1} END {print (NR%2)?a[(NR+1)/2]:(a[NR/2]+a[NR/2+1])/2}'; }
for c in copy move copycpu movecpu; do
  b=$(med "${res[${c}_before]}"); a=$(med "${res[${c}_after]}")
  echo "$c before: ${res[${c}_before]}| median $b"
  echo "$c after:  ${res[${c}_after]}| median $a"
  echo "$c ratio $(echo "scale=3; $a / $b" | bc)"
done
