#!/usr/bin/env bash
# Times a whole renaming run over 100,000 files with Czech names on a tmpfs: tovana-cli (with
# its journal, as users run it, and without) against detox and against a C loop that makes only
# the system calls. ROUNDS rounds (7 unless set), each running all four once in turn on a fresh
# copy of the same tree, so that a load on the machine meets them alike (each round starting
# with the next one); the median of each is printed, and its ratio to the floor. The journals go
# to a state folder on the same tmpfs (JOURNAL_STATE=DIR puts them elsewhere, e.g. on a disk, to
# include a real flush to stable storage).
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
python3 bench/make_tree.py "$work/template" "$files"
echo "tree: $(find "$work/template" -type f | wc -l) files, $(find "$work/template" -type d | wc -l) folders"

rounds=${ROUNDS:-7}
labels=("C floor (readdir+renameat2)" "tovana-cli (journal)" "tovana-cli --no-journal" "detox -r")
commands=("$work/floor" \
  "$build/src/tovana-cli -s -d --replace-space" \
  "$build/src/tovana-cli -s -d --replace-space --no-journal" \
  "detox -r")
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
    echo "$i $(echo "$end - $start" | bc)" >> "$work/times"
  done
done
median() {  # index
  awk -v i="$1" '$1 == i { print $2 }' "$work/times" | sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'
}
floor=$(median 0)
printf '%-30s %9s %9s\n' "median of $rounds rounds" seconds "/ floor"
for i in "${!commands[@]}"; do
  t=$(median "$i")
  printf '%-30s %9.3f %9.2f\n' "${labels[$i]}" "$t" "$(echo "$t / $floor" | bc -l)"
done
printf 'journal folder after the journaled runs: %s\n' "$(du -sh "$XDG_STATE_HOME/Korvel/Tovana/journal" 2>/dev/null | cut -f1)"
