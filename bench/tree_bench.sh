#!/usr/bin/env bash
# Times a whole renaming run over 100,000 files with Czech names on a tmpfs: tovana-cli (with
# its journal, as users run it, and without) against detox and against a C loop that makes only
# the system calls, and that loop split as tovana-cli splits a run (a second thread lists the
# folders ahead, the first only renames), which shows what the split itself costs. ROUNDS rounds
# (7 unless set), each running all of them once in turn on a fresh copy of the same tree, so
# that a load on the machine meets them alike (each round starting with the next one); the
# median of each is printed, its ratio to the floor's, and the median of its ratios to the floor
# of the same round. The journals go to a state folder on the same tmpfs
# (JOURNAL_STATE=DIR puts them elsewhere, e.g. on a disk, to include a real flush to stable
# storage).
#
#   bench/tree_bench.sh [BUILD_DIR] [FILES]
#
# BASELINE=PROGRAM adds another tovana-cli (an older build, say) to the same rounds, with and
# without its journal.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/dev}
files=${2:-100000}
command -v detox >/dev/null || { echo "needs detox: apt-get install detox" >&2; exit 2; }

work=$(mktemp -d /dev/shm/tovana-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_STATE_HOME=${JOURNAL_STATE:-$work/state}
cc -O2 -o "$work/floor" bench/floor.c
cc -O2 -pthread -o "$work/floor_ahead" bench/floor_ahead.c
python3 bench/make_tree.py "$work/template" "$files"
echo "tree: $(find "$work/template" -type f | wc -l) files, $(find "$work/template" -type d | wc -l) folders"

rounds=${ROUNDS:-7}
labels=("C floor (readdir+renameat2)" "tovana-cli (journal)" "tovana-cli --no-journal" "detox -r"
  "C floor, listed on 2nd thread")
commands=("$work/floor" \
  "$build/src/tovana-cli -s -d --replace-space" \
  "$build/src/tovana-cli -s -d --replace-space --no-journal" \
  "detox -r" \
  "$work/floor_ahead")
: > "$work/times"
if [ -n "${BASELINE:-}" ]; then
  labels+=("baseline (journal)" "baseline --no-journal")
  commands+=("$BASELINE -s -d --replace-space" "$BASELINE -s -d --replace-space --no-journal")
fi
count=${#commands[@]}
for round in $(seq "$rounds"); do
  # Each round starts one further along, so that no command always runs in the same place
  # (just after the floor, say) and takes the same effects of what ran before it.
  for k in $(seq 0 $((count - 1))); do
    i=$(( (round + k) % count ))
    rm -rf "$work/tree"; cp -a "$work/template" "$work/tree"; sync
    start=$(date +%s.%N)
    ${commands[$i]} "$work/tree" >/dev/null 2>&1 || true
    end=$(date +%s.%N)
    echo "$round $i $(echo "$end - $start" | bc)" >> "$work/times"
  done
done
median() {  # reads numbers, prints their median
  sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'
}
floor=$(awk '$2 == 0 { print $3 }' "$work/times" | median)
# The machine's speed may drift from round to round (another VM on the host, say): the median
# of each round's ratio to the floor of the same round follows it better than the ratio of the
# medians; both are printed.
printf '%-30s %9s %9s %13s\n' "median of $rounds rounds" seconds "/ floor" "round / floor"
for i in "${!commands[@]}"; do
  t=$(awk -v i="$i" '$2 == i { print $3 }' "$work/times" | median)
  r=$(awk -v i="$i" '$2 == 0 { f[$1] = $3 } $2 == i { t[$1] = $3 }
      END { for (k in t) print t[k] / f[k] }' "$work/times" | median)
  printf '%-30s %9.3f %9.2f %13.2f\n' "${labels[$i]}" "$t" "$(echo "$t / $floor" | bc -l)" "$r"
done
printf 'journal folder after the journaled runs: %s\n' "$(du -sh "$XDG_STATE_HOME/Korvel/Tovana/journal" 2>/dev/null | cut -f1)"
