#!/usr/bin/env bash
# Times a whole renaming run over 100,000 files with Czech names on a tmpfs: tovana-cli (with
# its journal, as users run it, and without) against detox and against a C loop that makes only
# the system calls. Best of three runs each, on a fresh copy of the same tree every time. The
# journals go to a state folder on the same tmpfs (JOURNAL_STATE=DIR puts them elsewhere, e.g.
# on a disk, to include a real flush to stable storage).
#
#   bench/tree_bench.sh [BUILD_DIR] [FILES]
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

best_of_three() {  # label command... (the tree copy is the last argument)
  local label=$1; shift
  local best=""
  for _ in 1 2 3; do
    rm -rf "$work/tree"; cp -a "$work/template" "$work/tree"; sync
    local start end
    start=$(date +%s.%N)
    "$@" "$work/tree" >/dev/null 2>&1 || true
    end=$(date +%s.%N)
    local t; t=$(echo "$end - $start" | bc)
    if [ -z "$best" ] || (( $(echo "$t < $best" | bc) )); then best=$t; fi
  done
  printf '%-28s %8.3f s\n' "$label" "$best" >&2
  echo "$best"
}

floor=$(best_of_three "C floor (readdir+renameat2)" "$work/floor")
tovana=$(best_of_three "tovana-cli (journal)" "$build/src/tovana-cli" -s -d --replace-space)
bare=$(best_of_three "tovana-cli --no-journal" "$build/src/tovana-cli" -s -d --replace-space --no-journal)
detox=$(best_of_three "detox -r" detox -r)
printf 'tovana-cli (journal) / floor: %.2f\n' "$(echo "$tovana / $floor" | bc -l)"
printf 'tovana-cli --no-journal / floor: %.2f\n' "$(echo "$bare / $floor" | bc -l)"
printf 'tovana-cli (journal) / detox: %.2f\n' "$(echo "$tovana / $detox" | bc -l)"
printf 'journal folder after the three journaled runs: %s\n' "$(du -sh "$XDG_STATE_HOME/Korvel/Tovana/journal" 2>/dev/null | cut -f1)"
