#!/usr/bin/env bash
# Times a whole renaming run over 100,000 files with Czech names on a tmpfs: tovana-cli against
# detox and against a C loop that makes only the system calls. Best of three runs each, on a
# fresh copy of the same tree every time.
#
#   bench/tree_bench.sh [BUILD_DIR] [FILES]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/dev}
files=${2:-100000}
command -v detox >/dev/null || { echo "needs detox: apt-get install detox" >&2; exit 2; }

work=$(mktemp -d /dev/shm/tovana-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
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
tovana=$(best_of_three "tovana-cli -s -d --replace-space" "$build/src/tovana-cli" -s -d --replace-space)
detox=$(best_of_three "detox -r" detox -r)
printf 'tovana-cli / floor: %.2f\n' "$(echo "$tovana / $floor" | bc -l)"
printf 'tovana-cli / detox: %.2f\n' "$(echo "$tovana / $detox" | bc -l)"
