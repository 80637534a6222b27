#!/usr/bin/env bash
# The window's run against tovana-cli on identical trees of 100,000 files on a tmpfs: best of
# three each, plus the memory the window's result log takes.
#
#   bench/window_bench.sh [BUILD_DIR] [FILES]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/dev}
files=${2:-100000}
work=$(mktemp -d /dev/shm/tovana-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
python3 bench/make_tree.py "$work/template" "$files"

best() {  # label command... ; the tree copy is the last argument
  local label=$1; shift
  local best=""
  for _ in 1 2 3; do
    rm -rf "$work/tree"; cp -a "$work/template" "$work/tree"; sync
    local start end t
    start=$(date +%s.%N)
    "$@" "$work/tree" > "$work/out" 2>&1 || true
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc)
    if [ -z "$best" ] || (( $(echo "$t < $best" | bc) )); then best=$t; fi
  done
  printf '%-36s %8.3f s   (%s)\n' "$label" "$best" "$(tail -n 1 "$work/out")" >&2
  echo "$best"
}

cli=$(best "tovana-cli -s -d --replace-space" "$build/src/tovana-cli" -s -d --replace-space)
window=$(best "window bOKClick (whole program)" "$build/bench/tovana_window_bench")
printf 'window / tovana-cli: %.2f\n' "$(echo "$window / $cli" | bc -l)"
